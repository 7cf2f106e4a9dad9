// kavrel-cli subs as a user runs it: PNG pictures named with their times, exit codes, one line
// on stderr for a failure, and what is written from a damaged file.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "formats/colour.h"
#include "tests/support/test_support.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::string cli(const std::string& arguments) {
    return shellQuote(KAVREL_CLI_PATH) + " subs " + arguments;
}

fs::path vobSubpictures() {
    for (const auto& e : sampleDisc().streams)
        if (e.file == "VTS_01_1.VOB" && e.kind == "subpicture") return e.expected;
    throw std::runtime_error("no VOB subpicture stream");
}

TEST(SubsCommand, WritesOnePicturePerCaptionNamedWithItsTimes) {
    const fs::path sup = vobSubpictures();
    const fs::path dir = tempDir("subs-png") / "pictures";  // made by the command
    auto r = runCommand(cli("--png " + shellQuote(dir.string()) + " " + shellQuote(sup.string())));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto captions = supCaptions(readFile(sup));
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    ASSERT_EQ(names.size(), captions.size());
    // 0001_0-00-00.500_0-00-01.865.png: number, start, end.
    auto time = [](uint32_t ticks) {
        std::string text = formats::formatTicks(ticks);
        std::replace(text.begin(), text.end(), ':', '-');
        return text;
    };
    EXPECT_EQ(*names.begin(),
              "0001_" + time(captions[0].start) + "_" + time(*captions[0].end) + ".png");

    // The picture holds the caption's colours and transparency, pixel for pixel.
    if (!haveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const fs::path raw = tempDir("subs-png-raw") / "picture.rgba";
    r = runCommand("ffmpeg -v error -i " + shellQuote((dir / *names.begin()).string()) +
                   " -f rawvideo -pix_fmt rgba " + shellQuote(raw.string()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Bytes rgba = readFile(raw);
    const formats::Caption& c = captions[0];
    ASSERT_EQ(rgba.size(), c.bitmap.pixels.size() * 4);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < c.bitmap.pixels.size(); ++i) {
        const formats::Rgba e =
            formats::toRgba(c.palette[c.bitmap.pixels[i]], formats::matrixOf(c.form));
        wrong += !std::equal(&rgba[4 * i], &rgba[4 * i] + 4, Bytes{e.r, e.g, e.b, e.a}.begin());
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(SubsCommand, ExitCodes) {
    const std::string sup = shellQuote(vobSubpictures().string());
    const fs::path dir = tempDir("subs-exit");
    struct Case {
        std::string arguments;
        int exit;
    };
    test::writeFile(dir / "empty.sup", {});
    const std::vector<Case> cases = {
        {sup, 0},
        {"--help", 0},
        {"", 2},
        {"--size 1920 " + sup, 2},
        {"--bogus " + sup, 2},
        {shellQuote((dir / "missing.sup").string()), 1},
        {shellQuote(dir.string()), 1},
        {shellQuote((dir / "empty.sup").string()), 1},
        {"--pgs " + sup + " " + sup, 1},  // never over the input
    };
    const Bytes before = readFile(vobSubpictures());
    for (const Case& c : cases) {
        auto r = runCommand(cli(c.arguments));
        EXPECT_EQ(r.exitCode, c.exit) << c.arguments << "\n" << r.err;
        if (c.exit == 1) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    EXPECT_EQ(readFile(vobSubpictures()), before);
}

// Damage between the units: the units around it are still converted, and the damage counted.
TEST(SubsCommand, DamagedFileKeepsEveryUnitAroundTheDamage) {
    Bytes file = readFile(vobSubpictures());
    const std::size_t second = 10 + (std::size_t{file[10]} << 8 | file[11]);
    file.insert(file.begin() + static_cast<long>(second), 333, 0xAB);
    const fs::path dir = tempDir("subs-damaged");
    writeFile(dir / "damaged.sup", file);
    auto r = runCommand(cli("--pgs " + shellQuote((dir / "out.sup").string()) + " " +
                            shellQuote((dir / "damaged.sup").string())));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Subpicture stream 0: 1 damaged unit skipped.\nDone."), std::string::npos);
    EXPECT_NE(r.out.find("Subpicture file damaged at byte " + std::to_string(second)),
              std::string::npos)
        << r.out;
    // Every caption around the damage is in the PGS file: one composition with an object each.
    const Bytes pgs = readFile(dir / "out.sup");
    std::size_t starts = 0;
    for (std::size_t at = 0; at + 13 <= pgs.size(); at += 13 + (pgs[at + 11] << 8 | pgs[at + 12]))
        starts += pgs[at + 10] == 0x16 && pgs[at + 23] == 1;
    EXPECT_EQ(starts, supCaptions(readFile(vobSubpictures())).size());
}

// demux --subs pgs writes, under the same names, what subs --pgs makes of the default output,
// on the frame of the input's video.
TEST(SubsCommand, DemuxAsPgsGivesWhatSubsMakesOfTheSupOutput) {
    for (const auto& [input, streams, frame] :
         {std::tuple{sampleDisc().feature1, "s0,s1", "1920x1080"},
          std::tuple{sampleDisc().vob, "s0", "720x576"}}) {
        const fs::path sup = tempDir("demux-sup"), pgs = tempDir("demux-pgs");
        for (const auto& [dir, form] : {std::pair{sup, "sup"}, std::pair{pgs, "pgs"}})
            ASSERT_EQ(runCommand(shellQuote(KAVREL_CLI_PATH) + " demux -q -s " + streams +
                                 " --subs " + form + " -o " + shellQuote(dir.string()) + " " +
                                 shellQuote(input.string()))
                          .exitCode,
                      0);
        for (const auto& entry : fs::directory_iterator(sup)) {
            const fs::path ref = tempDir("demux-ref") / "ref.sup",
                           made = pgs / entry.path().filename();
            ASSERT_EQ(
                runCommand(cli("--size " + std::string(frame) + " --pgs " +
                               shellQuote(ref.string()) + " " + shellQuote(entry.path().string())))
                    .exitCode,
                0);
            EXPECT_EQ(readFile(made), readFile(ref)) << made;  // what the peers take (pgs_test)
        }
    }
}

// One damaged unit costs that unit in every command alike: a summary line, and exit 0.
TEST(SubsCommand, ADamagedUnitIsSkippedAndCountedByEveryCommand) {
    Bytes vob = readFile(sampleDisc().vob);
    for (std::size_t at = 0; at + 32 < vob.size(); ++at) {
        if (vob[at] || vob[at + 1] || vob[at + 2] != 1 || vob[at + 3] != 0xBD) continue;
        const std::size_t sub = at + 9 + vob[at + 8];
        if (vob[sub] != 0x20) continue;
        vob[sub + 3] = vob[sub + 4] = 0xFF;  // the first unit's control sequence: past its end
        break;
    }
    const fs::path dir = tempDir("subs-unit");
    const std::string input = shellQuote((dir / "VTS_01_1.VOB").string());
    writeFile(dir / "VTS_01_1.VOB", vob);
    const std::string demux = shellQuote(KAVREL_CLI_PATH) + " demux -s s0 -o ";
    ASSERT_EQ(runCommand(demux + shellQuote((dir / "sup").string()) + " " + input).exitCode, 0);
    std::vector<std::string> commands = {
        demux + shellQuote((dir / "pgs").string()) + " --subs pgs " + input,
        cli(shellQuote(fs::directory_iterator(dir / "sup")->path().string()))};
    if (haveTool("mkvmerge"))
        commands.push_back(shellQuote(KAVREL_CLI_PATH) + " mkv -s s0 " + input + " -o " +
                           shellQuote((dir / "out.mkv").string()));
    for (const std::string& command : commands) {
        const auto r = runCommand(command);
        EXPECT_EQ(r.exitCode, 0) << command << r.err;
        EXPECT_NE(r.out.find("Subpicture stream 0: 1 damaged unit skipped.\nDone."),
                  std::string::npos)
            << command << r.out;
    }
}

// Pictures are written as every output is: a link at a name is not followed, and a write that
// fails ends the run and leaves no partial picture.
TEST(SubsCommand, PicturesNeitherFollowLinksNorOutliveAFailedWrite) {
    const std::string sup = shellQuote(vobSubpictures().string());
    const fs::path dir = tempDir("subs-png-safe"), pictures = dir / "pictures";
    ASSERT_EQ(runCommand(cli("--png " + shellQuote(pictures.string()) + " " + sup)).exitCode, 0);
    std::set<fs::path> names;
    for (const auto& entry : fs::directory_iterator(pictures)) names.insert(entry.path());
    for (const fs::path& name : names) fs::remove(name);
    const fs::path first = *names.begin();
    writeFile(dir / "target", {'k'});
    fs::create_symlink(dir / "target", first);
    auto r = runCommand(cli("--png " + shellQuote(pictures.string()) + " " + sup));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(dir / "target"), Bytes{'k'});
    fs::remove(first);
    r = runCommand("trap '' XFSZ; ulimit -f 0; " +
                   cli("--png " + shellQuote(pictures.string()) + " " + sup));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.find("Done."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(pictures));
}

}  // namespace
}  // namespace kavrel::test
