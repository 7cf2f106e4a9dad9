#include "engine/timefmt.h"

#include <cmath>
#include <cstdio>

namespace kavrel {

namespace {

std::string format(double seconds, bool millis) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    auto totalMs = static_cast<long long>(std::llround(seconds * 1000.0));
    if (!millis) totalMs = totalMs / 1000 * 1000;
    long long ms = totalMs % 1000;
    long long s = totalMs / 1000;
    char text[64];
    if (millis)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", s / 3600, s / 60 % 60, s % 60,
                      ms);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

}  // namespace

std::string formatClock(double seconds) {
    return format(seconds, false);
}
std::string formatDuration(double seconds) {
    return format(seconds, true);
}

}  // namespace kavrel
