#pragma once
// An output program-stream file written pack by pack through a large buffer, with 32-bit
// fields that can be patched after the packs holding them were written.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

namespace kavrel::mkdisc {

class PackFile {
  public:
    explicit PackFile(const std::filesystem::path& path);
    ~PackFile();
    PackFile(const PackFile&) = delete;
    PackFile& operator=(const PackFile&) = delete;

    // A zeroed 2048-byte pack appended to the file; valid until the next call.
    uint8_t* newPack();
    uint64_t size() const { return flushed_ + used_; }
    // Sets the big-endian 32-bit value at a file offset when the file is closed.
    void patch32(uint64_t offset, uint32_t value) { patches_.emplace_back(offset, value); }
    void close();

  private:
    void flush();

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::vector<uint8_t> buffer_;
    std::size_t used_ = 0;
    uint64_t flushed_ = 0;
    std::vector<std::pair<uint64_t, uint32_t>> patches_;
};

}  // namespace kavrel::mkdisc
