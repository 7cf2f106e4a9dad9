// kavrel-cli read, demux and rebuild as a user runs them: exit codes, the log on stdout, one line
// on stderr for a failure, the JSON document, stream lists and Ctrl-C.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <set>

#include "tests/support/ps_builder.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::checkJson;
using test::cli;
using test::runCommand;
using test::shellQuote;

// Runs python3 on the command's stdout; the script sees the document as d.
std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Cli, UsageErrorsExitTwo) {
    const std::string feature = shellQuote(test::sampleDisc().feature1.string());
    for (const std::string& arguments :
         {std::string(), std::string("bogus"), std::string("read"), "read --bogus " + feature,
          "read " + feature + " " + feature, "read -o /tmp " + feature, "demux -s a16 " + feature,
          "demux -s v2 " + feature, "demux -s , " + feature, "demux --streams " + feature,
          "demux --video-ext= " + feature, "read --json=1 " + feature, "demux --out= " + feature,
          "read --no-details=0 " + feature, std::string("xpl -i"), "demux -s v0 a1 " + feature,
          "demux --lpcm mp3 " + feature, std::string("demux --lpcm"),
          "demux --subs png " + feature}) {
        auto result = runCommand(cli(arguments));
        EXPECT_EQ(result.exitCode, 2) << arguments << "\n" << result.err;
        EXPECT_FALSE(result.err.empty()) << arguments;
    }
    // A list of blank-separated words is one word: the second is not taken for the input.
    EXPECT_NE(runCommand(cli("demux -s v0 a1 " + feature)).err.find("-s v0,a1"), std::string::npos);
    auto help = runCommand(cli("demux --help"));
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--streams"), std::string::npos);
    EXPECT_EQ(runCommand(cli("read -h")).exitCode, 0);
}

TEST(Cli, BadInputsFailWithOneLine) {
    fs::path dir = test::tempDir("cli-bad");
    test::writeFile(dir / "EMPTY.EVO", {});
    for (const fs::path& input : {dir / "MISSING.EVO", dir, dir / "EMPTY.EVO"}) {
        for (const char* command : {"read ", "demux "}) {
            auto result = runCommand(cli(command + shellQuote(input.string())));
            EXPECT_EQ(result.exitCode, 1) << command << input;
            EXPECT_EQ(lineCount(result.err), 1u) << result.err;
            EXPECT_NE(result.err.find(input.filename().string()), std::string::npos) << result.err;
        }
    }
    // Noise is not a program stream: nothing to read, nothing to demux.
    std::vector<uint8_t> noise(500'000);
    uint32_t x = 99;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
    test::writeFile(dir / "NOISE.VOB", noise);
    for (const std::string command : {"read", "demux", "rebuild"}) {
        auto result = runCommand(cli(command + " " + shellQuote((dir / "NOISE.VOB").string())));
        EXPECT_EQ(result.exitCode, 1) << command;
        EXPECT_EQ(result.err,
                  "kavrel-cli " + command + ": NOISE.VOB is not an MPEG program stream\n");
    }
}

TEST(Cli, ReadPrintsTheLogAndQuietPrintsNothing) {
    const std::string feature = shellQuote(test::sampleDisc().feature1.string());
    auto result = runCommand(cli("read " + feature));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("Opening file FEATURE_1.EVO\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\nContinue on FEATURE_2.EVO\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nDone.\n"), std::string::npos);
    EXPECT_EQ(result.out.find('['), std::string::npos);  // no markup left
    EXPECT_TRUE(result.err.empty()) << result.err;       // stderr is not a terminal here

    auto quiet = runCommand(cli("read -q --no-continue " + feature));
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_TRUE(quiet.out.empty());
}

TEST(Cli, JsonDocument) {
    if (!test::haveTool("python3")) GTEST_SKIP() << "python3 is missing";
    const auto& disc = test::sampleDisc();
    auto result = checkJson(cli("read --json " + shellQuote(disc.feature1.string())),
                            "assert d['command']=='read' and d['outcome']=='done', d; "
                            "assert len(d['inputs'])==2, d['inputs']; "
                            "kinds={s['kind'] for s in d['streams']}; "
                            "assert kinds=={'video','audio','subpicture'}, kinds; "
                            "assert all(s['firstPts'] is not None for s in d['streams']); "
                            "assert all(s['label'] for s in d['streams']); "
                            "assert d['messages'][0]=='Opening file FEATURE_1.EVO'; "
                            "assert len(d['video'])==2; "
                            "assert d['measuredDuration']>0");
    EXPECT_EQ(result.exitCode, 0) << result.err;

    // Without details the log has no first PTS, but the document has each stream's.
    result = checkJson(cli("read --json --no-details " + shellQuote(disc.vob.string())),
                       "assert d['streams'] and all(s['firstPts'] is not None and "
                       "s['properties'].get('codec') for s in d['streams']), d['streams']; "
                       "assert not any('First PTS' in m for m in d['messages'])");
    EXPECT_EQ(result.exitCode, 0) << result.err;

    // A failure is still one valid document, whatever bytes the file name holds.
    fs::path odd = test::tempDir("cli-json") / "qu\"ote\\ \x01\t\xff\xfe caf\xc3\xa9.EVO";
    result = checkJson(cli("read --json " + shellQuote(odd.string())),
                       "assert d['outcome']=='failed' and d['error'], d; "
                       "assert 'caf\\u00e9' in d['inputs'][0] and '\\ufffd' in d['inputs'][0]; "
                       "print(d['error'])");
    EXPECT_EQ(result.exitCode, 0) << result.err;  // python's exit code: the document parsed
    EXPECT_NE(result.out.find("Cannot open"), std::string::npos) << result.out;
}

TEST(Cli, DemuxChosenStreamsIntoAFolder) {
    const auto& disc = test::sampleDisc();
    fs::path out = test::tempDir("cli-demux") / "made" / "here";
    auto result = runCommand(cli("demux -o " + shellQuote(out.string()) +
                                 " -s 'v00, a00' --audio-ext=.ac3 --video-ext vc1 " +
                                 shellQuote(disc.feature1.string())));
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u) << result.out;
    EXPECT_TRUE(names[0].starts_with("FEATURE_1_FEATURE_2.") && names[0].ends_with(".00.ac3"))
        << names[0];
    EXPECT_TRUE(names[1].ends_with(".stream.0.vc1")) << names[1];
    EXPECT_NE(result.out.find("Creating " + (out / names[0]).string()), std::string::npos);

    // Without -s every stream, under the names the generator expects (their bytes: runs_test).
    fs::path all = test::tempDir("cli-demux-all");
    result = runCommand(
        cli("demux -q -o " + shellQuote(all.string()) + " " + shellQuote(disc.feature1.string())));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.empty());
    std::set<std::string> expected;
    for (const std::string& name : test::filesIn(disc.expectedDir))
        if (name.starts_with("FEATURE_1_FEATURE_2.")) expected.insert(name);
    EXPECT_GT(expected.size(), 3u);
    EXPECT_EQ(test::filesIn(all), expected);

    // Attached short values, a repeated -s and "--" before the input.
    fs::path spelled = test::tempDir("cli-demux-spelled");
    result = runCommand(cli("demux -q -o" + shellQuote(spelled.string()) + " -s s0 -s A0 -- " +
                            shellQuote(disc.feature1.string())));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(spelled), fs::directory_iterator()), 2);

    // A stream the input does not have is refused (an unusable folder: diskfull_test).
    EXPECT_EQ(runCommand(cli("demux -o " + shellQuote(all.string()) + " -s a15 " +
                             shellQuote(disc.feature1.string())))
                  .exitCode,
              1);
}

TEST(Cli, DemuxLpcmAsWavNamesTheFilesWav) {
    const auto& disc = test::sampleDisc();
    for (const std::string& choice : {std::string("wav"), std::string("raw"), std::string()}) {
        SCOPED_TRACE(choice);
        const fs::path out = test::tempDir("cli-lpcm");
        auto result = runCommand(cli("demux -q -s a0,a1 -o " + shellQuote(out.string()) +
                                     (choice.empty() ? "" : " --lpcm=" + choice) + " " +
                                     shellQuote(disc.aob.string())));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        // LPCM as the option says; the MLP of the title stays an elementary stream.
        EXPECT_EQ(fs::exists(out / "ATS_01_1.LPCM.stream.00.wav"), choice == "wav");
        EXPECT_EQ(fs::exists(out / "ATS_01_1.LPCM.stream.00.mpa"), choice != "wav");
        EXPECT_TRUE(fs::exists(out / "ATS_01_1.LPCM.stream.01.mpa"));
    }
}

TEST(Cli, RebuildKeepsTheChosenStreams) {
    const auto& disc = test::sampleDisc();
    const std::string feature = shellQuote(disc.feature1.string());
    fs::path out = test::tempDir("cli-rebuild") / "new";
    auto result =
        runCommand(cli("rebuild -q -o " + shellQuote(out.string()) + " -s v0,a0 " + feature));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    const fs::path rebuilt = out / "FEATURE_1_FEATURE_2.rebuilt.EVO";
    ASSERT_TRUE(fs::exists(rebuilt));
    EXPECT_LT(fs::file_size(rebuilt), fs::file_size(disc.feature1) + fs::file_size(disc.feature2));
    if (test::haveTool("python3")) {
        auto check = checkJson(cli("read --json --no-continue " + shellQuote(rebuilt.string())),
                               "k=sorted(s['kind'] for s in d['streams']); "
                               "assert k==['audio','video'], k");
        EXPECT_EQ(check.exitCode, 0) << check.err << check.out;
    }

    // A stream the input does not have is named (an unusable folder: diskfull_test).
    auto missing = runCommand(cli("rebuild -o " + shellQuote(out.string()) + " -s a15 " + feature));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("no stream a15 in FEATURE_1.EVO"), std::string::npos) << missing.err;
}

// PES packets without pack headers are read, but there is no pack to rebuild.
TEST(Cli, RebuildOfAnInputWithoutPacksFails) {
    test::Bytes packets;
    for (int i = 0; i < 20; ++i) {
        const test::Bytes packet = test::Pes(0xE0)
                                       .pts(3003u * static_cast<unsigned>(i))
                                       .payload(test::Bytes(1500, 0x11))
                                       .packet();
        packets.insert(packets.end(), packet.begin(), packet.end());
    }
    const fs::path dir = test::tempDir("cli-nopack");
    test::writeFile(dir / "PES.EVO", packets);
    auto result = runCommand(cli("rebuild -o " + shellQuote(dir.string()) + " " +
                                 shellQuote((dir / "PES.EVO").string())));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("PES.EVO is not an MPEG program stream"), std::string::npos)
        << result.err;
}

TEST(Cli, CtrlCEndsTheRun) {
    // A feature followed by a long stretch of empty space, read whole, so that the run is still
    // going when the interrupt comes. (What a cancelled demux keeps is tested with the runs.)
    fs::path dir = test::tempDir("cli-int");
    fs::copy_file(test::sampleDisc().feature1, dir / "LONG_1.EVO");
    fs::resize_file(dir / "LONG_1.EVO", uint64_t{8} << 30);
    fs::path log = dir / "log";
    std::string script = cli("read --no-fast-check " + shellQuote((dir / "LONG_1.EVO").string())) +
                         " >" + shellQuote(log.string()) +
                         " 2>/dev/null & pid=$!; "
                         "for i in $(seq 1 400); do grep -q 'found!' " +
                         shellQuote(log.string()) +
                         " && break; sleep 0.05; done; sleep 0.2; "
                         "kill -INT $pid; wait $pid; echo $?";
    auto result = runCommand(script);
    EXPECT_EQ(result.out, "130\n") << result.err;
    // The run still ends in order: the log is closed with its usual last lines.
    std::string text;
    for (uint8_t c : test::readFile(log)) text += static_cast<char>(c);
    EXPECT_NE(text.find("\nCancelled.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nDone.\n"), std::string::npos) << text;
}

TEST(Cli, FailedWritesExitOneWithTheirReason) {
    const std::string feature = shellQuote(test::sampleDisc().feature1.string());
    for (const std::string& arguments :
         {"read --json " + feature,
          "xpl --memo " + shellQuote(test::sampleDisc().playlist.string()),
          std::string("--help")}) {
        auto full = runCommand(cli(arguments) + " >/dev/full");
        EXPECT_EQ(full.exitCode, 1) << arguments;
        EXPECT_NE(full.err.find("cannot write to standard output: No space left on device"),
                  std::string::npos)
            << full.err;
    }
    // A reader that stops early is no failure.
    auto head = runCommand("{ " + cli("read " + feature) + "; echo \"exit $?\" >&2; } | head -1");
    EXPECT_EQ(head.err, "exit 0\n");
    // A file-size limit fails the write as a full disk does; the process is not killed.
    auto limited = runCommand(
        "ulimit -f 64; " +
        cli("demux -q -o " + shellQuote(test::tempDir("fsize").string()) + " " + feature));
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_NE(limited.err.find("File too large"), std::string::npos) << limited.err;
}

TEST(Cli, HostileInputsAndNames) {
    // A pipe is refused at once.
    auto pipe = runCommand("echo x | timeout 20 " + cli("read /dev/stdin"));
    EXPECT_EQ(pipe.exitCode, 1);
    EXPECT_EQ(pipe.err, "kavrel-cli read: /dev/stdin is not a regular file\n");

    // 4 MB of nested tags make more than a million lines, all at the deepest indentation.
    const fs::path playlist = test::tempDir("cli-hostile") / "VPLST000.XPL";
    std::string tags;
    for (int i = 0; i < 4 * 1024 * 1024 / 3; ++i) tags += "<a>";
    test::writeFile(playlist, std::vector<uint8_t>(tags.begin(), tags.end()));
    for (const char* options : {"xpl --memo ", "xpl --json "}) {
        auto result = runCommand(cli(options + shellQuote(playlist.string())) + " | tail -c 99");
        EXPECT_NE(result.out.find("<a>"), std::string::npos) << options << result.err;
    }
    rusage children{};  // the largest child of this process so far
    getrusage(RUSAGE_CHILDREN, &children);
    if (test::kPeakMemoryIsMeasurable) {
        EXPECT_LT(children.ru_maxrss, 64 * 1024) << "KiB";
    }

    // A folder name that looks like markup is reported as it is.
    if (!test::haveTool("python3")) return;
    const fs::path out = test::tempDir("cli-names") / "mk" / "[re]o[/re]";
    auto json = checkJson(cli("demux --json -s a0 -o " + shellQuote(out.string()) + " " +
                              shellQuote(test::sampleDisc().feature1.string())),
                          "p=d['outputs'][0]['path']; assert '/mk/[re]o[/re]/' in p, p; "
                          "assert 'Creating '+p in d['messages'], d['messages']");
    EXPECT_EQ(json.exitCode, 0) << json.err << json.out;
}

}  // namespace
}  // namespace kavrel
