#pragma once
#include <string>

namespace kavrel {

// "h:mm:ss", the long time format the program sets for remaining-time texts.
std::string formatClock(double seconds);
// "h:mm:ss.zzz", the format of durations.
std::string formatDuration(double seconds);

}  // namespace kavrel
