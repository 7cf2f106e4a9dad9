#include "mux/track_sync.h"

namespace kavrel::mux {

std::array<int64_t, kSlotCount> trackSync(const RunState& state) {
    std::array<int64_t, kSlotCount> sync{};
    const StreamInfo* video = state.streams.referenceVideo();
    // PGS times count from the read run's earliest first PTS, whichever stream it was.
    int64_t subpictureStart = 0;
    if (video && state.minFirstPts != kNoPts)
        subpictureStart = ptsDifferenceMs(state.minFirstPts, *video->firstPts);
    for (const StreamInfo& stream : state.streams.all()) {
        const int slot = stream.slot();
        if (slot < 0) continue;
        const auto s = static_cast<std::size_t>(slot);
        if (stream.kind == StreamKind::Audio)
            sync[s] = stream.delayMs.value_or(0);
        else if (stream.kind == StreamKind::Subpicture)
            sync[s] = subpictureStart;
    }
    return sync;
}

}  // namespace kavrel::mux
