#pragma once
#include <string>

namespace kavrel::mkdisc {

// The text of the sample disc's ADV_OBJ/VPLST000.XPL.
std::string samplePlaylist();

}  // namespace kavrel::mkdisc
