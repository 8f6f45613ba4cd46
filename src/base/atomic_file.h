// Writing a file so that it is either the whole new file or the old one: the bytes go into a
// fresh temporary file in the target's folder, which is flushed to the disk and renamed over
// the target only when everything arrived. A full disk, an error or a kill part-way leaves the
// target as it was; every writer of the program goes through here.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tunecase {

class AtomicFile {
public:
    AtomicFile() = default;
    // Without commit() the temporary file goes and the target stays as it was.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Starts writing `path`: creates the temporary file beside it. An existing target that is
    // not a plain file (a device such as /dev/stdout, a pipe) is written in place instead, as
    // there is nothing to rename over it. False with error() set when nothing can be written.
    bool open(std::string_view path);

    // The open file for writers that need a stdio stream (libpng); nullptr when not open.
    // What goes through it counts like write().
    std::FILE* stream() const { return file_; }

    // Appends bytes. False once anything has failed; the first failure is kept.
    bool write(const void* bytes, size_t size);

    // Records a failure found by the caller (the stream's encoder gave up): commit() then
    // refuses and the target stays as it was.
    void fail(int error);

    // Replace: the new file takes the place of any old one. KeepExisting: a file that appeared
    // at the path meanwhile stays, and commit() fails with EEXIST.
    enum Commit { Replace, KeepExisting };

    // Flushes the bytes to the disk and renames the temporary file over the target. False
    // (temporary file removed, target untouched) when anything failed on the way.
    bool commit(Commit how = Replace);

    // Drops what was written; the target stays as it was.
    void discard();

    const std::string& path() const { return path_; }
    // errno of the first failure, 0 when none.
    int error() const { return error_; }
    // "PATH: the system's reason", for messages.
    std::string reason() const;

private:
    bool closeStream();
    bool moveIntoPlace(Commit how);

    std::string path_;    // as given, for messages
    std::string target_;  // the file renamed over: the path, or the file a link names
    std::string temp_;  // empty when the target is written in place
    std::unique_ptr<char[]> buffer_;  // the stream's, kept until it closes
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

// Whether `name` (a bare file name) is a temporary file of an AtomicFile, which only a write
// cut short (a killed process) leaves behind; `target` then gets the name it was to become.
bool isAtomicFileScrap(std::string_view name, std::string* target = nullptr);

// Copies the file at `from` to `to` through an AtomicFile: `to` is the whole copy or as it was.
// False on failure, with `reason` (when given) naming the file and the system's reason.
bool copyFileAtomically(std::string_view from, std::string_view to, std::string* reason = nullptr,
                        AtomicFile::Commit how = AtomicFile::Replace);

}  // namespace tunecase
