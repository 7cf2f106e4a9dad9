#include "analysers/ac3.h"

#include <array>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/format_tables.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr std::array<int, 4> kBlocksPerFrame = {1, 2, 3, 6};

constexpr std::array<std::string_view, 8> kChannelArrangement = {
    "dual mono", "mono",          "L + R",           "L + R + C",
    "L + R + S", "L + R + C + S", "L + R + Ls + Rs", "L + R + C + Ls + Rs"};

constexpr uint16_t kSyncWord = 0x0B77;

// The channel map bits, most significant first, with the speakers each stands for. Five bits
// stand for a pair of speakers.
struct MapBit {
    std::string_view names;
    int speakers;
};
constexpr std::array<MapBit, 16> kMapBits = {{{"L", 1},
                                              {"C", 1},
                                              {"R", 1},
                                              {"Ls", 1},
                                              {"Rs", 1},
                                              {"Lc + Rc", 2},
                                              {"Lb + Rb", 2},
                                              {"Cs", 1},
                                              {"Ts", 1},
                                              {"Lsd + Rsd", 2},
                                              {"Lw + Rw", 2},
                                              {"Lvh + Rvh", 2},
                                              {"Cvh", 1},
                                              {"", 0},  // reserved
                                              {"LFE2", 1},
                                              {"LFE", 1}}};

constexpr ChannelMap mapBit(int index) {
    return static_cast<ChannelMap>(0x8000u >> index);
}
constexpr ChannelMap kL = mapBit(0), kC = mapBit(1), kR = mapBit(2), kLs = mapBit(3),
                     kRs = mapBit(4), kCs = mapBit(7), kLfe = mapBit(15);

// The channels of an audio coding mode: the single surround of 2/1 and 3/1 is the centre
// surround; the two channels of dual mono count as left and right.
constexpr std::array<ChannelMap, 8> kAcmodChannels = {kL | kR,
                                                      kC,
                                                      kL | kR,
                                                      kL | kC | kR,
                                                      kL | kR | kCs,
                                                      kL | kC | kR | kCs,
                                                      kL | kR | kLs | kRs,
                                                      kL | kC | kR | kLs | kRs};

ChannelMap channelsOf(int acmod, bool lfe) {
    return static_cast<ChannelMap>(kAcmodChannels[acmod & 7] | (lfe ? kLfe : 0));
}

int speakerCount(ChannelMap map) {
    int count = 0;
    for (int i = 0; i < 16; ++i) {
        if (map & mapBit(i)) count += kMapBits[i].speakers;
    }
    return count;
}

// The speakers of the map in channel map order, "Lb + Rb"; the reserved bit is not named.
std::string speakerNames(ChannelMap map) {
    std::string names;
    for (int i = 0; i < 16; ++i) {
        if (!(map & mapBit(i)) || kMapBits[i].names.empty()) continue;
        if (!names.empty()) names += " + ";
        names += kMapBits[i].names;
    }
    return names;
}

// AC-3 keeps lfeon in the bit stream information after acmod and the mix levels that acmod
// calls for: the centre mix level with three front channels, the surround mix level with
// surrounds, the Dolby Surround mode in 2/0. It always falls within the byte that starts with
// acmod.
bool ac3Lfe(uint8_t acmodByte) {
    const int acmod = acmodByte >> 5;
    int bit = 3;
    if ((acmod & 1) && acmod != 1) bit += 2;  // cmixlev
    if (acmod & 4) bit += 2;                  // surmixlev
    if (acmod == 2) bit += 2;                 // dsurmod
    return (acmodByte >> (7 - bit)) & 1;
}

// Bytes in an AC-3 frame: the frame holds 1536 samples at the nominal bit rate; at 44.1 kHz the
// odd frame size codes add one word to even the rate out.
std::optional<uint32_t> ac3FrameBytes(const DolbyHeader& h) {
    if (!h.bitrate || h.sampleRate == 0) return std::nullopt;
    const uint32_t kbps = *h.bitrate / 1000;
    switch (h.sampleRate) {
        case 48000:
            return kbps * 4;
        case 32000:
            return kbps * 6;
        default:
            return (kbps * 320 / 147 + (h.ac3SizeCode & 1)) * 2;
    }
}

// The bit stream information of an E-AC-3 frame up to its channel map; none when it is cut
// short or is not a dependent substream.
std::optional<ChannelMap> dependentChannelMap(std::span<const uint8_t> afterSync) {
    BitReader r(afterSync);
    if (r.bits(2) != 1) return std::nullopt;  // strmtyp: dependent
    r.skip(3 + 11);                           // substreamid, frmsiz
    if (r.bits(2) == 3) {
        r.skip(2);  // fscod2
    } else {
        r.skip(2);  // numblkscod
    }
    const auto acmod = static_cast<int>(r.bits(3));
    const bool lfe = r.flag();
    const uint32_t bsid = r.bits(5);
    if (bsid < 11 || bsid > 16) return std::nullopt;
    r.skip(5);                // dialnorm
    if (r.flag()) r.skip(8);  // compre, compr
    if (acmod == 0) {
        r.skip(5);                // dialnorm2
        if (r.flag()) r.skip(8);  // compr2e, compr2
    }
    ChannelMap map = channelsOf(acmod, lfe);
    if (r.flag()) map = static_cast<ChannelMap>(r.bits(16));  // chanmape, chanmap
    if (r.exhausted()) return std::nullopt;
    return map;
}

}  // namespace

std::vector<DolbyHeader> findDolbyHeaders(std::span<const uint8_t> payload) {
    std::vector<DolbyHeader> found;
    uint16_t window = 0;
    int toCapture = 0;
    bool armed = false;
    DolbyHeader h;
    for (std::size_t at = 0; at < payload.size(); ++at) {
        const uint8_t b = payload[at];
        window = static_cast<uint16_t>((window << 8) | b);
        if (window == kSyncWord) {
            // A sync word inside a header being captured is neither a new header nor a header
            // byte; once a header is taken, later sync words are ignored altogether.
            if (!armed) {
                armed = true;
                toCapture = 5;
                h = DolbyHeader{};
                h.syncAt = at - 1;
            }
            continue;
        }
        if (toCapture == 0) continue;
        --toCapture;
        switch (5 - toCapture) {
            case 1:
                h.streamType = b >> 6;
                h.frameSizeCode = static_cast<uint16_t>((b & 0x07) << 8);
                break;
            case 2:
                h.frameSizeCode = static_cast<uint16_t>(h.frameSizeCode | b);
                break;
            case 3: {
                h.sampleRate = kRateTable[b >> 6];
                h.ac3SizeCode = b & 0x3F;
                // AC-3 frmsizecod / 2; codes 38-63 (19-31 halved) are reserved in A/52.
                const std::size_t rateIndex = 4 + ((b >> 1) & 0x1F);
                if (rateIndex < kRateTable.size()) {
                    h.bitrate = kRateTable[rateIndex];
                } else {
                    h.bitrate.reset();
                }
                h.blocks = kBlocksPerFrame[(b >> 4) & 0x03];
                h.acmod = (b >> 1) & 0x07;
                h.lfe = (b & 0x01) != 0;
                break;
            }
            case 4:
                h.bsid = b >> 3;
                h.bsmod = b & 0x07;
                break;
            case 5:
                if (h.bsid >= 11 && h.bsid <= 16) {
                    h.plus = true;
                    if (h.sampleRate == 0) {
                        armed = false;
                    } else {
                        // Bits per frame times the frame rate at 48 kHz (187.5 / blocks frames
                        // per second).
                        const uint32_t frameBytes = h.frameSizeCode + 1u;
                        h.bitrate =
                            (frameBytes * 16u * (750u / static_cast<uint32_t>(h.blocks))) / 4u;
                    }
                } else {
                    h.plus = false;
                    h.acmod = b >> 5;
                    h.lfe = ac3Lfe(b);
                    if (h.sampleRate == 0 || h.bitrate.value_or(0) == 0) armed = false;
                }
                found.push_back(h);
                break;
            default:
                break;
        }
    }
    return found;
}

std::optional<DependentChannels> findDependentChannels(std::span<const uint8_t> payload,
                                                       const DolbyHeader& independent) {
    if (!independent.plus || independent.streamType == 1) return std::nullopt;
    DependentChannels result;
    // The dependent frames follow the independent frame back to back, each at the distance its
    // own frame size gives.
    std::size_t at = independent.syncAt + (independent.frameSizeCode + 1u) * 2u;
    while (at + 2 < payload.size() && payload[at] == 0x0B && payload[at + 1] == 0x77) {
        const auto map = dependentChannelMap(payload.subspan(at + 2));
        if (!map) break;
        result.channels |= *map;
        ++result.frames;
        const uint32_t frameWords = ((payload[at + 2] & 0x07u) << 8 | payload[at + 3]) + 1u;
        at += frameWords * 2u;
    }
    if (result.frames == 0) return std::nullopt;
    return result;
}

std::size_t dolbyBytesWanted(std::span<const uint8_t> payload) {
    // The sync word and the bit stream information up to a dependent frame's channel map.
    constexpr std::size_t kDependentHeaderBytes = 16;
    const std::vector<DolbyHeader> headers = findDolbyHeaders(payload);
    if (headers.empty()) return payload.size() + 1;
    const DolbyHeader& taken = headers.back();
    if (!taken.plus || taken.streamType == 1) return payload.size();
    std::size_t at = taken.syncAt + (taken.frameSizeCode + 1u) * 2u;
    // Each frame that follows may be a dependent one, whose own size leads to the next.
    while (at + kDependentHeaderBytes <= payload.size()) {
        if (payload[at] != 0x0B || payload[at + 1] != 0x77 || (payload[at + 2] >> 6) != 1)
            return payload.size();
        at += (((payload[at + 2] & 0x07u) << 8 | payload[at + 3]) + 1u) * 2u;
    }
    return at + kDependentHeaderBytes;
}

StreamFacts dolbyFacts(const DolbyHeader& h, const std::optional<DependentChannels>& dependent) {
    StreamFacts f;
    f.codecName = h.plus ? "eac3" : "ac3";
    f.format = h.plus ? "Dolby Digital Plus" : "Dolby Digital";
    if (h.sampleRate != 0) f.sampleRate = h.sampleRate;
    f.bitRate = h.bitrate;
    f.frameSize = h.plus ? std::optional<uint32_t>((h.frameSizeCode + 1u) * 2u) : ac3FrameBytes(h);
    const ChannelMap own = channelsOf(h.acmod, h.lfe);
    const ChannelMap all = dependent ? static_cast<ChannelMap>(own | dependent->channels) : own;
    f.channels = speakerCount(all);
    f.lfe = (all & kLfe) != 0;
    std::string layout(kChannelArrangement[h.acmod & 7]);
    const ChannelMap added = static_cast<ChannelMap>(all & ~own);
    if (added & ~kLfe) layout += " + " + speakerNames(static_cast<ChannelMap>(added & ~kLfe));
    if (*f.lfe) layout += " + LFE";
    f.channelLayout = layout;
    return f;
}

std::vector<std::string> dolbyLines(const DolbyHeader& h, const StreamFacts& f, int streamNumber,
                                    const std::optional<DependentChannels>& dependent) {
    std::vector<std::string> lines;
    const std::string number = std::to_string(streamNumber);
    const std::string rate = shortDecimal(f.sampleRate.value_or(0) / 1000.0);
    const std::string bitrate = f.bitRate ? std::to_string(*f.bitRate / 1000) : "unknown";
    const std::string arrangement = "   Channel arrangement = [bl]" +
                                    std::string(kChannelArrangement[h.acmod & 7]) +
                                    "[/bl], bsid = " + std::to_string(h.bsid);
    if (h.plus) {
        lines.push_back("   Stream " + number + " is [b]Dolby Digital Plus[/b]");
        lines.push_back("   frame size = " + std::to_string(f.frameSize.value_or(0)) +
                        " bytes, number of blocks per frame = " + std::to_string(h.blocks));
        lines.push_back(valueLine("Sampling frequency", rate, " kHz"));
        lines.push_back(valueLine("Transmission bitrate", bitrate, " kbit/s"));
        lines.push_back(arrangement);
        lines.push_back(valueLine("LFE channel", h.lfe ? "present" : "not present"));
        if (dependent) {
            lines.push_back(valueLine("Dependent substream", speakerNames(dependent->channels)));
            lines.push_back(valueLine("Channel arrangement in all", f.channelLayout.value_or("")) +
                            ", channels = [bl]" + std::to_string(f.channels.value_or(0)) + "[/bl]");
        }
    } else {
        lines.push_back("   Stream " + number + " is [b]Dolby Digital[/b]");
        lines.push_back(valueLine("Sampling frequency", rate, " kHz"));
        lines.push_back(valueLine("Transmission bitrate", bitrate, " kbit/s"));
        lines.push_back(arrangement + ", bsmod =" + std::to_string(h.bsmod));
        // Said only when present, so that the lines of a stream without LFE stay as they were.
        if (h.lfe) lines.push_back(valueLine("LFE channel", "present"));
    }
    return lines;
}

}  // namespace kavrel::analysers
