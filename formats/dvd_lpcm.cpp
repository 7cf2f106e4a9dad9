#include "formats/dvd_lpcm.h"

#include <numeric>

namespace kavrel::formats {

namespace {

// 16-bit samples need no group: a sample frame is a unit, so a last odd frame is kept.
std::size_t unitBytes(const DvdLpcmFormat& format) {
    return format.bits == 16 ? 2 * static_cast<std::size_t>(format.channels)
                             : lpcmGroupBytes(format.bits, format.channels);
}

}  // namespace

std::optional<DvdLpcmFormat> dvdLpcmFormat(std::span<const uint8_t> header) {
    if (header.size() < 3) return std::nullopt;
    static constexpr int kBits[4] = {16, 20, 24, 0};
    static constexpr uint32_t kRates[4] = {48000, 96000, 192000, 0};
    DvdLpcmFormat format;
    format.bits = kBits[header[1] >> 6];
    format.sampleRate = kRates[(header[1] >> 4) & 0x03];
    format.channels = (header[1] & 0x07) + 1;
    if (format.bits == 0 || format.sampleRate == 0) return std::nullopt;
    return format;
}

WavFormat wavFormatOf(const DvdLpcmFormat& format) {
    WavFormat wav;
    wav.sampleRate = format.sampleRate;
    wav.channels = static_cast<uint16_t>(format.channels);
    wav.validBits = static_cast<uint16_t>(format.bits);
    wav.channelMask = defaultChannelMask(format.channels);
    return wav;
}

DvdLpcmToWav::DvdLpcmToWav(const DvdLpcmFormat& format)
    : format_(format),
      wav_(wavFormatOf(format)),
      slots_(static_cast<std::size_t>(format.channels)),
      cutter_(unitBytes(format)) {
    std::iota(slots_.begin(), slots_.end(), uint8_t{0});
    if (format.bits == 24)
        shuffle_.addGroups(0, 1, 24, format.channels, dvdVideoRun(format.channels), slots_.data(),
                           wav_.blockAlign(), 0);
}

void DvdLpcmToWav::convert(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    const std::size_t frameBytes = wav_.blockAlign();
    cutter_.feed(bytes, [&](const uint8_t* units, std::size_t count) {
        const std::size_t at = out.size();
        if (format_.bits == 16) {
            out.resize(at + count * frameBytes);
            uint8_t* to = out.data() + at;
            for (std::size_t i = 0; i < count * frameBytes; i += 2) {
                to[i] = units[i + 1];
                to[i + 1] = units[i];
            }
            return;
        }
        out.resize(at + count * 2 * frameBytes);
        if (format_.bits == 24) {
            shuffle_.apply(units, count, cutter_.unitBytes(), out.data() + at);
            return;
        }
        lpcmGroupsToWav(units, count, format_.bits, format_.channels, dvdVideoRun(format_.channels),
                        slots_.data(), frameBytes, out.data() + at);
    });
}

}  // namespace kavrel::formats
