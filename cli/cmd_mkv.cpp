#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "mux/mkv_run.h"
#include "mux/mkvmerge.h"
#include "playlist/disc_layout.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int mkvCommand(int argc, char** argv) {
    constexpr std::string_view command = "mkv";
    CommonOptions options;
    std::string output;
    bool keep = false;
    CommandLine line(
        command, "kavrel-cli mkv [OPTIONS] INPUT -o OUT.mkv",
        "Read an EVO, VOB or AOB file and make a Matroska file of the chosen streams with\n"
        "mkvmerge: on an HD DVD disc the title's further clips follow the input, and the\n"
        "tracks get their languages and names, the file its chapters and title, from\n"
        "ADV_OBJ/VPLST000.XPL. LPCM goes in as WAV, subpictures as PGS (a DVD-Video title's\n"
        "as VobSub in the disc's colours, unless --subs pgs); each track starts where it\n"
        "starts on the disc.");
    addCommonOptions(line, options);
    line.app.remove_option(line.app.get_option("--json"));  // the file is the result
    line.app.add_option("-o,--out", output, "the Matroska file to write (required)")
        ->type_name("FILE");
    addStreamsOption(line, options);
    std::string subs;
    line.app
        .add_option("--subs", subs,
                    "a DVD-Video title's subpictures as vobsub (the disc's own bitmaps, the\n"
                    "default) or pgs (drawn in the disc's colours)")
        ->check(CLI::IsMember({"pgs", "vobsub"}))
        ->type_name("FORM");
    line.app.add_flag("--keep", keep,
                      "keep the intermediate files (the folder beside OUT.mkv that the\n"
                      "log names)");
    if (int code = line.parse(argc, argv); code >= 0) return code;
    std::string input;
    if (int code = singleInput(options, command, input); code >= 0) return code;
    if (output.empty()) return usageError(command, "no output file given (-o OUT.mkv)");
    options.run.subsAsPgs = subs == "pgs";
    // Nothing is read or written when the muxer is missing.
    if (mux::findProgram(mux::kMkvmerge).empty()) return failure(command, mux::mkvmergeMissing());

    session::Session session;
    if (int code = openInput(session, input, options, command); code >= 0) return code;
    ConsoleHost host(options.quiet, !options.quiet);
    InterruptGuard guard(session.stopRequest());
    RunResult refused;
    refused.outcome = RunOutcome::Failed;
    if (!session.takeFeature(options.run.cont, host, refused.error))
        return exitCodeFor(refused, host, command);
    const RunResult read = session.read(options.run, host);
    if (read.outcome != RunOutcome::Done || interrupted()) return exitCodeFor(read, host, command);

    const auto captions = session.offeredCaptions();
    const WritingCommand writing{command, {}, {}, "to mux"};
    const auto checked =
        chosenStreams(options, captions, session.input(), writing, read, host, refused.error);
    if (!checked) return exitCodeFor(refused, host, command);
    options.run.scan.checked = *checked;
    return exitCodeFor(session.mkv(output, keep, options.run, captions, host), host, command);
}

}  // namespace kavrel::cli
