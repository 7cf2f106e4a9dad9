#include "mux/mux_plan.h"

#include <algorithm>

#include "engine/names.h"
#include "engine/run_state.h"
#include "formats/json_writer.h"
#include "mux/languages.h"

namespace kavrel::mux {

namespace {

const TitleTrack* titleTrack(const DiscTitle* title, const MuxInput& input) {
    if (!title || input.key < 0) return nullptr;
    for (const TitleTrack& track : title->tracks)
        if (track.kind == slotKind(input.slot) && track.key == input.key) return &track;
    return nullptr;
}

}  // namespace

void describeTrack(const TitleTrack& track, MuxTrack& into) {
    const Language language = matroskaLanguage(track.language);
    into.language = language.code;
    into.name = track.description;
    // A description that is only a language code ("en", "de") names the language instead.
    const Language described = matroskaLanguage(track.description);
    const bool isCode = track.description.size() <= 3 && !described.name.empty();
    if (into.name.empty() || isCode) into.name = isCode ? described.name : language.name;
}

MuxPlan planMux(std::span<const MuxInput> inputs, const DiscTitle* title,
                const std::filesystem::path& output, const std::filesystem::path& chapters) {
    MuxPlan plan;
    plan.output = output;
    plan.chapters = chapters;
    if (title) plan.title = title->name;
    std::vector<MuxInput> sorted(inputs.begin(), inputs.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const MuxInput& a, const MuxInput& b) { return a.slot < b.slot; });
    bool videoDefault = false;
    bool audioDefault = false;
    for (const MuxInput& input : sorted) {
        MuxTrack track;
        track.file = input.file;
        track.kind = slotKind(input.slot);
        track.syncMs = input.syncMs;
        if (const TitleTrack* described = titleTrack(title, input))
            describeTrack(*described, track);
        if (track.kind == StreamKind::Video && !videoDefault)
            track.defaultTrack = videoDefault = true;
        else if (track.kind == StreamKind::Audio && !audioDefault)
            track.defaultTrack = audioDefault = true;
        plan.tracks.push_back(std::move(track));
    }
    return plan;
}

std::vector<std::string> mkvmergeArguments(const MuxPlan& plan) {
    std::vector<std::string> args{"--gui-mode", "--output", plan.output.string()};
    if (!plan.title.empty()) args.insert(args.end(), {"--title", plan.title});
    if (!plan.chapters.empty()) args.insert(args.end(), {"--chapters", plan.chapters.string()});
    for (const MuxTrack& track : plan.tracks) {
        if (!track.language.empty()) args.insert(args.end(), {"--language", "0:" + track.language});
        if (!track.name.empty()) args.insert(args.end(), {"--track-name", "0:" + track.name});
        // Matroska marks a track as default unless told otherwise: every track says which.
        args.insert(args.end(), {"--default-track-flag", track.defaultTrack ? "0:1" : "0:0"});
        if (track.syncMs != 0)
            args.insert(args.end(), {"--sync", "0:" + std::to_string(track.syncMs)});
        args.push_back(track.file.string());
    }
    return args;
}

std::string optionFile(std::span<const std::string> arguments) {
    formats::JsonWriter json;
    json.beginArray();
    for (const std::string& argument : arguments) json.value(argument);
    json.endArray();
    return json.take() + "\n";
}

}  // namespace kavrel::mux
