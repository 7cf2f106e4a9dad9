#include "dvdaudio/audio_manager.h"

#include <string_view>

namespace kavrel::dvdaudio {

namespace {

constexpr std::string_view kMagic = "DVDAUDIO-AMG";
// The title table as discs show it (all fields big-endian): at 0x800 the number of titles
// (u16) and the offset of the table's last byte from 0x800 (u16); from 0x804 one 14-byte entry
// per title: +0 0x80 | group number, +1 number of tracks, +4 (u32) length in 90 kHz ticks, +8
// title set number, +9 title number inside the set, +10 (u32) sector. The end offset, 3 + 14 ×
// titles on every disc seen, confirms where the entries start.
constexpr std::size_t kTitleTable = 0x800;
constexpr std::size_t kFirstEntry = 0x804;
constexpr std::size_t kEntry = 14;
constexpr int kGroupsMax = 9;

}  // namespace

int TitleGroups::of(int titleSet, int titleInSet) const {
    const auto it = groups_.find({titleSet, titleInSet});
    return it == groups_.end() ? 1 : it->second;
}

TitleGroups readTitleGroups(std::span<const uint8_t> amg) {
    TitleGroups groups;
    if (amg.size() < kFirstEntry ||
        std::string_view(reinterpret_cast<const char*>(amg.data()), kMagic.size()) != kMagic)
        return groups;
    const std::size_t titles = std::size_t{amg[kTitleTable]} << 8 | amg[kTitleTable + 1];
    for (std::size_t t = 0; t < titles; ++t) {
        const std::size_t at = kFirstEntry + kEntry * t;
        if (at + kEntry > amg.size()) break;
        const int group = amg[at] & 0x7F;
        if (!(amg[at] & 0x80) || group < 1 || group > kGroupsMax) continue;
        groups.groups_.emplace(std::pair{int{amg[at + 8]}, int{amg[at + 9]}}, group);
    }
    return groups;
}

}  // namespace kavrel::dvdaudio
