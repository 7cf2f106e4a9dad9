#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
            // One option per kind with forms of its own: --lpcm wav|raw, --subs pgs|vobsub|sup;
            // it takes the value of each form of the kind and the kind's own.
            const auto forms = outputForms();
            for (std::size_t first = 0; first < forms.size(); ++first) {
                const std::string_view option = forms[first].option;
                bool listed = false;
                for (std::size_t before = 0; before < first; ++before)
                    listed = listed || option == forms[before].option;
                if (listed) continue;
                std::vector<const OutputForm*> kin;
                for (const OutputForm& form : forms)
                    if (option == form.option) kin.push_back(&form);
                std::vector<std::string> values;
                for (const OutputForm* form : kin) values.emplace_back(form->value);
                values.emplace_back(kin.front()->plainValue);
                std::string typeName;
                for (const std::string& value : values)
                    typeName += (typeName.empty() ? "" : "|") + value;
                line.app
                    .add_option_function<std::string>(
                        std::string(option),
                        [&options, kin](const std::string& how) {
                            for (const OutputForm* form : kin)
                                options.run.*form->chosen = how == form->value;
                        },
                        kin.back()->optionHelp)
                    ->check(CLI::IsMember(values).description(""))
                    ->type_name(typeName);
            }
        },
        [&chapters](session::Session& session, const RunOptions& options,
                    const std::array<std::string, kSlotCount>& captions, ConsoleHost& host) {
            return session.demux(options, captions, chapters, host);
        });
}

}  // namespace kavrel::cli
