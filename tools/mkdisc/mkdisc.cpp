#include "tools/mkdisc/mkdisc.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "tools/mkdisc/program.h"
#include "tools/mkdisc/sample_playlist.h"
#include "tools/mkdisc/stream_names.h"

namespace kavrel::mkdisc {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kStartPts = 0x2BF20;  // two seconds
// The H.264 variant's clock sits 2^32 ticks later: its time stamps use bit 32, which only
// the 33-bit field can hold; the low 32 bits are the same as in the other files.
constexpr uint64_t kHighStartPts = (1ull << 32) + kStartPts;

// Channels, LFE, coded frame size (AC-3, E-AC-3, DTS) and AC-3 frmsizecod.
AudioFormat audioFormat(uint32_t channels, bool lfe, uint32_t bytes, uint32_t sizeCode) {
    AudioFormat f;
    f.channels = channels;
    f.lfe = lfe;
    f.frameBytes = bytes;
    f.ac3SizeCode = sizeCode;
    return f;
}

// Audio streams start a millisecond apart, after the video, so that every stream has a first
// PTS of its own and the first video frame has the lowest.
StreamPlan audio(Codec codec, uint8_t id, const AudioFormat& format, int order, Filler& f) {
    StreamPlan s{codec,
                 id,
                 90 * static_cast<uint64_t>(order + 1),
                 samplesPerFrame(codec) * 90000ull / 48000,
                 1,
                 makeAudio(codec, format, f),
                 LpcmFormat{{16, 0}, {48000, 0}, {static_cast<int>(format.channels), 0}}};
    return s;
}

// An LPCM stream of any depth, rate and channel groups; its access units last 80 frames of
// the unit rate.
StreamPlan lpcm(uint8_t id, const LpcmFormat& format, int order) {
    return StreamPlan{Codec::Lpcm,
                      id,
                      90 * static_cast<uint64_t>(order + 1),
                      80 * 90000ull,
                      format.unitRate(),
                      makeLpcm(format),
                      format};
}

StreamPlan video(Codec codec, uint8_t id, const VideoFormat& format, Filler& f) {
    uint64_t frameTimes100 = 90000ull * format.rateDen * 100 / format.rateNum;
    return StreamPlan{codec, id, 0, frameTimes100, 100, makeVideo(codec, format, f), 0};
}

// A subpicture unit every two seconds, the first half a second (plus offset) in.
StreamPlan subpicture(Codec codec, uint8_t id, uint64_t offset, Filler& f) {
    return StreamPlan{codec, id, 45000 + offset, 180000, 1, makeSubpicture(codec, f), 0};
}

std::unique_ptr<Program> featureProgram(Filler& f) {
    std::vector<StreamPlan> s;
    s.push_back(video(Codec::Vc1, 0x55, VideoFormat{}, f));
    s.push_back(audio(Codec::Eac3, 0xC0, audioFormat(6, true, 2560, 0), 0, f));
    s.push_back(audio(Codec::Dts, 0x89, audioFormat(6, true, 1024, 0), 1, f));
    s.push_back(audio(Codec::Lpcm, 0xA2, audioFormat(2, false, 0, 0), 2, f));
    s.push_back(audio(Codec::TrueHd, 0xB3, audioFormat(6, true, 0, 0), 3, f));
    s.push_back(audio(Codec::Ac3, 0x84, audioFormat(6, true, 1792, 30), 4, f));  // 448 kbit/s
    s.push_back(subpicture(Codec::Subpicture, 0x20, 0, f));
    s.push_back(subpicture(Codec::ExtSubpicture, 0x61, 22500, f));
    return std::make_unique<Program>(ProgramPlan{}, std::move(s));
}

std::unique_ptr<Program> variantProgram(Codec codec, uint8_t id, uint64_t startPts, Filler& f) {
    std::vector<StreamPlan> s;
    s.push_back(video(codec, id, VideoFormat{}, f));
    s.push_back(audio(Codec::Eac3, 0xC0, audioFormat(6, true, 2560, 0), 0, f));
    s.push_back(audio(Codec::Ac3, 0x81, audioFormat(2, false, 768, 20), 1, f));  // 192 kbit/s
    s.push_back(subpicture(Codec::Subpicture, 0x20, 0, f));
    ProgramPlan plan;
    plan.startPts = startPts;
    return std::make_unique<Program>(plan, std::move(s));
}

// DVD-Video: PAL MPEG-2 at 10.08 Mbit/s. Audio sub-stream ids follow the disc's audio stream
// numbers, so each format's id carries its own number.
std::unique_ptr<Program> vobProgram(Filler& f) {
    VideoFormat pal{720, 576, 25, 1, 12, 24000, 8000};
    std::vector<StreamPlan> s;
    s.push_back(video(Codec::Mpeg2, 0xE0, pal, f));
    s.push_back(audio(Codec::Ac3, 0x80, audioFormat(6, true, 1792, 30), 0, f));
    s.push_back(audio(Codec::Ac3, 0x81, audioFormat(2, false, 768, 20), 1, f));
    s.push_back(audio(Codec::Dts, 0x8A, audioFormat(6, true, 1024, 0), 2, f));
    s.push_back(audio(Codec::Lpcm, 0xA3, audioFormat(2, false, 0, 0), 3, f));
    s.push_back(subpicture(Codec::Subpicture, 0x20, 0, f));
    ProgramPlan plan;
    plan.dvdVideoLists = true;
    plan.muxRate = 25200;
    plan.frameNum = 3600;
    plan.frameDen = 1;
    return std::make_unique<Program>(plan, std::move(s));
}

// DVD-Audio: audio only, no navigation packs, the private headers of DVD-Audio.
std::unique_ptr<Program> aobProgram(std::vector<StreamPlan> s) {
    ProgramPlan plan;
    plan.navigationPacks = false;
    plan.dvdAudio = true;
    plan.muxRate = 25200;
    plan.frameNum = 3600;
    plan.frameDen = 1;
    return std::make_unique<Program>(plan, std::move(s));
}

// 16-bit stereo at 44.1 kHz, and MLP.
std::unique_ptr<Program> stereoAobProgram(Filler& f) {
    std::vector<StreamPlan> s;
    s.push_back(lpcm(0xA0, LpcmFormat{{16, 0}, {44100, 0}, {2, 0}, 1}, 0));
    s.push_back(audio(Codec::Mlp, 0xA1, audioFormat(2, false, 0, 0), 1, f));
    return aobProgram(std::move(s));
}

// 24-bit 5.1 at 48 kHz in two groups of one depth and rate: L R C | LFE Ls Rs.
std::unique_ptr<Program> surroundAobProgram() {
    std::vector<StreamPlan> s;
    s.push_back(lpcm(0xA0, LpcmFormat{{24, 24}, {48000, 48000}, {3, 3}, 17}, 0));
    return aobProgram(std::move(s));
}

// Groups of their own depth and rate: L R at 24 bits and 96 kHz | C LFE Ls Rs at 16 bits and
// 48 kHz.
std::unique_ptr<Program> mixedAobProgram() {
    std::vector<StreamPlan> s;
    s.push_back(lpcm(0xA0, LpcmFormat{{24, 16}, {96000, 48000}, {2, 4}, 12}, 0));
    return aobProgram(std::move(s));
}

class DiscWriter {
  public:
    DiscWriter(const Options& options, Layout& layout) : options_(options), layout_(layout) {}

    // Writes the files of one program and the expected outputs of a demux run over them
    // (the follow-on files joined to the first), named after `base`.
    void write(Program& program, const std::string& base,
               const std::vector<std::pair<fs::path, uint64_t>>& files) {
        std::vector<std::unique_ptr<ExpectedOutput>> outputs;
        std::vector<ExpectedOutput*> sinks;
        for (const auto& s : program.streams()) {
            if (options_.expected) {
                fs::path path = layout_.expectedDir / (base + "." + streamCaption(s.codec, s.id) +
                                                       "." + outputExtension(s.codec));
                outputs.push_back(std::make_unique<ExpectedOutput>(path, isSubpicture(s.codec),
                                                                   program.minFirstPts()));
            } else {
                outputs.push_back(nullptr);
            }
            sinks.push_back(outputs.back().get());
        }
        uint16_t vobNumber = 1;
        for (const auto& [path, bytes] : files) {
            fs::create_directories(path.parent_path());
            auto report = program.writeFile(path, bytes, vobNumber++, sinks);
            for (std::size_t i = 0; i < report.size(); ++i) {
                const auto& s = program.streams()[i];
                StreamEntry e;
                e.file = path.filename().string();
                e.id = s.id;
                e.kind = streamKind(s.codec);
                e.number = streamNumber(s.codec, s.id);
                e.caption = streamCaption(s.codec, s.id);
                e.firstPts = static_cast<uint32_t>(report[i].firstPts.value_or(0));
                e.units = report[i].units;
                if (outputs[i]) e.expected = outputs[i]->path();
                layout_.streams.push_back(e);
            }
        }
    }

    void writeStreamList() const {
        std::ofstream out(layout_.expectedDir / "streams.txt");
        out << "# file id kind number caption first-pts units\n"
               "# units: video frames, audio frames or subpicture units in the file\n";
        for (const auto& e : layout_.streams) {
            char line[160];
            std::snprintf(line, sizeof line, "%s 0x%02X %s %d %s %08X %llu\n", e.file.c_str(), e.id,
                          e.kind.c_str(), e.number, e.caption.c_str(), e.firstPts,
                          static_cast<unsigned long long>(e.units));
            out << line;
        }
        if (!out) throw std::runtime_error("cannot write streams.txt");
    }

  private:
    Options options_;
    Layout& layout_;
};

}  // namespace

Layout writeSampleDisc(const fs::path& dir, const Options& options) {
    Layout layout;
    layout.feature1 = dir / "HVDVD_TS" / "FEATURE_1.EVO";
    if (options.followOn)
        layout.feature2 = dir / "HVDVD_TS" / "FEATURE_2.EVO";
    else
        fs::remove(dir / "HVDVD_TS" / "FEATURE_2.EVO");  // a stale one would be read on
    layout.h264Evo = dir / "HVDVD_TS" / "H264_1.EVO";
    layout.mpeg2Evo = dir / "HVDVD_TS" / "MPEG2_1.EVO";
    layout.playlist = dir / "ADV_OBJ" / "VPLST000.XPL";
    layout.vob = dir / "VIDEO_TS" / "VTS_01_1.VOB";
    layout.aob = dir / "AUDIO_TS" / "ATS_01_1.AOB";
    layout.surroundAob = dir / "AUDIO_TS" / "ATS_02_1.AOB";
    layout.mixedAob = dir / "AUDIO_TS" / "ATS_03_1.AOB";
    if (options.expected) {
        layout.expectedDir = dir / "expected";
        fs::create_directories(layout.expectedDir);
    }

    // Every program draws from its own generator, so that a change in one file leaves the
    // others as they were.
    DiscWriter writer(options, layout);
    {
        Filler f(options.seed);
        auto program = featureProgram(f);
        if (options.followOn)
            writer.write(
                *program, "FEATURE_1_FEATURE_2",
                {{layout.feature1, options.featureBytes}, {layout.feature2, options.featureBytes}});
        else
            writer.write(*program, "FEATURE_1", {{layout.feature1, options.featureBytes}});
    }
    {
        Filler f(options.seed + 1);
        auto program = variantProgram(Codec::H264, 0xE2, kHighStartPts, f);
        writer.write(*program, "H264_1", {{layout.h264Evo, options.variantBytes}});
    }
    {
        Filler f(options.seed + 2);
        auto program = variantProgram(Codec::Mpeg2, 0xE0, kStartPts, f);
        writer.write(*program, "MPEG2_1", {{layout.mpeg2Evo, options.variantBytes}});
    }
    {
        Filler f(options.seed + 3);
        auto program = vobProgram(f);
        writer.write(*program, "VTS_01_1", {{layout.vob, options.vobBytes}});
    }
    {
        Filler f(options.seed + 4);
        auto program = stereoAobProgram(f);
        writer.write(*program, "ATS_01_1", {{layout.aob, options.aobBytes}});
        writer.write(*surroundAobProgram(), "ATS_02_1", {{layout.surroundAob, options.aobBytes}});
        writer.write(*mixedAobProgram(), "ATS_03_1", {{layout.mixedAob, options.aobBytes}});
    }

    fs::create_directories(layout.playlist.parent_path());
    std::ofstream xpl(layout.playlist, std::ios::binary | std::ios::trunc);
    xpl << samplePlaylist(options.playlistTimeBase);
    if (!xpl) throw std::runtime_error("cannot write " + layout.playlist.string());

    if (options.expected) writer.writeStreamList();
    return layout;
}

}  // namespace kavrel::mkdisc
