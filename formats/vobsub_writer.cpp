#include "formats/vobsub_writer.h"

#include <algorithm>
#include <cstdio>

namespace kavrel::formats {

namespace {

constexpr std::size_t kPackHeader = 14;
constexpr std::size_t kPesHeader = 9;  // start code, id, length, two flag bytes, header length
constexpr std::size_t kPtsBytes = 5;
constexpr std::size_t kPaddingHeader = 6;
constexpr uint8_t kSubstream = 0x20;

void packHeader(std::vector<uint8_t>& out, uint64_t scr) {
    const uint8_t header[kPackHeader] = {
        0x00,
        0x00,
        0x01,
        0xBA,
        static_cast<uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)),
        static_cast<uint8_t>(scr >> 20),
        static_cast<uint8_t>(0x04 | ((scr >> 12) & 0xF8) | ((scr >> 13) & 0x03)),
        static_cast<uint8_t>(scr >> 5),
        static_cast<uint8_t>(0x04 | ((scr << 3) & 0xF8)),
        0x01,
        0x01,
        0x89,
        0xC3,  // mux rate 10.08 Mbit/s, the DVD's
        0xF8};
    out.insert(out.end(), header, header + kPackHeader);
}

}  // namespace

// One pack: pack header, a PES packet of the payload (with the PTS when given), and padding
// to 2048 bytes: a padding packet, or stuffing bytes in the PES header where fewer than a
// padding packet's header would be left.
void VobsubWriter::pack(std::span<const uint8_t> payload, const uint32_t* pts) {
    std::vector<uint8_t> out;
    out.reserve(kVobsubPackSize);
    packHeader(out, pts ? *pts : 0);
    const std::size_t used = kPackHeader + kPesHeader + (pts ? kPtsBytes : 0) + 1 + payload.size();
    const std::size_t gap = kVobsubPackSize - used;
    const std::size_t stuffing = gap < kPaddingHeader ? gap : 0;
    const std::size_t headerData = (pts ? kPtsBytes : 0) + stuffing;
    const std::size_t length = 3 + headerData + 1 + payload.size();
    const uint8_t pes[kPesHeader] = {0x00,
                                     0x00,
                                     0x01,
                                     0xBD,
                                     static_cast<uint8_t>(length >> 8),
                                     static_cast<uint8_t>(length),
                                     0x81,
                                     static_cast<uint8_t>(pts ? 0x80 : 0x00),
                                     static_cast<uint8_t>(headerData)};
    out.insert(out.end(), pes, pes + kPesHeader);
    if (pts) {
        const uint64_t t = *pts;
        const uint8_t stamp[kPtsBytes] = {
            static_cast<uint8_t>(0x21 | ((t >> 29) & 0x0E)), static_cast<uint8_t>(t >> 22),
            static_cast<uint8_t>(0x01 | ((t >> 14) & 0xFE)), static_cast<uint8_t>(t >> 7),
            static_cast<uint8_t>(0x01 | ((t << 1) & 0xFE))};
        out.insert(out.end(), stamp, stamp + kPtsBytes);
    }
    out.insert(out.end(), stuffing, 0xFF);
    out.push_back(kSubstream);
    out.insert(out.end(), payload.begin(), payload.end());
    if (out.size() < kVobsubPackSize) {
        const std::size_t padding = kVobsubPackSize - out.size() - kPaddingHeader;
        const uint8_t header[kPaddingHeader] = {0x00,
                                                0x00,
                                                0x01,
                                                0xBE,
                                                static_cast<uint8_t>(padding >> 8),
                                                static_cast<uint8_t>(padding)};
        out.insert(out.end(), header, header + kPaddingHeader);
        out.insert(out.end(), padding, 0xFF);
    }
    sub_(out);
    written_ += out.size();
}

void VobsubWriter::unit(std::span<const uint8_t> unit, uint32_t pts) {
    const uint64_t filepos = written_;
    const std::size_t first = kVobsubPackSize - kPackHeader - kPesHeader - kPtsBytes - 1;
    const std::size_t more = kVobsubPackSize - kPackHeader - kPesHeader - 1;
    std::size_t at = std::min(first, unit.size());
    pack(unit.first(at), &pts);
    while (at < unit.size()) {
        const std::size_t n = std::min(more, unit.size() - at);
        pack(unit.subspan(at, n), nullptr);
        at += n;
    }
    entries_.push_back({pts, filepos});  // once the unit's packs are all written
}

std::string VobsubWriter::index(const VobsubHeader& header) const {
    char line[96];
    std::string out = "# VobSub index file, v7 (do not modify this line!)\n";
    std::snprintf(line, sizeof line, "size: %dx%d\n", header.width, header.height);
    out += line;
    out += "palette:";
    for (std::size_t i = 0; i < header.palette.size(); ++i) {
        std::snprintf(line, sizeof line, "%s %06x", i ? "," : "", header.palette[i] & 0xFFFFFF);
        out += line;
    }
    out += "\nlangidx: 0\n\nid: " + (header.language.empty() ? "--" : header.language) +
           ", index: 0\n";
    for (const Entry& e : entries_) {
        const uint64_t ms = uint64_t{e.pts} / 90;
        std::snprintf(line, sizeof line, "timestamp: %02u:%02u:%02u:%03u, filepos: %09llx\n",
                      unsigned(ms / 3600000), unsigned(ms / 60000 % 60), unsigned(ms / 1000 % 60),
                      unsigned(ms % 1000), static_cast<unsigned long long>(e.filepos));
        out += line;
    }
    return out;
}

}  // namespace kavrel::formats
