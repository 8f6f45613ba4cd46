#include "platform/shared_library.h"

#include <dlfcn.h>

#include <mutex>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// dlerror() reports the last failure and forgets it once read, and POSIX does not promise
// that it keeps one per thread: the lock keeps another thread's open or look-up from
// slipping in between a failure and the reading of its reason.
std::mutex& dlMutex() {
    static std::mutex m;
    return m;
}

std::string lastDlError(const std::string& fallback) {
    const char* text = dlerror();
    return text ? text : fallback;
}

}  // namespace

SharedLibrary::SharedLibrary(const std::string& name) {
    std::lock_guard lock(dlMutex());
    dlerror();
    // RTLD_LOCAL: the library's symbols serve only the tables made from it, never resolve
    // anything else in the process.
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) error_ = lastDlError(fillIn(tr("%s: cannot be opened"), name));
}

SharedLibrary::~SharedLibrary() {
    if (handle_ && !keep_) dlclose(handle_);
}

void* SharedLibrary::address(const char* name) {
    if (!handle_) return nullptr;  // error_ already says why the open failed
    std::lock_guard lock(dlMutex());
    dlerror();
    void* found = dlsym(handle_, name);
    // A function is never at address 0, so null means the library does not have it.
    if (!found) error_ = lastDlError(fillIn(tr("undefined symbol: %s"), name));
    return found;
}

}  // namespace tunecase
