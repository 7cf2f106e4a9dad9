#pragma once
// What a demux of each stream must write, built while the packs are written: the payload of
// every packet of the stream, and for subpictures the "SP" entry header before each packet
// that carries a PTS.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::mkdisc {

class ExpectedOutput {
  public:
    // minFirstPts: the smallest first PTS of the demux run's streams, subtracted from the
    // subpicture entry times.
    ExpectedOutput(const std::filesystem::path& path, bool subpicture, uint32_t minFirstPts);

    void payload(const uint8_t* data, std::size_t n, std::optional<uint64_t> pts);
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    bool subpicture_;
    uint32_t minFirstPts_;
    std::vector<char> buffer_;
    std::ofstream out_;
};

}  // namespace kavrel::mkdisc
