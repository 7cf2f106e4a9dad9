#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "playlist/demux_chapters.h"
#include "playlist/disc_layout.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int demuxCommand(int argc, char** argv) {
    const WritingCommand command = {
        "demux", "kavrel-cli demux [OPTIONS] INPUT",
        "Read an EVO, VOB or AOB file, then write each chosen stream to an elementary-stream\n"
        "file named INPUT.LABEL.N.EXT (FEATURE_1_FEATURE_2.VC-1.stream.0.mpv when the feature\n"
        "goes on in FEATURE_2.EVO).",
        "to demux"};
    bool chapters = false;
    return writingCommand(
        argc, argv, command,
        // The options of demux alone, one line each.
        [&chapters](CommandLine& line, CommonOptions& options) {
            addExtensionOptions(line, options.run);
            line.app.add_flag("--chapters", chapters,
                              "also write the chapters of the input's title, from the disc's\n"
                              "ADV_OBJ/VPLST000.XPL, as INPUT.chapters.xml beside the files");
            line.app
                .add_option_function<std::string>(
                    "--lpcm",
                    [&options](const std::string& how) { options.run.lpcmAsWav = how == "wav"; },
                    "write LPCM audio as WAV files (.wav) or as the raw samples (default raw)")
                ->check(CLI::IsMember({"wav", "raw"}).description(""))
                ->type_name("wav|raw");
            line.app
                .add_option_function<std::string>(
                    "--subs",
                    [&options](const std::string& form) { options.run.subsAsPgs = form == "pgs"; },
                    "write subpictures as Blu-ray PGS subtitles or as the disc's own\n"
                    "\"SP\"-framed units (default sup); the file names stay the same")
                ->check(CLI::IsMember({"pgs", "sup"}).description(""))
                ->type_name("pgs|sup");
        },
        [&chapters](session::Session& session, const RunOptions& options,
                    const std::array<std::string, kSlotCount>& captions, ConsoleHost& host) {
            return session.demux(options, captions, chapters, host);
        });
}

}  // namespace kavrel::cli
