#pragma once
// Times on an HD DVD title timeline: "HH:MM:SS:FF", where FF counts frames of the title set's
// time base ("24fps", "50fps", "60fps"; 60 frames per second when the title set names none).
// A time is kept as a whole number of frames, so chapter marks stay exact until they are shown.
#include <cstdint>
#include <optional>
#include <string_view>

namespace kavrel::playlist {

inline constexpr int kDefaultFramesPerSecond = 60;

// The frames per second of a timeBase value such as "24fps"; nullopt when it is not a whole
// number from 1 to 240 followed by "fps".
std::optional<int> parseTimeBase(std::string_view text);

// A title time as a count of frames; nullopt unless it reads HH:MM:SS:FF with minutes and
// seconds below 60 and the frame below the frame rate.
std::optional<int64_t> parseTitleTime(std::string_view text, int framesPerSecond);

// The time of a frame count in nanoseconds, to the nearest one.
int64_t frameNanoseconds(int64_t frames, int framesPerSecond);

}  // namespace kavrel::playlist
