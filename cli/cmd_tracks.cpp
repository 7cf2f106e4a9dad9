// kavrel-cli tracks: writes the tracks of a DVD-Audio disc one file each.
#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "dvdaudio/audio_disc.h"
#include "dvdaudio/extract_tracks.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int tracksCommand(int argc, char** argv) {
    constexpr std::string_view kCommand = "tracks";
    CommandLine line(
        kCommand, "kavrel-cli tracks [OPTIONS] DISC -o DIR",
        "Write each track of a DVD-Audio disc to a file of its own, named\n"
        "TitleNN-TrackMM.wav (.flac; .mlp for MLP audio), in play order. Titles are\n"
        "numbered across the disc as 'titles' lists them: title set 1's, then title\n"
        "set 2's. A title set whose ATS_0N_0.IFO is missing or damaged has no tracks:\n"
        "its AOB files are demuxed whole, as 'demux --lpcm wav' writes them.");
    line.app.footer(
        "DISC is a folder holding AUDIO_TS, the AUDIO_TS folder or an ISO image of the disc.\n"
        "Exit codes: 0 done, 1 the disc cannot be read or a file cannot be written, 2 the\n"
        "command line is wrong, 130 interrupted (the track being written is removed).");
    std::string disc;
    std::string out;
    std::string format = "wav";
    int title = 0;
    bool quiet = false;
    line.app.add_option("DISC", disc, "the disc's folder, its AUDIO_TS folder or its ISO image")
        ->required();
    line.app.add_option("-o,--out", out, "the folder the track files go to")->required();
    line.app
        .add_option("--title", title,
                    "only the tracks of this title (as 'titles' numbers it, across the disc)")
        ->check(CLI::PositiveNumber.description(""));
    line.app.add_option("--format", format, "the files' format (default wav)")
        ->check(CLI::IsMember({"wav", "flac"}).description(""))
        ->type_name("wav|flac");
    line.app.add_flag("-q,--quiet", quiet, "print nothing but errors");
    if (int code = line.parse(argc, argv); code >= 0) return code;

    const dvdaudio::AudioDisc audio = dvdaudio::readAudioDisc(disc);
    // A disc whose every track table is damaged is still written, its audio objects whole.
    if (!audio.error.empty() && audio.damaged.empty()) return failure(kCommand, audio.error);
    dvdaudio::ExtractOptions options;
    options.folder = out;
    options.format =
        format == "flac" ? dvdaudio::TrackFileFormat::Flac : dvdaudio::TrackFileFormat::Wav;
    if (title > 0) {
        bool found = false;
        for (const dvdaudio::DiscAudioTitle& t : audio.titles) {
            if (t.number != title) continue;
            found = true;
            for (const dvdaudio::DiscTrack& track : t.tracks)
                options.tracks.insert({t.number, track.track.number});
        }
        if (!found) {
            std::string why = "the disc has no title " + std::to_string(title);
            for (const dvdaudio::DamagedTitleSet& set : audio.damaged) why += "; " + set.problem;
            return failure(kCommand, why);
        }
    }
    std::error_code ec;
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) return failure(kCommand, out + " is not a folder");

    RunState state;
    ConsoleHost host(quiet, !quiet);
    InterruptGuard guard(state.stopFlag);
    const RunResult result = dvdaudio::extractTracks(audio, options, state, host);
    return exitCodeFor(result, host, kCommand);
}

}  // namespace kavrel::cli
