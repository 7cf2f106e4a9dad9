#include "engine/safe_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "engine/io.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

// Closes the descriptor on every way out until it is released to the caller.
class FdGuard {
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// The descriptor was opened non-blocking only so that a FIFO could not hold up the open;
// reading and writing a regular file block as usual.
void makeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

IoError notRegular(const fs::path& path) {
    return IoError(path.string() + " is not a regular file");
}

}  // namespace

OpenedInput openRegularInput(const fs::path& path) {
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        struct stat info {};
        // A socket cannot be opened at all.
        if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
            throw notRegular(path);
        throw IoError("Cannot open " + path.string() + ": " + reason(error));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw IoError("Cannot open " + path.string() + ": " + reason(errno));
    if (S_ISDIR(info.st_mode))
        throw IoError("Cannot open " + path.string() + ": it is a folder, not a file");
    if (!S_ISREG(info.st_mode)) throw notRegular(path);
    if (info.st_size == 0) {
        // A file of the kernel's (/proc, /sys) says it is empty and still has bytes to read:
        // it has no size to scan to.
        char byte;
        if (::pread(fd.get(), &byte, 1, 0) > 0) throw notRegular(path);
    }
    makeBlocking(fd.get());
    return OpenedInput{fd.release(), static_cast<uint64_t>(info.st_size)};
}

int openLockedOutput(const fs::path& path) {
    // Not O_TRUNC: the file is emptied only once it is known to be a regular file that no other
    // run is writing.
    FdGuard fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        const int error = errno;
        struct stat link {};
        if (error == ELOOP && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            throw IoError("Cannot create " + path.string() + ": it is a symbolic link");
        if (error == ENXIO)  // a FIFO that nobody reads
            throw IoError("Cannot create " + path.string() + ": it is not a regular file");
        throw IoError("Cannot create " + path.string() + ": " + reason(error));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw IoError("Cannot create " + path.string() + ": " + reason(errno));
    if (!S_ISREG(info.st_mode))
        throw IoError("Cannot create " + path.string() + ": it is not a regular file");
    // A file system without locks (some network mounts) is still written, as before.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw IoError("Cannot create " + path.string() + ": another run is writing it");
    // A new, empty file is left alone: truncating it to nothing all the same makes ext4 take
    // the file for one rewritten in place and write it all back to disk when it is closed.
    if (::fstat(fd.get(), &info) != 0)
        throw IoError("Cannot create " + path.string() + ": " + reason(errno));
    if (info.st_size != 0 && ::ftruncate(fd.get(), 0) != 0)
        throw IoError("Cannot create " + path.string() + ": " + reason(errno));
    makeBlocking(fd.get());
    return fd.release();
}

}  // namespace kavrel
