#pragma once
// The audio manager of a DVD-Audio disc, AUDIO_TS.IFO ("DVDAUDIO-AMG"): the disc's titles, each
// with the group it belongs to and the title set that holds it. Kavrel reads only the groups.
#include <cstdint>
#include <map>
#include <span>
#include <utility>

namespace kavrel::dvdaudio {

class TitleGroups {
  public:
    // The group of a title set's title (both counted from 1); 1 when the manager does not say.
    int of(int titleSet, int titleInSet) const;

  private:
    friend TitleGroups readTitleGroups(std::span<const uint8_t> amg);
    std::map<std::pair<int, int>, int> groups_;
};

// Reads the groups from the manager's bytes. A missing, truncated or damaged manager gives no
// groups (every title then is in group 1); nothing outside `amg` is read.
TitleGroups readTitleGroups(std::span<const uint8_t> amg);

}  // namespace kavrel::dvdaudio
