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

// The same rates in bit/s, for codes 0-28.
constexpr std::array<uint32_t, 29> kBitRateValues = {
    32000,   56000,   64000,   96000,   112000,  128000,  192000,  224000,  256000,  320000,
    384000,  448000,  512000,  576000,  640000,  768000,  960000,  1024000, 1152000, 1280000,
    1344000, 1408000, 1411200, 1472000, 1536000, 1920000, 2048000, 3072000, 3840000};

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

// Sampling rates of the extension substream's asset descriptors, in Hz.
constexpr std::array<uint32_t, 16> kSubstreamSampleRates = {
    8000,   16000,  32000, 64000, 128000, 22050, 44100,  88200,
    176400, 352800, 12000, 24000, 48000,  96000, 192000, 384000};

// Channels of the core's channel arrangements 0-15.
constexpr std::array<int, 16> kArrangementChannels = {1, 2, 2, 2, 2, 3, 3, 4,
                                                      4, 5, 6, 6, 6, 7, 8, 8};

DtsHdKind kindOf(const std::vector<std::string>& extensions) {
    auto has = [&](std::string_view prefix) {
        for (const auto& name : extensions) {
            if (name.starts_with(prefix)) return true;
        }
        return false;
    };
    if (has("XLL")) return DtsHdKind::MasterAudio;
    if (has("XBR") || has("X96")) return DtsHdKind::HighResolution;
    if (has("LBR")) return DtsHdKind::Express;
    return DtsHdKind::Unknown;
}

// The static fields of the substream header lead to the first asset's descriptor, which gives
// the sample depth, the highest sampling rate and the channel count of the whole stream.
void readFirstAsset(BitReader& r, int substreamIndex, int sizeBits, DtsHdSubstream& s) {
    r.skip(2 + 3);                 // reference clock, frame duration
    if (r.flag()) r.skip(32 + 4);  // time stamp
    const uint32_t presentations = r.bits(3) + 1;
    const uint32_t assets = r.bits(3) + 1;
    std::array<uint32_t, 8> activeSubstreams{};
    for (uint32_t p = 0; p < presentations; ++p) {
        activeSubstreams[p] = r.bits(substreamIndex + 1);
    }
    for (uint32_t p = 0; p < presentations; ++p) {
        for (int index = 0; index <= substreamIndex; ++index) {
            if ((activeSubstreams[p] >> index) & 1) r.skip(8);  // active asset mask
        }
    }
    if (r.flag()) {  // mixing metadata
        r.skip(2);   // adjustment level
        const uint32_t maskBits = (r.bits(2) + 1) << 2;
        const uint32_t configurations = r.bits(2) + 1;
        r.skip(uint64_t{maskBits} * configurations);
    }
    r.skip(uint64_t{assets} * static_cast<uint64_t>(sizeBits));  // asset sizes
    r.skip(9 + 3);                                               // descriptor size, asset index
    if (r.flag()) r.skip(4);                                     // asset type
    if (r.flag()) r.skip(24);                                    // language
    if (r.flag()) r.skip((uint64_t{r.bits(10)} + 1) * 8);        // info text
    const auto resolution = static_cast<int>(r.bits(5)) + 1;
    const uint32_t rate = kSubstreamSampleRates[r.bits(4)];
    const auto channels = static_cast<int>(r.bits(8)) + 1;
    if (r.exhausted() || r.position() > uint64_t{s.headerSize} * 8) return;
    s.bitResolution = resolution;
    s.maxSampleRate = rate;
    s.totalChannels = channels;
}

// The extension substream header gives its own size; within it the coding components are found
// by their sync words.
std::optional<DtsHdSubstream> parseSubstream(std::span<const uint8_t> bytes) {
    BitReader r(bytes);
    r.skip(32 + 8);  // sync, user defined bits
    const auto substreamIndex = static_cast<int>(r.bits(2));
    const bool wideSizes = r.flag();
    const int sizeBits = wideSizes ? 20 : 16;
    DtsHdSubstream s;
    s.headerSize = r.bits(wideSizes ? 12 : 8) + 1;
    s.frameSize = r.bits(sizeBits) + 1;
    if (r.exhausted()) return std::nullopt;
    if (r.flag()) readFirstAsset(r, substreamIndex, sizeBits, s);

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
    s.kind = kindOf(s.extensions);
    return s;
}

std::string_view kindName(DtsHdKind kind) {
    switch (kind) {
        case DtsHdKind::MasterAudio:
            return "DTS-HD Master Audio";
        case DtsHdKind::HighResolution:
            return "DTS-HD High Resolution";
        case DtsHdKind::Express:
            return "DTS Express";
        case DtsHdKind::Unknown:
            break;
    }
    return "";
}

// ffprobe's profile names of the same formats.
std::string_view profileName(DtsHdKind kind) {
    switch (kind) {
        case DtsHdKind::MasterAudio:
            return "DTS-HD MA";
        case DtsHdKind::HighResolution:
            return "DTS-HD HRA";
        case DtsHdKind::Express:
            return "DTS Express";
        case DtsHdKind::Unknown:
            break;
    }
    return "DTS";
}

// Sample depths of the core's source PCM resolution codes; 0 for the invalid ones.
constexpr std::array<int, 8> kResolutionBits = {16, 16, 20, 20, 0, 24, 24, 0};

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

std::optional<int> dtsCoreChannels(const DtsCore& c) {
    if (c.amode < 0 || c.amode >= 16) return std::nullopt;
    return kArrangementChannels[c.amode] + (c.lfe == 1 || c.lfe == 2 ? 1 : 0);
}

StreamFacts dtsFacts(const DtsInfo& info) {
    StreamFacts f;
    if (!info.core && !info.substream) return f;
    f.codecName = "dts";
    const DtsHdKind kind = info.substream ? info.substream->kind : DtsHdKind::Unknown;
    f.format = kind == DtsHdKind::Unknown ? (info.core ? "DTS" : "DTS-HD") : kindName(kind);
    f.profile = profileName(kind);
    if (info.core) {
        const DtsCore& c = *info.core;
        if (const uint32_t rate = kSampleRates[c.sfreq & 15]) f.sampleRate = rate;
        if (c.rate >= 0 && c.rate < 29) f.bitRate = kBitRateValues[c.rate];
        f.frameSize = c.frameSize;
        f.channels = dtsCoreChannels(c);
        if (c.lfe != 3) f.lfe = c.lfe != 0;
        if (c.amode < 16) {
            f.channelLayout =
                std::string(kArrangements[c.amode]) + (f.lfe.value_or(false) ? " + LFE" : "");
        }
        if (const int bits = kResolutionBits[c.pcmResolution & 7]) f.bitsPerSample = bits;
    }
    if (info.substream) {
        const DtsHdSubstream& s = *info.substream;
        // The extension carries the whole programme: its figures are the stream's.
        if (s.totalChannels) {
            if (s.totalChannels != f.channels) f.channelLayout.reset();
            f.channels = s.totalChannels;
        }
        if (s.bitResolution) f.bitsPerSample = s.bitResolution;
        if (s.maxSampleRate) f.sampleRate = s.maxSampleRate;
    }
    return f;
}

std::vector<std::string> dtsLines(const DtsInfo& info, const StreamFacts& f, int streamNumber) {
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
        if (s.kind != DtsHdKind::Unknown) lines.push_back(valueLine("Format", f.format));
        if (info.core) {
            if (const auto core = dtsCoreChannels(*info.core)) {
                lines.push_back(valueLine("Core channels", std::to_string(*core)));
            }
        }
        if (s.totalChannels) {
            lines.push_back(valueLine("Channels in all", std::to_string(*s.totalChannels)) +
                            ", bit depth = [bl]" + std::to_string(s.bitResolution.value_or(0)) +
                            "[/bl] bit, sampling frequency = [bl]" +
                            shortDecimal(s.maxSampleRate.value_or(0) / 1000.0) + "[/bl] kHz");
        }
    }
    return lines;
}

}  // namespace kavrel::analysers
