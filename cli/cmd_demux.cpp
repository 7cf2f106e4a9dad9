#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "playlist/demux_chapters.h"
#include "playlist/disc_layout.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

namespace {

void help() {
    std::printf(
        "usage: kavrel-cli demux [OPTIONS] INPUT\n"
        "Read an EVO, VOB or AOB file, then write each chosen stream to an elementary-stream\n"
        "file named INPUT.LABEL.N.EXT (FEATURE_1_FEATURE_2.VC-1.stream.0.mpv when the feature\n"
        "goes on in FEATURE_2.EVO).\n\n"
        "  -o, --out DIR        write the files into DIR (made when missing; default: the\n"
        "                       input's folder)\n"
        "  -s, --streams LIST   the streams to write: v0 v1 a0..a15 s0..s15, separated by\n"
        "                       commas or blanks (default: every stream found)\n"
        "      --video-ext EXT  extension of video files (default mpv)\n"
        "      --audio-ext EXT  extension of audio files (default mpa)\n"
        "      --sub-ext EXT    extension of subpicture files (default sup)\n"
        "      --chapters       also write the chapters of the input's title, from the disc's\n"
        "                       ADV_OBJ/VPLST000.XPL, as INPUT.chapters.xml beside the files\n"
        "%s",
        kCommonOptionsHelp);
}

// Takes "--chapters" out of the words before "--"; the shared options do not know it.
bool takeChaptersFlag(int argc, char** argv, std::vector<char*>& rest) {
    bool chapters = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--chapters") {
            chapters = true;
            continue;
        }
        optionsEnded = optionsEnded || arg == "--";
        rest.push_back(argv[i]);
    }
    return chapters;
}

}  // namespace

int demuxCommand(int argc, char** argv) {
    std::vector<char*> args;
    const bool chapters = takeChaptersFlag(argc, argv, args);
    return writingCommand(
        static_cast<int>(args.size()), args.data(), "demux", help, "to demux",
        [chapters](const fs::path& input, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, ConsoleHost& host) {
            RunOutcome outcome = demuxRun(input, state, options, captions, host);
            if (chapters && outcome == RunOutcome::Done &&
                !playlist::writeDemuxChapters(input, playlist::playlistBeside(input), options,
                                              host))
                outcome = RunOutcome::Failed;
            return outcome;
        });
}

}  // namespace kavrel::cli
