// Real DVD program streams written by ffmpeg's DVD muxer, checked against ffprobe's view of
// them and against ffmpeg's own stream copies.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;

struct Sample {
    fs::path vob;
    std::vector<uint64_t> audioStartPts;  // ffprobe start_pts of a:0, a:1 …
    uint64_t videoStartPts = 0;
    int frames = 0;  // ffprobe's decoded frame count
};

class DemuxFfmpeg : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!haveTool("ffmpeg") || !haveTool("ffprobe")) return;
        dir_ = new fs::path(tempDir("ffmpeg"));
        // B-frames give PTS+DTS headers; without them the headers carry a PTS only.
        bFrames_ = make("bframes.vob", "-bf 2", 2);
        plain_ = make("plain.vob", "-bf 0", 1);
    }
    static void TearDownTestSuite() {
        delete bFrames_;
        delete plain_;
        delete dir_;
    }
    void SetUp() override {
        if (!bFrames_ || !plain_) GTEST_SKIP() << "ffmpeg or ffprobe is missing";
    }

    static Sample* make(const std::string& name, const std::string& videoOptions, int audios) {
        auto sample = std::make_unique<Sample>();
        sample->vob = *dir_ / name;
        std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=720x480:rate=25";
        for (int i = 0; i < audios; ++i)
            command += " -f lavfi -i sine=frequency=" + std::to_string(440 * (i + 1)) +
                       ":sample_rate=48000";
        command += " -map 0:v";
        for (int i = 0; i < audios; ++i) command += " -map " + std::to_string(i + 1) + ":a";
        command += " -c:v mpeg2video -b:v 4M " + videoOptions + " -c:a ac3 -t 4 -f dvd " +
                   shellQuote(sample->vob.string());
        if (runCommand(command).exitCode != 0) return nullptr;

        const CommandResult probe =
            runCommand("ffprobe -v error -show_entries stream=codec_type,start_pts -of csv=p=0 " +
                       shellQuote(sample->vob.string()));
        std::istringstream lines(probe.out);
        std::string line;
        while (std::getline(lines, line)) {
            const auto comma = line.find(',');
            if (comma == std::string::npos) continue;
            const uint64_t pts = std::strtoull(line.c_str() + comma + 1, nullptr, 10);
            if (line.starts_with("video")) sample->videoStartPts = pts;
            if (line.starts_with("audio")) sample->audioStartPts.push_back(pts);
        }
        const CommandResult frames = runCommand(
            "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=nb_read_frames -of csv=p=0 " +
            shellQuote(sample->vob.string()));
        sample->frames = std::atoi(frames.out.c_str());
        return sample.release();
    }

    // ffmpeg's copy of one stream as an elementary stream.
    static Bytes ffmpegCopy(const Sample& sample, const std::string& map,
                            const std::string& format) {
        const fs::path out = tempDir("copy") / "stream";
        const CommandResult result =
            runCommand("ffmpeg -v error -y -i " + shellQuote(sample.vob.string()) + " -map " + map +
                       " -c copy -f " + format + " " + shellQuote(out.string()));
        if (result.exitCode != 0) return {};
        return readFile(out);
    }

    static std::string hex8(uint64_t value) {
        char text[12];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value & 0xFFFFFFFF));
        return text;
    }

    static inline fs::path* dir_ = nullptr;
    static inline Sample* bFrames_ = nullptr;
    static inline Sample* plain_ = nullptr;
};

TEST_F(DemuxFfmpeg, ReadAnnouncesStreamsWithFfprobesFirstTimes) {
    for (const Sample* sample : {bFrames_, plain_}) {
        ASSERT_FALSE(sample->audioStartPts.empty());
        ScanRun scan;
        scan.options.chunkSize = kChunkSize;
        scan.run(sample->vob, ScanMode::Read);
        const std::string text = scan.host.text();
        EXPECT_NE(text.find("MPEG-2 video stream 0 found!\n   First PTS = " +
                            hex8(sample->videoStartPts) + "\n   Substream id = E0\n"),
                  std::string::npos)
            << text;
        for (std::size_t i = 0; i < sample->audioStartPts.size(); ++i) {
            EXPECT_NE(text.find("Dolby Digital audio stream " + std::to_string(i) +
                                " found!\n   First PTS = " + hex8(sample->audioStartPts[i]) +
                                "\n   Substream id = 8" + std::to_string(i) + "\n"),
                      std::string::npos)
                << text;
        }
        // The muxer's navigation packs are zero-filled; the counts come from the system header.
        const std::string audios = std::to_string(sample->audioStartPts.size());
        EXPECT_TRUE(
            scan.host.hasLine("VOB number 0 contains 1 video and " + audios + " audio streams."))
            << text;
        EXPECT_EQ(scan.state.minFirstPts,
                  std::min(sample->videoStartPts, sample->audioStartPts[0]));

        // Every picture is counted once, also one whose start code a packet or a chunk cuts.
        ASSERT_GT(sample->frames, 50);
        EXPECT_EQ(scan.state.frameCounters[0], sample->frames);
    }
}

TEST_F(DemuxFfmpeg, DemuxEqualsFfmpegStreamCopy) {
    const Bytes video = ffmpegCopy(*bFrames_, "0:v:0", "mpeg2video");
    const Bytes audio0 = ffmpegCopy(*bFrames_, "0:a:0", "ac3");
    const Bytes audio1 = ffmpegCopy(*bFrames_, "0:a:1", "ac3");
    ASSERT_GT(video.size(), 100000u);
    ASSERT_GT(audio0.size(), 10000u);
    for (std::size_t chunk : {kChunkSize, std::size_t{1000}}) {
        ScanRun scan;
        scan.options.chunkSize = chunk;
        scan.selectAll();
        scan.run(bFrames_->vob, ScanMode::Demux);
        EXPECT_TRUE(scan.slots.data(videoSlot(0)) == video) << "video, chunk " << chunk;
        EXPECT_TRUE(scan.slots.data(audioSlot(0)) == audio0) << "audio 0, chunk " << chunk;
        EXPECT_TRUE(scan.slots.data(audioSlot(1)) == audio1) << "audio 1, chunk " << chunk;
    }
}

}  // namespace
}  // namespace kavrel::test
