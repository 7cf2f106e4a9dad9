#pragma once
#include <string>

namespace kavrel::mkdisc {

// The text of the sample disc's ADV_OBJ/VPLST000.XPL, its title set timed at 24 or 60 frames
// per second (the same instants in both).
std::string samplePlaylist(int framesPerSecond = 24);

}  // namespace kavrel::mkdisc
