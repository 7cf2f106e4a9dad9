#pragma once
// The titles and tracks of a DVD-Audio disc as kavrel-cli titles prints them: plain lines, or
// one JSON document of the same shape as a video disc's (titles[].number, durationSeconds,
// tracks[] with seconds, bits, rate, channels).
#include <string>

#include "dvdaudio/audio_disc.h"

namespace kavrel::cli {

std::string audioTitleListing(const dvdaudio::AudioDisc& disc);
std::string audioTitleListingJson(const dvdaudio::AudioDisc& disc);

}  // namespace kavrel::cli
