#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "engine/output_forms.h"
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
            // One option per kind with forms of its own: --lpcm wav|raw, --subs pgs|sup.
            for (const OutputForm& form : outputForms()) {
                line.app
                    .add_option_function<std::string>(
                        form.option,
                        [&options, &form](const std::string& how) {
                            options.run.*form.chosen = how == form.value;
                        },
                        form.optionHelp)
                    ->check(CLI::IsMember(std::vector<std::string>{form.value, form.plainValue})
                                .description(""))
                    ->type_name(std::string(form.value) + "|" + form.plainValue);
            }
        },
        [&chapters](session::Session& session, const RunOptions& options,
                    const std::array<std::string, kSlotCount>& captions, ConsoleHost& host) {
            return session.demux(options, captions, chapters, host);
        });
}

}  // namespace kavrel::cli
