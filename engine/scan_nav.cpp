#include "engine/scan_nav.h"

#include <cstdio>

#include "engine/timefmt.h"

namespace kavrel {

namespace {

constexpr std::size_t kVobNumberAt = 24;
constexpr std::size_t kFirstPtmAt = 44;
constexpr std::size_t kLastPtmAt = 48;
constexpr std::size_t kAudioListAt = 530;  // 8 entries of 16 bits
constexpr std::size_t kSubListAt = 546;    // 32 entries of 32 bits
constexpr std::size_t kVobListShift = 128;
constexpr int kAudioEntries = 8;
constexpr int kSubEntries = 32;

// Big-endian field of the packet; bytes past the data read as zero.
uint32_t field(std::span<const uint8_t> data, std::size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        std::size_t pos = at + static_cast<std::size_t>(i);
        value = value << 8 | (pos < data.size() ? data[pos] : 0u);
    }
    return value;
}

int countNonZero(std::span<const uint8_t> data, std::size_t at, int entries, int bytes) {
    int count = 0;
    for (int i = 0; i < entries; ++i)
        if (field(data, at + static_cast<std::size_t>(i * bytes), bytes) != 0) ++count;
    return count;
}

std::string hex8(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

static_assert(kSubListAt + kSubEntries * 4 == kNavigationBytesMax);

}  // namespace

std::vector<std::string> navigationReport(std::span<const uint8_t> data, bool vob, int videoCount,
                                          int audioCount, double& measuredDuration) {
    const std::size_t shift = vob ? kVobListShift : 0;
    int audio = audioCount;
    if (audio == 0) audio = countNonZero(data, kAudioListAt - shift, kAudioEntries, 2);
    const int subs = countNonZero(data, kSubListAt - shift, kSubEntries, 4);
    const uint32_t vobNumber = field(data, kVobNumberAt, 2);

    std::string contains = "VOB number " + std::to_string(vobNumber) + " contains [b]" +
                           std::to_string(videoCount) + "[/b] video " + (subs ? "," : "and") +
                           " [b]" + std::to_string(audio) + "[/b] audio ";
    if (subs) contains += "and [b]" + std::to_string(subs) + "[/b] subpicture ";
    contains += videoCount + audio + subs > 1 ? "streams." : "stream.";

    const uint32_t first = field(data, kFirstPtmAt, 4);
    const uint32_t last = field(data, kLastPtmAt, 4);
    // The times are 90 kHz counts; the difference is taken modulo 2^32 like the counts themselves.
    measuredDuration += static_cast<uint32_t>(last - first) / 90000.0;

    return {contains, "PTM of first video frame = [re]" + hex8(first) + "[/re]",
            "PTM of last video frame = " + hex8(last),
            "Duration = [b]" + formatDuration(measuredDuration) + "[/b]"};
}

}  // namespace kavrel
