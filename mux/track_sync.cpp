#include "mux/track_sync.h"

namespace kavrel::mux {

std::array<int64_t, kSlotCount> trackSync(const RunState&) {
    return {};
}

}  // namespace kavrel::mux
