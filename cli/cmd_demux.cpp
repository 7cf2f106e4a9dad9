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
    constexpr std::string_view kCommand = "demux";
    CommonOptions options;
    if (int code = parseCommonOptions(argc, argv, options, kCommand); code >= 0) return code;
    if (options.help) {
        help();
        return kExitDone;
    }
    std::string input;
    if (int code = singleInput(options, kCommand, input); code >= 0) return code;
    if (options.outGiven) {
        std::error_code ec;
        fs::create_directories(options.run.workdir, ec);
        if (ec || !fs::is_directory(options.run.workdir))
            return failure(kCommand, "Cannot use the output folder " +
                                         options.run.workdir.string() + ": " +
                                         (ec ? ec.message() : "it is not a folder"));
    }

    RunState state;
    ConsoleHost host(options.quiet || options.json, !options.quiet);
    InterruptGuard guard(state);
    RunOutcome outcome = readRun(input, state, options.run, host);
    if (outcome != RunOutcome::Done || interrupted())
        return finishCommand(kCommand, input, options, outcome, state, host);

    const auto captions = offeredCaptions(state);
    std::array<bool, kSlotCount> checked{};
    std::string missing;
    bool any = false;
    for (std::size_t slot = 0; slot < checked.size(); ++slot) {
        const bool found = !captions[slot].empty();
        const bool wanted = options.streams ? (*options.streams)[slot] : true;
        if (wanted && !found && options.streams)
            missing += (missing.empty() ? "" : " ") + slotName(static_cast<int>(slot));
        checked[slot] = wanted && found;
        any = any || checked[slot];
    }
    if (!missing.empty()) {
        host.log("[re]Error: no stream " + missing + " in " + fs::path(input).filename().string() +
                 "[/re]");
        return finishCommand(kCommand, input, options, RunOutcome::Failed, state, host);
    }
    if (!any) {
        host.log("[re]Error: no stream to demux in " + fs::path(input).filename().string() +
                 "[/re]");
        return finishCommand(kCommand, input, options, RunOutcome::Failed, state, host);
    }
    options.run.scan.checked = checked;
    outcome = demuxRun(input, state, options.run, captions, host);
    return finishCommand(kCommand, input, options, outcome, state, host);
}

}  // namespace kavrel::cli
