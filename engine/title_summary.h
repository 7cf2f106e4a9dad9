#pragma once
// A title of a disc in one line, as a title list shows it to choose from: its number, name,
// duration, chapter count and languages (audio, then subtitles), and the main feature marked.
#include <string>

#include "engine/disc_title.h"

namespace kavrel {

// "1  0:00:21  4 chapters  eng ger / eng fre  main feature". A track without a language counts
// as "-"; without subtitles the slash and what follows it are left out; a name, duration or
// chapter count the disc does not give is left out too ("2  VTS_02").
std::string titleSummary(const DiscTitle& title);

}  // namespace kavrel
