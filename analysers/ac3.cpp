#include "analysers/ac3.h"

#include <array>
#include <string_view>

#include "analysers/text.h"
#include "analysers/format_tables.h"

namespace kavrel::analysers {
namespace {

constexpr std::array<int, 4> kBlocksPerFrame = {1, 2, 3, 6};

constexpr std::array<std::string_view, 8> kChannelArrangement = {
    "dual mono", "mono",          "L + R",           "L + R + C",
    "L + R + S", "L + R + C + S", "L + R + Ls + Rs", "L + R + C + Ls + Rs"};

constexpr uint16_t kSyncWord = 0x0B77;

}  // namespace

std::vector<DolbyHeader> findDolbyHeaders(std::span<const uint8_t> payload) {
    std::vector<DolbyHeader> found;
    uint16_t window = 0;
    int toCapture = 0;
    bool armed = false;
    DolbyHeader h;
    for (const uint8_t b : payload) {
        window = static_cast<uint16_t>((window << 8) | b);
        if (window == kSyncWord) {
            // A sync word inside a header being captured is neither a new header nor a header
            // byte; once a header is taken, later sync words are ignored altogether.
            if (!armed) {
                armed = true;
                toCapture = 5;
                h = DolbyHeader{};
            }
            continue;
        }
        if (toCapture == 0) continue;
        --toCapture;
        switch (5 - toCapture) {
            case 1:
                h.frameSizeCode = static_cast<uint16_t>((b & 0x07) << 8);
                break;
            case 2:
                h.frameSizeCode = static_cast<uint16_t>(h.frameSizeCode | b);
                break;
            case 3: {
                h.sampleRate = kRateTable[b >> 6];
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

std::vector<std::string> dolbyLines(const DolbyHeader& h, int streamNumber) {
    std::vector<std::string> lines;
    const std::string number = std::to_string(streamNumber);
    const std::string rate = shortDecimal(h.sampleRate / 1000.0);
    const std::string bitrate = h.bitrate ? std::to_string(*h.bitrate / 1000) : "unknown";
    const std::string arrangement = "   Channel arrangement = [bl]" +
                                    std::string(kChannelArrangement[h.acmod & 7]) +
                                    "[/bl], bsid = " + std::to_string(h.bsid);
    if (h.plus) {
        lines.push_back("   Stream " + number + " is [b]Dolby Digital Plus[/b]");
        lines.push_back("   frame size = " + std::to_string((h.frameSizeCode + 1) * 2) +
                        " bytes, number of blocks per frame = " + std::to_string(h.blocks));
        lines.push_back(valueLine("Sampling frequency", rate, " kHz"));
        lines.push_back(valueLine("Transmission bitrate", bitrate, " kbit/s"));
        lines.push_back(arrangement);
        lines.push_back(valueLine("LFE channel", h.lfe ? "present" : "not present"));
    } else {
        lines.push_back("   Stream " + number + " is [b]Dolby Digital[/b]");
        lines.push_back(valueLine("Sampling frequency", rate, " kHz"));
        lines.push_back(valueLine("Transmission bitrate", bitrate, " kbit/s"));
        lines.push_back(arrangement + ", bsmod =" + std::to_string(h.bsmod));
    }
    return lines;
}

}  // namespace kavrel::analysers
