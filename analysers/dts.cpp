#include "analysers/dts.h"

#include <array>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr uint32_t kCoreSync = 0x7FFE8001;
constexpr uint32_t kSubstreamSync = 0x64582025;

// Sampling frequencies of the core header in Hz; 0 for invalid codes.
constexpr std::array<uint32_t, 16> kSampleRates = {
    0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};

// Transmission bit rates in kbit/s; codes 29-31 are open, variable and lossless.
constexpr std::array<std::string_view, 32> kBitRates = {
    "32",     "56",   "64",   "96",   "112",  "128",  "192",  "224",  "256",      "320",     "384",
    "448",    "512",  "576",  "640",  "768",  "960",  "1024", "1152", "1280",     "1344",    "1408",
    "1411.2", "1472", "1536", "1920", "2048", "3072", "3840", "open", "variable", "lossless"};

constexpr std::array<std::string_view, 16> kArrangements = {
    "mono",
    "dual mono",
    "L + R",
    "(L + R) + (L - R) (sum-difference)",
    "Lt + Rt (left and right total)",
    "C + L + R",
    "L + R + S",
    "C + L + R + S",
    "L + R + Ls + Rs",
    "C + L + R + Ls + Rs",
    "Cl + Cr + L + R + Ls + Rs",
    "C + L + R + Lr + Rr + Oh",
    "Cf + Cr + Lf + Rf + Lr + Rr",
    "Cl + C + Cr + L + R + Ls + Rs",
    "Cl + Cr + L + R + Ls1 + Ls2 + Rs1 + Rs2",
    "Cl + C + Cr + L + R + Ls + S + Rs"};

uint32_t be32(std::span<const uint8_t> bytes, std::size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

std::optional<std::size_t> findSync(std::span<const uint8_t> bytes, uint32_t sync,
                                    std::size_t from) {
    for (std::size_t i = from; i + 4 <= bytes.size(); ++i) {
        if (be32(bytes, i) == sync) return i;
    }
    return std::nullopt;
}

std::optional<DtsCore> parseCore(std::span<const uint8_t> bytes) {
    BitReader r(bytes);
    r.skip(32);  // sync
    DtsCore c;
    r.skip(1 + 5);  // FTYPE, SHORT
    const bool crcPresent = r.flag();
    c.blocks = static_cast<int>(r.bits(7)) + 1;
    c.frameSize = r.bits(14) + 1;
    c.amode = static_cast<int>(r.bits(6));
    c.sfreq = static_cast<int>(r.bits(4));
    c.rate = static_cast<int>(r.bits(5));
    r.skip(1 + 1 + 1 + 1 + 1);  // fixed bit, DYNF, TIMEF, AUXF, HDCD
    c.extAudioId = static_cast<int>(r.bits(3));
    c.extAudio = r.flag();
    r.skip(1);  // ASPF
    c.lfe = static_cast<int>(r.bits(2));
    r.skip(1);  // HFLAG
    if (crcPresent) r.skip(16);
    r.skip(1 + 4 + 2);  // FILTS, VERNUM, CHIST
    c.pcmResolution = static_cast<int>(r.bits(3));
    if (r.exhausted()) return std::nullopt;
    return c;
}

// The extension substream header gives its own size; within it the coding components are found
// by their sync words.
std::optional<DtsHdSubstream> parseSubstream(std::span<const uint8_t> bytes) {
    BitReader r(bytes);
    r.skip(32 + 8 + 2);  // sync, user defined bits, substream index
    const bool wideSizes = r.flag();
    DtsHdSubstream s;
    s.headerSize = r.bits(wideSizes ? 12 : 8) + 1;
    s.frameSize = r.bits(wideSizes ? 20 : 16) + 1;
    if (r.exhausted()) return std::nullopt;

    struct Component {
        uint32_t sync;
        std::string_view name;
    };
    static constexpr std::array<Component, 6> kComponents = {{
        {0x02B09261, "core"},
        {0x41A29547, "XLL (lossless)"},
        {0x655E315E, "XBR (high bit rate)"},
        {0x1D95F262, "X96 (96 kHz)"},
        {0x47004A03, "XXCH (extra channels)"},
        {0x0A801921, "LBR (low bit rate)"},
    }};
    const std::size_t end = s.frameSize < bytes.size() ? s.frameSize : bytes.size();
    const auto frame = bytes.first(end);
    for (const auto& component : kComponents) {
        if (findSync(frame, component.sync, s.headerSize < end ? s.headerSize : end)) {
            s.extensions.emplace_back(component.name);
        }
    }
    return s;
}

}  // namespace

DtsInfo parseDts(std::span<const uint8_t> payload) {
    DtsInfo info;
    const auto coreAt = findSync(payload, kCoreSync, 0);
    if (coreAt) {
        info.core = parseCore(payload.subspan(*coreAt));
        if (info.core) {
            const std::size_t next = *coreAt + info.core->frameSize;
            if (next + 4 <= payload.size() && be32(payload, next) == kSubstreamSync) {
                info.substream = parseSubstream(payload.subspan(next));
            }
            return info;
        }
    }
    // A DTS-HD stream without a core (or with the core out of this payload).
    if (const auto at = findSync(payload, kSubstreamSync, 0)) {
        info.substream = parseSubstream(payload.subspan(*at));
    }
    return info;
}

std::vector<std::string> dtsLines(const DtsInfo& info, int streamNumber) {
    std::vector<std::string> lines;
    if (!info.core && !info.substream) return lines;
    const std::string number = std::to_string(streamNumber);
    if (info.core) {
        const DtsCore& c = *info.core;
        lines.push_back("   Stream " + number + " is [b]DTS[/b]" +
                        (info.substream ? " with a [b]DTS-HD[/b] extension substream" : ""));
        const uint32_t rate = kSampleRates[c.sfreq & 15];
        lines.push_back(rate ? valueLine("Sampling frequency", shortDecimal(rate / 1000.0), " kHz")
                             : valueLine("Sampling frequency", "invalid"));
        const std::string_view bitrate = kBitRates[c.rate & 31];
        const bool numeric = c.rate < 29;
        lines.push_back(valueLine("Transmission bitrate", bitrate, numeric ? " kbit/s" : ""));
        const std::string arrangement = c.amode < 16
                                            ? std::string(kArrangements[c.amode])
                                            : "user defined (" + std::to_string(c.amode) + ")";
        lines.push_back(valueLine("Channel arrangement", arrangement));
        lines.push_back(valueLine("LFE channel", c.lfe == 0   ? "not present"
                                                 : c.lfe == 3 ? "invalid"
                                                              : "present"));
        lines.push_back("   frame size = " + std::to_string(c.frameSize) + " bytes, " +
                        std::to_string(c.blocks * 32) + " samples per frame");
        static constexpr std::array<std::string_view, 8> kResolution = {
            "16", "16", "20", "20", "invalid", "24", "24", "invalid"};
        lines.push_back(valueLine("Source resolution", kResolution[c.pcmResolution & 7],
                                  c.pcmResolution == 4 || c.pcmResolution == 7 ? "" : " bit"));
        if (c.extAudio) {
            static constexpr std::array<std::string_view, 8> kCoreExtensions = {
                "XCh (6.1 channels)", "reserved", "X96 (96 kHz)",          "reserved",
                "reserved",           "reserved", "XXCh (extra channels)", "reserved"};
            lines.push_back(valueLine("Core extension", kCoreExtensions[c.extAudioId & 7]));
        }
    } else {
        lines.push_back("   Stream " + number + " is [b]DTS-HD[/b] (no core)");
    }
    if (info.substream) {
        const DtsHdSubstream& s = *info.substream;
        std::string carried;
        for (const auto& name : s.extensions) {
            if (!carried.empty()) carried += ", ";
            carried += name;
        }
        lines.push_back("   DTS-HD substream size = " + std::to_string(s.frameSize) + " bytes");
        lines.push_back(valueLine("DTS-HD extensions", carried.empty() ? "unknown" : carried));
    }
    return lines;
}

}  // namespace kavrel::analysers
