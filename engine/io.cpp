#include "engine/io.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

InputFile::InputFile(std::vector<ByteRange> ranges) : ranges_(std::move(ranges)) {
    if (ranges_.empty()) throw IoError("Cannot open a title that has no bytes to read");
    for (const ByteRange& range : ranges_) size_ += range.length;
    openRange(0);
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

void InputFile::openRange(std::size_t index) {
    const ByteRange& range = ranges_[index];
    range_ = index;
    rangeLeft_ = range.length;
    if (!file_ || path_ != range.file) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        path_ = range.file;
        const OpenedInput opened = openRegularInput(range.file);
        file_ = ::fdopen(opened.fd, "rb");
        if (!file_) {
            std::string why = reason();
            ::close(opened.fd);
            throw IoError("Cannot open " + range.file.string() + ": " + why);
        }
        std::setvbuf(file_, nullptr, _IONBF, 0);
        if (range.offset + range.length > opened.size)
            throw IoError("Cannot read " + range.file.string() + ": the title's bytes " +
                          std::to_string(range.offset) + " to " +
                          std::to_string(range.offset + range.length) + " lie past its end (" +
                          std::to_string(opened.size) + " bytes)");
    }
    if (fseeko(file_, static_cast<off_t>(range.offset), SEEK_SET) != 0)
        throw IoError("Cannot read " + range.file.string() + ": " + reason());
}

std::size_t InputFile::read(uint8_t* data, std::size_t size) {
    if (ranges_.empty()) return readFile(data, size);
    std::size_t total = 0;
    while (total < size) {
        if (rangeLeft_ == 0) {
            if (range_ + 1 >= ranges_.size()) break;
            openRange(range_ + 1);
            continue;
        }
        const auto want = static_cast<std::size_t>(std::min<uint64_t>(size - total, rangeLeft_));
        const uint64_t before = position_;
        const std::size_t n = readFile(data + total, want);
        position_ = before;  // readFile counts in its own file; a title counts its own bytes
        if (n < want)
            throw IoError("Cannot read " + path_.string() + ": it ended inside the title's bytes");
        total += n;
        rangeLeft_ -= n;
    }
    position_ += total;
    return total;
}

std::size_t InputFile::readFile(uint8_t* data, std::size_t size) {
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

void OutputFile::truncate(uint64_t size) {
    if (!file_) throw IoError("Cannot write " + path_.string() + ": the file is closed");
    std::fflush(file_);
    __fpurge(file_);  // bytes a full disk refused must not follow the cut
    if (::ftruncate(fileno(file_), static_cast<off_t>(size)) != 0 ||
        ::fseeko(file_, static_cast<off_t>(size), SEEK_SET) != 0)
        throw IoError("Cannot write " + path_.string() + ": " + reason());
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

std::vector<uint8_t> readUpTo(InputFile& input, std::size_t size) {
    std::vector<uint8_t> bytes(size);
    std::size_t have = 0;
    while (have < bytes.size()) {
        const std::size_t got = input.read(bytes.data() + have, bytes.size() - have);
        if (got == 0) break;
        have += got;
    }
    bytes.resize(have);
    return bytes;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

bool isRunInput(const std::filesystem::path& output,
                const std::vector<std::filesystem::path>& inputs) {
    auto normal = [](const std::filesystem::path& path) {
        std::error_code ec;
        std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
        if (ec) canonical = std::filesystem::absolute(path, ec);
        return (ec ? path : canonical).lexically_normal();
    };
    for (const std::filesystem::path& input : inputs) {
        if (input.empty()) continue;
        if (sameFile(output, input) || normal(output) == normal(input)) return true;
    }
    return false;
}

}  // namespace kavrel
