#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "rebuild/rebuild.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

namespace {

void help() {
    std::printf(
        "usage: kavrel-cli rebuild [OPTIONS] INPUT\n"
        "Read an EVO file, then write a copy of its program stream that keeps only the chosen\n"
        "streams, renumbered from 0 per kind, as INPUT.rebuilt.EVO\n"
        "(FEATURE_1_FEATURE_2.rebuilt.EVO when the feature goes on in FEATURE_2.EVO).\n\n"
        "  -o, --out DIR        write the file into DIR (made when missing; default: the\n"
        "                       input's folder)\n"
        "  -s, --streams LIST   the streams to keep: v0 v1 a0..a15 s0..s15, separated by\n"
        "                       commas or blanks (default: every stream found)\n"
        "%s",
        kCommonOptionsHelp);
}

}  // namespace

int rebuildCommand(int argc, char** argv) {
    constexpr std::string_view kCommand = "rebuild";
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
    ConsoleHost host(options.quiet || options.json);
    InterruptGuard guard(state);
    RunOutcome outcome = readRun(input, state, options.run, host);
    if (outcome != RunOutcome::Done || interrupted())
        return finishCommand(kCommand, input, options, outcome, state, host);

    // The streams offered are those the read run listed; the rebuild filters on the same lists.
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
    const std::string name = fs::path(input).filename().string();
    if (!missing.empty()) {
        host.log("[re]Error: no stream " + missing + " in " + name + "[/re]");
        return finishCommand(kCommand, input, options, RunOutcome::Failed, state, host);
    }
    if (!any) {
        host.log("[re]Error: no stream to keep in " + name + "[/re]");
        return finishCommand(kCommand, input, options, RunOutcome::Failed, state, host);
    }
    options.run.scan.checked = checked;
    outcome = rebuildRun(input, state, options.run, host);
    return finishCommand(kCommand, input, options, outcome, state, host);
}

}  // namespace kavrel::cli
