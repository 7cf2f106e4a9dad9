#include "tools/mkdisc/pack.h"

#include <cstring>
#include <stdexcept>

namespace kavrel::mkdisc {

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value >> 16);
    put16(at + 2, value);
}

void writePackHeader(uint8_t* p, uint64_t scr27, uint32_t muxRate) {
    uint64_t base = (scr27 / 300) & 0x1FFFFFFFFull;
    auto ext = static_cast<uint32_t>(scr27 % 300);
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = 0xBA;
    p[4] = static_cast<uint8_t>(0x44 | ((base >> 27) & 0x38) | ((base >> 28) & 0x03));
    p[5] = static_cast<uint8_t>(base >> 20);
    p[6] = static_cast<uint8_t>(((base >> 12) & 0xF8) | 0x04 | ((base >> 13) & 0x03));
    p[7] = static_cast<uint8_t>(base >> 5);
    p[8] = static_cast<uint8_t>(((base << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03));
    p[9] = static_cast<uint8_t>((ext << 1) | 0x01);
    p[10] = static_cast<uint8_t>(muxRate >> 14);
    p[11] = static_cast<uint8_t>(muxRate >> 6);
    p[12] = static_cast<uint8_t>((muxRate << 2) | 0x03);
    p[13] = 0xF8;  // reserved bits, no stuffing
}

void appendSystemHeader(std::vector<uint8_t>& out, uint32_t rateBound, uint32_t audioBound,
                        uint32_t videoBound, const std::vector<SystemHeaderEntry>& entries) {
    auto length = static_cast<uint32_t>(6 + 3 * entries.size());
    out.insert(out.end(), {0x00, 0x00, 0x01, 0xBB, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length)});
    out.push_back(static_cast<uint8_t>(0x80 | (rateBound >> 15)));
    out.push_back(static_cast<uint8_t>(rateBound >> 7));
    out.push_back(static_cast<uint8_t>((rateBound << 1) | 0x01));
    out.push_back(static_cast<uint8_t>(audioBound << 2));  // fixed_flag 0, CSPS_flag 0
    // system_audio_lock_flag, system_video_lock_flag, marker, video_bound
    out.push_back(static_cast<uint8_t>(0xE0 | (videoBound & 0x1F)));
    out.push_back(0x7F);  // packet_rate_restriction_flag 0, reserved
    for (const auto& e : entries) {
        out.push_back(e.streamId);
        out.push_back(
            static_cast<uint8_t>(0xC0 | (e.scale1024 ? 0x20 : 0) | ((e.sizeBound >> 8) & 0x1F)));
        out.push_back(static_cast<uint8_t>(e.sizeBound));
    }
}

namespace {

void writeTimestamp(uint8_t* p, unsigned prefix, uint64_t ts) {
    p[0] = static_cast<uint8_t>((prefix << 4) | ((ts >> 29) & 0x0E) | 0x01);
    p[1] = static_cast<uint8_t>(ts >> 22);
    p[2] = static_cast<uint8_t>(((ts >> 14) & 0xFE) | 0x01);
    p[3] = static_cast<uint8_t>(ts >> 7);
    p[4] = static_cast<uint8_t>(((ts << 1) & 0xFE) | 0x01);
}

std::size_t headerDataLength(const PesHeader& h) {
    std::size_t n = h.pts ? (h.dts ? 10 : 5) : 0;
    if (h.pstdBuffer || h.streamIdExtension) {
        n += 1;
        if (h.pstdBuffer) n += 2;
        if (h.streamIdExtension) n += 2;
    }
    return n + h.stuffing;
}

}  // namespace

std::size_t pesOverhead(const PesHeader& h) {
    return 9 + headerDataLength(h) + h.subHeader.size();
}

std::size_t writePes(uint8_t* at, const PesHeader& h, const uint8_t* payload, std::size_t n) {
    std::size_t dataLength = headerDataLength(h);
    std::size_t total = pesOverhead(h) + n;
    if (total - 6 > 0xFFFF || dataLength > 0xFF) throw std::logic_error("PES packet too long");
    uint8_t* p = at;
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = h.streamId;
    put16(p + 4, static_cast<uint32_t>(total - 6));
    p[6] = 0x81;  // marker bits '10', not scrambled, original
    bool extension = h.pstdBuffer || h.streamIdExtension;
    p[7] = static_cast<uint8_t>((h.pts ? (h.dts ? 0xC0 : 0x80) : 0) | (extension ? 0x01 : 0));
    p[8] = static_cast<uint8_t>(dataLength);
    p += 9;
    if (h.pts) {
        writeTimestamp(p, h.dts ? 3 : 2, *h.pts);
        p += 5;
        if (h.dts) {
            writeTimestamp(p, 1, *h.dts);
            p += 5;
        }
    }
    if (extension) {
        // PES_private_data, pack_header_field and sequence counter absent; reserved bits set.
        *p++ = static_cast<uint8_t>((h.pstdBuffer ? 0x10 : 0) | 0x0E |
                                    (h.streamIdExtension ? 0x01 : 0));
        if (h.pstdBuffer) {
            put16(p, 0x4000u | *h.pstdBuffer);
            p += 2;
        }
        if (h.streamIdExtension) {
            *p++ = 0x81;  // marker, PES_extension_field_length 1
            *p++ = static_cast<uint8_t>(*h.streamIdExtension & 0x7F);
        }
    }
    std::memset(p, 0xFF, h.stuffing);
    p += h.stuffing;
    if (!h.subHeader.empty()) {
        std::memcpy(p, h.subHeader.data(), h.subHeader.size());
        p += h.subHeader.size();
    }
    if (n) std::memcpy(p, payload, n);
    return total;
}

void writePadding(uint8_t* at, std::size_t size) {
    if (size < 6) throw std::logic_error("padding packet too short");
    at[0] = 0x00;
    at[1] = 0x00;
    at[2] = 0x01;
    at[3] = 0xBE;
    put16(at + 4, static_cast<uint32_t>(size - 6));
    std::memset(at + 6, 0xFF, size - 6);
}

}  // namespace kavrel::mkdisc
