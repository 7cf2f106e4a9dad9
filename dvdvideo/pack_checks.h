#pragma once
// What the first bytes of a VOB sector tell about it.
#include <cstdint>
#include <span>

#include "engine/disc_title.h"

namespace kavrel::dvdvideo {

// Whether the first PES packet of a pack (after the pack header and a system header) is
// scrambled: PES_scrambling_control, bits 4-5 of its first flags byte, is not 0. Copy
// protection (CSS) scrambles the packets of a disc's title VOBs this way.
bool packIsScrambled(std::span<const uint8_t> sector);

// The offset of the DSI data of a navigation pack (pack header, system header, PCI packet,
// DSI packet, sub-stream 0x01), or 0 when the sector is not one.
std::size_t dsiOffset(std::span<const uint8_t> sector);

}  // namespace kavrel::dvdvideo
