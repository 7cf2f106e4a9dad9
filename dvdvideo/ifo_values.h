#pragma once
// The IFO's packed values in the terms the rest of Kavrel uses: times in seconds, stream keys,
// ISO 639 codes, RGB colours.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kavrel::dvdvideo {

// A BCD playback time (hour, minute, second, frame byte whose top two bits give the rate:
// 1 = 25 fps, 3 = 30000/1001) in seconds; an unknown rate counts no frames.
double playbackSeconds(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frameByte);

// The frame rate the top bits of a frame byte name; 0 when none.
double framesPerSecond(uint8_t frameByte);

struct AudioCoding {
    const char* codec;  // "AC-3", "MPEG", "LPCM", "DTS"
    int32_t key;        // streamKey of the sub-stream (or MPEG stream) that carries it
};
// An audio attribute's format and the stream number from the program chain's audio control
// word (bit 15 set: present, bits 8-10 its number); none when the chain has no such stream or
// the format is not one a DVD-Video carries.
std::optional<AudioCoding> audioCoding(unsigned format, uint16_t control);

// The subpicture stream number the control word gives for a picture shape (bit 31 set:
// present; bits 24-28 for 4:3 video, 16-20 for wide); none when absent.
std::optional<int> subpictureNumber(uint32_t control, bool wideVideo);

// The two letters of an ISO 639-1 code packed high byte first; empty unless both are letters.
std::string languageCode(uint16_t packed);

// A 0x00YYCrCb palette entry as 0xRRGGBB (BT.601, limited range, clamped).
uint32_t paletteRgb(uint32_t yCrCb);

}  // namespace kavrel::dvdvideo
