#include "dvdvideo/ifo_values.h"

#include <algorithm>
#include <cmath>

#include "engine/stream_ids.h"

namespace kavrel::dvdvideo {

namespace {

int bcd(uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0F);
}

uint8_t clampByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

double framesPerSecond(uint8_t frameByte) {
    switch (frameByte >> 6) {
        case 1:
            return 25.0;
        case 3:
            return 30000.0 / 1001.0;
        default:
            return 0;
    }
}

double playbackSeconds(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frameByte) {
    const double fps = framesPerSecond(frameByte);
    const double frames = fps > 0 ? bcd(frameByte & 0x3F) / fps : 0;
    return bcd(hour) * 3600.0 + bcd(minute) * 60.0 + bcd(second) + frames;
}

std::optional<AudioCoding> audioCoding(unsigned format, uint16_t control) {
    if (!(control & 0x8000)) return std::nullopt;
    const auto n = static_cast<uint8_t>((control >> 8) & 7);
    switch (format) {
        case 0:
            return AudioCoding{"AC-3",
                               streamKey(IdSpace::Private1, static_cast<uint8_t>(0x80 + n))};
        case 2:
        case 3:
            return AudioCoding{"MPEG",
                               streamKey(IdSpace::StreamId, static_cast<uint8_t>(0xC0 + n))};
        case 4:
            return AudioCoding{"LPCM",
                               streamKey(IdSpace::Private1, static_cast<uint8_t>(0xA0 + n))};
        case 6:
            return AudioCoding{"DTS", streamKey(IdSpace::Private1, static_cast<uint8_t>(0x88 + n))};
        default:
            return std::nullopt;
    }
}

std::optional<int> subpictureNumber(uint32_t control, bool wideVideo) {
    if (!(control & 0x80000000u)) return std::nullopt;
    return static_cast<int>((control >> (wideVideo ? 16 : 24)) & 0x1F);
}

std::string languageCode(uint16_t packed) {
    const char a = static_cast<char>(packed >> 8);
    const char b = static_cast<char>(packed & 0xFF);
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(a) || !letter(b)) return {};
    return {static_cast<char>(a | 0x20), static_cast<char>(b | 0x20)};
}

uint32_t paletteRgb(uint32_t yCrCb) {
    const double y = 1.164 * (((yCrCb >> 16) & 0xFF) - 16.0);
    const double cr = ((yCrCb >> 8) & 0xFF) - 128.0;
    const double cb = (yCrCb & 0xFF) - 128.0;
    const uint32_t r = clampByte(y + 1.596 * cr);
    const uint32_t g = clampByte(y - 0.813 * cr - 0.391 * cb);
    const uint32_t b = clampByte(y + 2.018 * cb);
    return r << 16 | g << 8 | b;
}

}  // namespace kavrel::dvdvideo
