#pragma once
// How the tool numbers and names each generated stream: the number a demux gives it, the
// caption of its check box and the extension of its output.
#include <cstdint>
#include <string>

#include "tools/mkdisc/elementary.h"

namespace kavrel::mkdisc {

// Video: low bit of the id (VC-1: extension 0x55 or 0x56); audio: id AND 0x07 (AC-3, DTS, TrueHD)
// or AND 0x0F (E-AC-3, LPCM, MLP); subpicture: id AND 0x1F.
int streamNumber(Codec codec, uint8_t id);
std::string streamKind(Codec codec);                 // "video", "audio" or "subpicture"
std::string streamCaption(Codec codec, uint8_t id);  // "VC-1.stream.0", "DD+.stream.00" …
std::string outputExtension(Codec codec);            // "mpv", "mpa" or "sup"

}  // namespace kavrel::mkdisc
