#include "analysers/analysers.h"

namespace kavrel::analysers {

Analysis analyseAudio(AudioClass, bool, std::span<const uint8_t>, int, std::span<const uint8_t>) {
    return {};
}

Analysis analyseVideo(VideoKind, std::span<const uint8_t>, uint32_t, int, uint32_t) { return {}; }

}  // namespace kavrel::analysers
