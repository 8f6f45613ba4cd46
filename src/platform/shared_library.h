// Libraries opened while the program runs rather than linked into it.
//
// The synthesizer and the MIDI port library bring sixty-odd shared objects with them (sound
// servers, codecs, the X and Wayland clients of a media layer). A process that never plays,
// such as `tunecase-cli info`, should not map them all at every start. So the devices open
// their library the first time they are listed or opened, and look up each function they
// call into a table of pointers. The table's entries take their types from the library's own
// header (decltype of the real function), so a call through the table is checked by the
// compiler exactly like a direct call.
//
// A table is all or nothing: when the library is missing, or any one of its functions is,
// there is no table and the device is simply not there, as in a build without it.
//
// A table is a struct whose entries are declared with TUNECASE_TABLE_ENTRY and that resolves
// them in a `bool resolve(SharedLibrary&)` member chaining TUNECASE_TABLE_FIND, usually both
// expanded from one list of names:
//
//     #define MY_FUNCTIONS(X) X(lib_open) X(lib_close)
//     struct MyApi {
//         MY_FUNCTIONS(TUNECASE_TABLE_ENTRY)
//         bool resolve(SharedLibrary& library) { return true MY_FUNCTIONS(TUNECASE_TABLE_FIND); }
//     };
//     std::unique_ptr<const MyApi> api = loadFunctionTable<MyApi>("libmy.so.1", error);
#pragma once

#include <memory>
#include <string>
#include <type_traits>

namespace tunecase {

// One library opened with dlopen. Closed with the object unless keepLoaded() was called.
class SharedLibrary {
public:
    // Opens `name`: a file name, searched for the way the dynamic linker searches for a
    // program's libraries, or a path. Every symbol is bound now, so a library whose own
    // dependencies are incomplete fails here and not in the middle of a later call.
    explicit SharedLibrary(const std::string& name);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool isOpen() const { return handle_ != nullptr; }

    // Why the open or the last failed look-up failed, in the dynamic linker's words (they
    // name the file and the symbol); "" when nothing failed.
    const std::string& error() const { return error_; }

    // Looks up the function `name` into `fn`. False, with error() set and `fn` null, when
    // the library is not open or has no such symbol.
    template <typename F>
    bool find(const char* name, F*& fn) {
        static_assert(std::is_function_v<F>, "table entries are function pointers");
        // POSIX guarantees that a function's address survives the trip through void*.
        fn = reinterpret_cast<F*>(address(name));
        return fn != nullptr;
    }

    // Leaves the library loaded for the rest of the process. A library whose functions are
    // in use is never unloaded: it may have started threads or registered exit handlers
    // whose code would go with it.
    void keepLoaded() { keep_ = true; }

private:
    void* address(const char* name);

    void* handle_ = nullptr;
    bool keep_ = false;
    std::string error_;
};

// Declares a table entry typed from the library header's prototype of `name`.
#define TUNECASE_TABLE_ENTRY(name) decltype(&::name) name = nullptr;
// One link of a resolve() chain: `return true LIST(TUNECASE_TABLE_FIND);` stops at the first
// name the library lacks. Expects the SharedLibrary to be called `library`.
#define TUNECASE_TABLE_FIND(name) &&library.find(#name, name)

// Opens `library` and fills a `Table` from it. Returns the table only when the library opened
// and every entry was found; the library then stays loaded for good. Otherwise returns
// nullptr, closes the library again and sets `error` to the reason.
template <typename Table>
std::unique_ptr<const Table> loadFunctionTable(const std::string& library, std::string& error) {
    SharedLibrary opened(library);
    auto table = std::make_unique<Table>();
    if (!opened.isOpen() || !table->resolve(opened)) {
        error = opened.error();
        return nullptr;
    }
    opened.keepLoaded();
    error.clear();
    return table;
}

}  // namespace tunecase
