#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"

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
        "%s",
        kCommonOptionsHelp);
}

}  // namespace

int demuxCommand(int argc, char** argv) {
    return writingCommand(
        argc, argv, "demux", help, "to demux",
        [](const fs::path& input, RunState& state, const RunOptions& options,
           const std::array<std::string, kSlotCount>& captions,
           ConsoleHost& host) { return demuxRun(input, state, options, captions, host); });
}

}  // namespace kavrel::cli
