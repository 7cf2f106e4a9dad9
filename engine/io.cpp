#include "engine/io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/safe_open.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

std::string reason() {
    return std::strerror(errno);
}

}  // namespace

InputFile::InputFile(const fs::path& path) : path_(path) {
    const OpenedInput opened = openRegularInput(path);
    file_ = ::fdopen(opened.fd, "rb");
    if (!file_) {
        std::string why = reason();
        ::close(opened.fd);
        throw IoError("Cannot open " + path.string() + ": " + why);
    }
    // The scanner reads large chunks itself; stdio's own buffer would only add a copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    size_ = opened.size;
}

InputFile::InputFile(std::FILE* file, uint64_t size, fs::path name)
    : path_(std::move(name)), file_(file), size_(size) {
    if (!file_) throw IoError("Cannot open " + path_.string());
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

std::size_t InputFile::read(uint8_t* data, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t n = std::fread(data + total, 1, size - total, file_);
        total += n;
        if (n == 0) {
            if (std::ferror(file_))
                throw IoError("Cannot read " + path_.string() + ": " + reason());
            break;
        }
    }
    // The scan goes on to the size seen at opening: a file that ends before it was cut short
    // while it was read (or its reads fail silently), and a run over it must not seem complete.
    if (total == 0 && size != 0 && position_ < size_)
        throw IoError("Cannot read " + path_.string() + ": it ended after " +
                      std::to_string(position_) + " of its " + std::to_string(size_) + " bytes");
    position_ += total;
    return total;
}

OutputFile::OutputFile(const fs::path& path) : path_(path) {
    const int fd = openLockedOutput(path);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        std::string why = reason();
        ::close(fd);
        throw IoError("Cannot create " + path.string() + ": " + why);
    }
    // stdio would pick a 4 KiB buffer by itself (it ignores the size without a buffer), which
    // makes one write call per 4 KiB of a multi-gigabyte stream.
    buffer_ = std::make_unique<char[]>(kWriteBufferSize);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBufferSize);
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
}

void OutputFile::write(const uint8_t* data, std::size_t size) {
    if (!file_) throw IoError("Cannot write " + path_.string() + ": the file is closed");
    if (size == 0) return;
    if (std::fwrite(data, 1, size, file_) != size)
        throw IoError("Cannot write " + path_.string() + ": " + reason());
    written_ += size;
}

void OutputFile::writeAt(uint64_t offset, const uint8_t* data, std::size_t size) {
    if (!file_) throw IoError("Cannot write " + path_.string() + ": the file is closed");
    // What the stream buffer holds goes out first; a positioned write on the descriptor leaves
    // the stream's own position at the end of the file. A buffer that cannot be written out
    // (a full disk) does not stop the patch: close reports it.
    std::fflush(file_);
    while (size > 0) {
        const ssize_t n = pwrite(fileno(file_), data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw IoError("Cannot write " + path_.string() + ": " + reason());
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
}

uint64_t OutputFile::lengthOnDisk() {
    if (!file_) return 0;
    std::fflush(file_);  // a failure leaves the length at what did get written
    struct stat info {};
    if (fstat(fileno(file_), &info) != 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

void OutputFile::close() {
    if (!file_) return;
    std::FILE* file = file_;
    file_ = nullptr;
    bool flushed = std::fflush(file) == 0;
    std::string why = flushed ? std::string() : reason();
    bool closed = std::fclose(file) == 0;
    if (flushed && !closed) why = reason();
    if (!flushed || !closed) throw IoError("Cannot write " + path_.string() + ": " + why);
}

uint8_t* pageAlignedBlock(std::vector<uint8_t>& buffer, std::size_t size) {
    constexpr std::size_t kPage = 4096;
    if (buffer.size() < size + kPage) buffer.resize(size + kPage);
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    return buffer.data() + (kPage - address % kPage) % kPage;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace kavrel
