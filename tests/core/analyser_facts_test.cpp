// The facts the analysers give, judged by ffprobe on the same streams: the generator's streams
// and streams that ffmpeg encodes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "tests/support/test_support.h"

namespace kavrel::analysers {
namespace {

namespace fs = std::filesystem;

// The fields that both sides know of the first stream ffprobe names with this codec, from
// its -show_streams -of json, as "name=value" lines.
std::string probed(const fs::path& file, const std::string& codec) {
    const std::string script =
        "import json,sys\n"
        "s=[s for s in json.load(sys.stdin)['streams'] if s['codec_name']==sys.argv[1]][0]\n"
        "for k in ('codec_name','channels','sample_rate','width','height',"
        "'display_aspect_ratio'):\n"
        "  if k in s: print(k+'='+str(s[k]))\n";
    const auto result = test::runCommand("ffprobe -v error -show_streams -of json " +
                                         test::shellQuote(file.string()) + " | python3 -c " +
                                         test::shellQuote(script) + " " + codec);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

// The same fields of our facts.
std::string ours(const StreamFacts& f) {
    std::string out = "codec_name=" + f.codecName + "\n";
    auto add = [&out](const char* name, const auto& value) {
        if (value) out += std::string(name) + "=" + std::to_string(*value) + "\n";
    };
    add("channels", f.channels);
    add("sample_rate", f.sampleRate);
    add("width", f.width);
    add("height", f.height);
    if (f.displayAspectRatio) out += "display_aspect_ratio=" + *f.displayAspectRatio + "\n";
    return out;
}

// The private header and payload of the first PES packet of a private stream 1 sub-stream;
// the header is the `headerBytes` bytes after the four bytes of sub-stream id, frame count and
// pointer.
struct SubstreamPacket {
    std::vector<uint8_t> header;
    std::vector<uint8_t> payload;
};
SubstreamPacket firstPacket(const std::vector<uint8_t>& ps, uint8_t subId,
                            std::size_t headerBytes) {
    for (std::size_t at = 0; at + 9 < ps.size(); ++at) {
        if (ps[at] != 0 || ps[at + 1] != 0 || ps[at + 2] != 1 || ps[at + 3] != 0xBD) continue;
        const std::size_t end = at + 6 + (std::size_t{ps[at + 4]} << 8 | ps[at + 5]);
        const std::size_t sub = at + 9 + ps[at + 8];
        if (end > ps.size() || sub + 4 + headerBytes > end || ps[sub] != subId) continue;
        const auto data = ps.begin() + static_cast<std::ptrdiff_t>(sub + 4);
        return {{data, data + static_cast<std::ptrdiff_t>(headerBytes)},
                {data + static_cast<std::ptrdiff_t>(headerBytes),
                 ps.begin() + static_cast<std::ptrdiff_t>(end)}};
    }
    ADD_FAILURE() << "no packet of sub-stream " << int{subId};
    return {};
}

fs::path ffmpegMake(const std::string& name, const std::string& arguments) {
    const fs::path out = test::tempDir("facts") / name;
    const auto result = test::runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " +
                                         arguments + " " + test::shellQuote(out.string()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return out;
}

TEST(StreamFacts, AsFfprobeSeesThem) {
    if (!test::haveTool("ffprobe") || !test::haveTool("python3"))
        GTEST_SKIP() << "ffprobe or python3 is missing";
    const auto& disc = test::sampleDisc();
    const fs::path expected = disc.expectedDir;

    // Elementary streams, whole: the generator's and ffmpeg's AC-3 5.1 and MPEG-2 video.
    struct Elementary {
        fs::path file;
        bool video;
        std::string codec;
    };
    const std::vector<Elementary> elementary = {
        {expected / "VTS_01_1.DD.stream.00.mpa", false, "ac3"},
        {expected / "FEATURE_1_FEATURE_2.DD+.stream.00.mpa", false, "eac3"},
        {expected / "VTS_01_1.MPEG-2.stream.0.mpv", true, "mpeg2video"},
        {ffmpegMake("a.ac3", "-f lavfi -i sine=r=48000:d=0.5 -ac 6 -c:a ac3 -f ac3"), false, "ac3"},
        {ffmpegMake("b.ac3", "-f lavfi -i sine=r=44100:d=0.5 -ac 2 -c:a ac3 -f ac3"), false, "ac3"},
        {ffmpegMake("v.m2v",
                    "-f lavfi -i testsrc=size=704x576:rate=25 -t 0.2 -aspect 16:9 "
                    "-c:v mpeg2video -f mpeg2video"),
         true, "mpeg2video"},
    };
    for (const Elementary& e : elementary) {
        SCOPED_TRACE(e.file.filename().string());
        const auto bytes = test::readFile(e.file);
        const std::vector<uint8_t> head(
            bytes.begin(), bytes.begin() + std::min<std::ptrdiff_t>(16384, std::ssize(bytes)));
        const auto cls =
            e.codec == "eac3" ? AudioClass::DolbyDigitalPlus : AudioClass::DolbyDigital;
        const auto facts = e.video ? analyseVideo(VideoKind::Mpeg2, head, 0).facts
                                   : analyseAudio(cls, LpcmCarriage::Video, head, 0).facts;
        EXPECT_EQ(ours(facts), probed(e.file, e.codec));
    }

    // LPCM lives in its packets' private headers: the generator's VOB and one of ffmpeg's.
    struct Packed {
        fs::path file;
        uint8_t subId;
    };
    for (const Packed& p : {Packed{disc.vob, 0xA3},
                            Packed{ffmpegMake("l.vob",
                                              "-f lavfi -i sine=r=48000:d=0.3 -ac 6 -c:a pcm_dvd "
                                              "-f vob"),
                                   0xA0}}) {
        SCOPED_TRACE(p.file.filename().string());
        const auto packet = firstPacket(test::readFile(p.file), p.subId, 3);
        const auto facts =
            analyseAudio(AudioClass::Lpcm, LpcmCarriage::Video, packet.payload, 0, packet.header)
                .facts;
        EXPECT_EQ(ours(facts), probed(p.file, "pcm_dvd"));
    }
}

}  // namespace
}  // namespace kavrel::analysers
