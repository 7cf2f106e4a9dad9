#pragma once
// DVD subtitles as VobSub: the .sub file holds the stream's subpicture units in their own PES
// packets (private stream 1, sub-stream 0x20), in 2048-byte packs, each unit starting a new
// pack; the .idx text gives the frame size, the 16 palette colours, the language and, per
// unit, its time and the .sub offset of the pack it starts in.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kavrel::formats {

inline constexpr std::size_t kVobsubPackSize = 2048;

struct VobsubHeader {
    int width = 720;
    int height = 480;
    std::array<uint32_t, 16> palette{};  // 0xRRGGBB
    std::string language;                // ISO 639-1; "--" is written when empty
};

class VobsubWriter {
  public:
    using ByteSink = std::function<void(std::span<const uint8_t>)>;

    explicit VobsubWriter(ByteSink sub) : sub_(std::move(sub)) {}

    // Writes one whole unit, shown at `pts` (90 kHz, from the title's start), as whole packs.
    void unit(std::span<const uint8_t> unit, uint32_t pts);

    // The .idx text for the units written so far.
    std::string index(const VobsubHeader& header) const;

    uint64_t units() const { return entries_.size(); }

  private:
    struct Entry {
        uint32_t pts;
        uint64_t filepos;
    };
    void pack(std::span<const uint8_t> payload, const uint32_t* pts);

    ByteSink sub_;
    uint64_t written_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace kavrel::formats
