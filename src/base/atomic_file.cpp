#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace tunecase {

namespace {

// The folder part of `path` ("." for a bare name) and the name after it.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// A new hidden file beside the target, opened for writing only by us: "." NAME ".tmp-" six
// random letters. Returns the descriptor, or -1 with errno set.
int createTemporary(const std::string& folder, const std::string& name, std::string& temp) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    // Room for the dot and the suffix within the longest name a folder holds.
    const std::string stem = name.substr(0, std::min<size_t>(name.size(), NAME_MAX - 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
        temp = (folder == "/" ? std::string() : folder) + "/." + stem + ".tmp-" + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Makes the rename itself survive a power cut; a folder that cannot be synced changes nothing.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool isAtomicFileScrap(std::string_view name, std::string* target) {
    constexpr std::string_view kSuffix = ".tmp-";
    constexpr size_t kRandomLetters = 6;
    if (name.size() < 1 + 1 + kSuffix.size() + kRandomLetters || name[0] != '.') return false;
    const size_t suffixAt = name.size() - kRandomLetters - kSuffix.size();
    if (name.substr(suffixAt, kSuffix.size()) != kSuffix) return false;
    for (char c : name.substr(suffixAt + kSuffix.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    if (target) *target = std::string(name.substr(1, suffixAt - 1));
    return true;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(std::string_view pathView) {
    discard();
    path_ = std::string(pathView);
    error_ = 0;
    if (path_.empty()) {
        error_ = ENOENT;
        return false;
    }
    // A link is followed, so that the link stays and the file it names gets the new bytes.
    std::string target = path_;
    struct stat st {};
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error_ = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        file_ = std::fopen(path_.c_str(), "wb");
        if (!file_) error_ = errno;
        return file_ != nullptr;
    }
    struct stat lst {};
    if (exists && ::lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    std::string folder, name;
    splitPath(target, folder, name);
    if (name.empty()) {
        error_ = EISDIR;
        return false;
    }
    const int fd = createTemporary(folder, name, temp_);
    if (fd < 0) {
        error_ = errno;
        temp_.clear();
        return false;
    }
    // A file being replaced keeps who may read it (a private file stays private).
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        error_ = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    // A large file (rendered audio) goes out in a few system calls; a small one only touches
    // the pages it fills.
    constexpr size_t kBufferBytes = size_t{1} << 20;
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
    target_ = target;
    return true;
}

bool AtomicFile::write(const void* bytes, size_t size) {
    if (!file_) {
        if (error_ == 0) error_ = EBADF;
        return false;
    }
    if (error_ != 0) return false;
    if (size == 0) return true;
    if (std::fwrite(bytes, 1, size, file_) != size) {
        error_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

void AtomicFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool AtomicFile::closeStream() {
    if (!file_) return error_ == 0;
    if (std::fflush(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    if (std::ferror(file_) && error_ == 0) error_ = EIO;
    // A device written in place has nothing to sync.
    if (!temp_.empty() && error_ == 0 && ::fsync(::fileno(file_)) != 0) error_ = errno;
    if (std::fclose(file_) != 0 && error_ == 0) error_ = errno;
    file_ = nullptr;
    return error_ == 0;
}

bool AtomicFile::moveIntoPlace(Commit how) {
    if (how == Replace) return std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails as well on a name taken.
    if (::link(temp_.c_str(), target_.c_str()) == 0) {
        ::unlink(temp_.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(temp_.c_str(), target_.c_str()) == 0;
}

bool AtomicFile::commit(Commit how) {
    if (!file_) {
        if (error_ == 0) error_ = EBADF;
        discard();
        return false;
    }
    if (!closeStream()) {
        discard();
        return false;
    }
    if (temp_.empty()) return true;
    if (!moveIntoPlace(how)) {
        error_ = errno;
        discard();
        return false;
    }
    temp_.clear();
    std::string folder, name;
    splitPath(target_, folder, name);
    syncFolder(folder);
    return true;
}

void AtomicFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

std::string AtomicFile::reason() const { return path_ + ": " + std::strerror(error_ != 0 ? error_ : EIO); }

bool copyFileAtomically(std::string_view fromView, std::string_view to, std::string* reason, AtomicFile::Commit how) {
    const std::string from(fromView);
    auto sourceFailed = [&](int error) {
        if (reason) *reason = from + ": " + std::strerror(error != 0 ? error : EIO);
        return false;
    };
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return sourceFailed(errno);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno != 0 ? errno : EINVAL;
        ::close(in);
        return sourceFailed(error);
    }
    AtomicFile out;
    if (!out.open(to)) {
        ::close(in);
        if (reason) *reason = out.reason();
        return false;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(in);
            return sourceFailed(error);
        }
        if (got == 0) break;
        if (!out.write(buffer.data(), static_cast<size_t>(got))) break;
    }
    ::close(in);
    if (!out.commit(how)) {
        if (reason) *reason = out.reason();
        return false;
    }
    return true;
}

}  // namespace tunecase
