#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/run_report.h"
#include "cli/scan_command.h"

namespace kavrel::cli {

namespace {

void help() {
    std::printf(
        "usage: kavrel-cli read [OPTIONS] INPUT\n"
        "List the video, audio and subpicture streams of an EVO, VOB or AOB file, with their\n"
        "header details, and count the video frames. A feature split over two files\n"
        "(FEATURE_1.EVO, FEATURE_2.EVO) is read on into the second.\n\n"
        "%s",
        kCommonOptionsHelp);
}

}  // namespace

int readCommand(int argc, char** argv) {
    constexpr std::string_view kCommand = "read";
    CommonOptions options;
    if (int code = parseCommonOptions(argc, argv, options, kCommand); code >= 0) return code;
    if (options.help) {
        help();
        return kExitDone;
    }
    if (options.outGiven || options.streams)
        return usageError(kCommand, "-o and -s are options of 'demux'");
    std::string input;
    if (int code = singleInput(options, kCommand, input); code >= 0) return code;

    RunState state;
    ConsoleHost host(options.quiet || options.json, !options.quiet);
    InterruptGuard guard(state);
    RunOutcome outcome = readRun(input, state, options.run, host);
    return finishCommand(kCommand, input, options, outcome, state, host);
}

}  // namespace kavrel::cli
