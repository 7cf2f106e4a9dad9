#pragma once
// The optional fields of a PES packet header, as the MPEG-2 systems standard lays them out
// after the three fixed header bytes, and the fixed places of the pack and system headers.
#include <cstddef>
#include <cstdint>
#include <span>

namespace kavrel {

inline constexpr std::size_t kPackSize = 2048;  // every pack of a disc's program stream

// An MPEG-2 pack header: start code, SCR, mux rate, then pack_stuffing_length in the low three
// bits of its last byte; that many stuffing bytes follow before the first packet.
inline constexpr std::size_t kPackHeaderSize = 14;
inline constexpr std::size_t kPackStuffingAt = 13;

// Where the first packet of a pack starts, after the pack header and its stuffing. The pack
// holds at least kPackHeaderSize bytes.
constexpr std::size_t firstPacketAt(const uint8_t* pack) {
    return kPackHeaderSize + (pack[kPackStuffingAt] & 0x07u);
}

// Offsets from a packet's start code prefix 00 00 01.
inline constexpr std::size_t kStreamIdOffset = 3;
inline constexpr std::size_t kPesFlagsOffset = 7;         // PTS_DTS_flags … PES_extension_flag
inline constexpr std::size_t kPesHeaderLengthOffset = 8;  // PES_header_data_length
inline constexpr std::size_t kPesHeaderDataOffset = 9;
// A system header's rate bound is followed by audio_bound (6 bits, fixed_flag, CSPS_flag) and
// the lock flags, a marker bit and video_bound (5 bits).
inline constexpr std::size_t kAudioBoundOffset = 9;
inline constexpr std::size_t kVideoBoundOffset = 10;

// The low 32 bits of a 33-bit time stamp coded in five bytes with marker bits.
constexpr uint32_t decodeTimeStamp(const uint8_t* b) {
    return (static_cast<uint32_t>(b[0] & 0x06) << 29) | (static_cast<uint32_t>(b[1]) << 22) |
           (static_cast<uint32_t>(b[2] >> 1) << 15) | (static_cast<uint32_t>(b[3]) << 7) |
           static_cast<uint32_t>(b[4] >> 1);
}

struct PesHeaderFields {
    bool hasPts = false;
    bool hasDts = false;
    uint32_t pts = 0;
    uint32_t dts = 0;
    // The byte that carries stream_id_extension (its low 7 bits), as an offset into the header
    // data; -1 when the header has none or it lies past the data.
    int streamIdExtensionAt = -1;
};

// Reads the header data that follows the three fixed bytes; flags is the second fixed byte.
// A field that the data does not hold whole is not read, nor any after it. PTS_DTS_flags '01'
// (forbidden) carries no time stamp.
PesHeaderFields parsePesHeaderData(uint8_t flags, std::span<const uint8_t> data);

}  // namespace kavrel
