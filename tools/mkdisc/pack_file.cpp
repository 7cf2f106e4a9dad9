#include "tools/mkdisc/pack_file.h"

#include <cstring>
#include <stdexcept>

#include "tools/mkdisc/pack.h"

namespace kavrel::mkdisc {

namespace {
constexpr std::size_t kBufferSize = 4 << 20;  // written to disk in blocks of this size
}

PackFile::PackFile(const std::filesystem::path& path) : path_(path), buffer_(kBufferSize) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create " + path.string());
}

PackFile::~PackFile() {
    if (file_) std::fclose(file_);
}

uint8_t* PackFile::newPack() {
    if (used_ + kPackSize > buffer_.size()) flush();
    uint8_t* pack = buffer_.data() + used_;
    std::memset(pack, 0, kPackSize);
    used_ += kPackSize;
    return pack;
}

void PackFile::flush() {
    if (used_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_)
        throw std::runtime_error("cannot write " + path_.string());
    flushed_ += used_;
    used_ = 0;
}

void PackFile::close() {
    flush();
    for (const auto& [offset, value] : patches_) {
        uint8_t bytes[4];
        put32(bytes, value);
        if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fwrite(bytes, 1, 4, file_) != 4)
            throw std::runtime_error("cannot write " + path_.string());
    }
    int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0) throw std::runtime_error("cannot write " + path_.string());
}

}  // namespace kavrel::mkdisc
