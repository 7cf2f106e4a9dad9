#pragma once
// Hand-built program-stream packs for the rebuild tests: a 14-byte pack header, one packet,
// and a padding packet that fills the pack to 2048 bytes.
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace kavrel::rebuildtest {

using Bytes = std::vector<uint8_t>;

inline constexpr std::size_t kPack = 2048;

// Pack start code, SCR with its marker bits, mux rate, no stuffing.
inline Bytes packHeader() {
    return {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
}

inline Bytes pts() {
    return {0x21, 0x00, 0x01, 0x00, 0x01};
}

inline void append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// A PES packet with the given flags byte (PTS_DTS_flags … PES_extension_flag) and header data.
inline Bytes pes(uint8_t streamId, uint8_t flags, const Bytes& headerData, const Bytes& payload) {
    Bytes b = {
        0x00, 0x00, 0x01, streamId, 0, 0, 0x81, flags, static_cast<uint8_t>(headerData.size())};
    append(b, headerData);
    append(b, payload);
    const std::size_t length = b.size() - 6;
    b[4] = static_cast<uint8_t>(length >> 8);
    b[5] = static_cast<uint8_t>(length);
    return b;
}

inline Bytes filler(std::size_t size, uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

// Private stream 1 with a sub-stream header: the id and three more bytes.
inline Bytes privateStream1(uint8_t subId) {
    Bytes payload = {subId, 0x01, 0x00, 0x01};
    append(payload, filler(100, subId));
    return pes(0xBD, 0x80, pts(), payload);
}

inline Bytes mpegStream(uint8_t streamId) {
    return pes(streamId, 0x80, pts(), filler(100, streamId));
}

// An extended-stream-id packet (VC-1): PTS (and DTS), the PES extension with an optional
// P-STD buffer field, then the extension field that carries the stream_id_extension.
inline Bytes extendedStream(uint8_t extension, bool pstd = false, bool dts = false) {
    Bytes header = pts();
    if (dts) append(header, pts());
    header.push_back(pstd ? 0x11 : 0x01);
    if (pstd) append(header, {0x60, 0xE8});
    append(header, {0x81, extension});
    const uint8_t flags = dts ? 0xC1 : 0x81;
    return pes(0xFD, flags, header, filler(100, extension));
}

// A system header with the given bounds; fixed_flag 0, CSPS_flag 1, both lock flags set.
inline Bytes systemHeader(unsigned audioBound, unsigned videoBound) {
    Bytes b = {0x00,
               0x00,
               0x01,
               0xBB,
               0x00,
               0x06,
               0x80,
               0x01,
               0x01,
               static_cast<uint8_t>(audioBound << 2 | 0x01),
               static_cast<uint8_t>(0xE0 | videoBound),
               0xFF};
    return b;
}

// A 2048-byte pack: the header, the packets, and a padding packet over the rest.
inline Bytes pack(std::initializer_list<Bytes> packets) {
    Bytes b = packHeader();
    for (const Bytes& p : packets) append(b, p);
    if (b.size() + 6 > kPack) throw std::logic_error("packets too long for one pack");
    const std::size_t rest = kPack - b.size() - 6;
    append(b,
           {0x00, 0x00, 0x01, 0xBE, static_cast<uint8_t>(rest >> 8), static_cast<uint8_t>(rest)});
    b.resize(kPack, 0xFF);
    return b;
}

// Offsets of the identifier each kind of packet carries, in a pack built above.
inline constexpr std::size_t kStreamIdAt = 17;
inline constexpr std::size_t kSubIdAt = 23 + 5;  // after a PTS-only header
inline std::size_t extensionAt(bool pstd, bool dts) {
    return 23 + 5 + (dts ? 5 : 0) + 1 + (pstd ? 2 : 0) + 1;
}

}  // namespace kavrel::rebuildtest
