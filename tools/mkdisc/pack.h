#pragma once
// Encoders of the MPEG-2 program stream structures: pack header, system header, PES packet
// header with its optional fields, padding packet. All write into a 2048-byte pack.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kavrel::mkdisc {

constexpr std::size_t kPackSize = 2048;
constexpr std::size_t kPackHeaderSize = 14;

// System clock reference in 27 MHz units.
void writePackHeader(uint8_t* pack, uint64_t scr27, uint32_t muxRate);

struct SystemHeaderEntry {
    uint8_t streamId;
    bool scale1024;  // P-STD buffer bound in units of 1024 bytes, else 128
    uint16_t sizeBound;
};
void appendSystemHeader(std::vector<uint8_t>& out, uint32_t rateBound, uint32_t audioBound,
                        uint32_t videoBound, const std::vector<SystemHeaderEntry>& entries);

struct PesHeader {
    uint8_t streamId = 0;
    std::optional<uint64_t> pts;
    std::optional<uint64_t> dts;               // only together with pts
    std::optional<uint16_t> pstdBuffer;        // P-STD field: scale bit and 13-bit size, as coded
    std::optional<uint8_t> streamIdExtension;  // 0xFD packets
    std::vector<uint8_t> subHeader;  // private stream 1 sub-stream header, counted as payload
    std::size_t stuffing = 0;        // 0xFF bytes at the end of the header data
};

// Bytes from the packet start code to the first payload byte (sub-stream header included).
std::size_t pesOverhead(const PesHeader& header);

// Writes the packet and returns its size.
std::size_t writePes(uint8_t* at, const PesHeader& header, const uint8_t* payload, std::size_t n);

// A padding packet of exactly `size` bytes (at least 6).
void writePadding(uint8_t* at, std::size_t size);

void put16(uint8_t* at, uint32_t value);
void put32(uint8_t* at, uint32_t value);

}  // namespace kavrel::mkdisc
