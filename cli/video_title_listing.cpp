#include "cli/video_title_listing.h"

#include <cstdio>

#include "engine/timefmt.h"
#include "formats/json_writer.h"

namespace kavrel::cli {

using dvdvideo::VideoDisc;
using dvdvideo::VideoTitle;
using formats::JsonWriter;

namespace {

const char* kindName(StreamKind kind) {
    switch (kind) {
        case StreamKind::Video:
            return "Video";
        case StreamKind::Audio:
            return "Audio";
        case StreamKind::Subpicture:
            return "Subtitle";
    }
    return "";
}

std::string hexColour(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06x", rgb & 0xFFFFFF);
    return text;
}

// Tracks are numbered from 1 within their kind, as a player's menu counts them.
template <typename Each>
void forEachTrack(const DiscTitle& title, Each each) {
    int numbers[3] = {};
    for (const TitleTrack& track : title.tracks)
        each(track, ++numbers[static_cast<int>(track.kind)]);
}

std::string videoLine(const VideoTitle& t) {
    return "  Video: " + std::to_string(t.title.width) + "x" + std::to_string(t.title.height) +
           ", " + t.standard + " " + t.aspect + ", title set " + std::to_string(t.titleSet) + ", " +
           std::to_string(t.title.angles) + (t.title.angles == 1 ? " angle" : " angles");
}

void titleBlock(std::string& out, const VideoTitle& t) {
    const DiscTitle& title = t.title;
    out += "Title " + std::to_string(title.number) + ": ";
    if (!title.name.empty()) out += title.name + ", ";
    // A title set's VOB files read without their IFO have no tables to describe them.
    const bool fromTables = t.titleInSet > 0;
    out += fromTables ? formatDuration(title.durationSeconds)
                      : std::to_string(title.totalBytes()) + " bytes of VOB files";
    if (title.mainFeature) out += ", main feature";
    out += "\n";
    if (fromTables) out += videoLine(t) + "\n";
    forEachTrack(title, [&](const TitleTrack& track, int n) {
        out +=
            std::string("  ") + kindName(track.kind) + " " + std::to_string(n) + ": " + track.codec;
        if (track.channels > 0) out += " " + std::to_string(track.channels) + "ch";
        if (!track.language.empty()) out += ", " + track.language;
        out += "\n";
    });
    if (title.palette) {
        out += "  Palette:";
        for (uint32_t colour : *title.palette) out += " " + hexColour(colour);
        out += "\n";
    }
    for (std::size_t i = 0; i < title.chapters.size(); ++i)
        out += "  Chapter " + std::to_string(i + 1) + ": " +
               formatDuration(title.chapters[i].seconds) + "\n";
}

void titleJson(JsonWriter& json, const VideoTitle& t) {
    static constexpr std::string_view kKinds[] = {"video", "audio", "subtitle"};
    const DiscTitle& title = t.title;
    json.beginObject();
    json.key("number").value(title.number);
    json.key("name").value(title.name);
    json.key("durationSeconds").value(title.durationSeconds);
    json.key("mainFeature").value(title.mainFeature);
    json.key("titleSet").value(t.titleSet);
    json.key("titleInSet").value(t.titleInSet);
    json.key("angles").value(title.angles);
    json.key("video").beginObject();
    json.key("standard").value(t.standard).key("aspect").value(t.aspect);
    json.key("width").value(title.width).key("height").value(title.height);
    json.key("framesPerSecond").value(t.framesPerSecond);
    json.endObject();
    json.key("palette").beginArray();
    if (title.palette)
        for (uint32_t colour : *title.palette) json.value(hexColour(colour));
    json.endArray();
    json.key("tracks").beginArray();
    forEachTrack(title, [&](const TitleTrack& track, int n) {
        json.beginObject();
        json.key("kind").value(kKinds[static_cast<int>(track.kind)]);
        json.key("streamNumber").value(n);
        json.key("streamId").value(static_cast<int64_t>(track.key & 0xFF));
        json.key("codec").value(track.codec);
        json.key("channels").value(track.channels > 0 ? std::to_string(track.channels) : "");
        json.key("language").value(track.language);
        json.key("description").value(track.description);
        json.endObject();
    });
    json.endArray();
    json.key("chapters").beginArray();
    for (const TitleChapter& chapter : title.chapters)
        json.beginObject()
            .key("name")
            .value(chapter.name)
            .key("seconds")
            .value(chapter.seconds)
            .endObject();
    json.endArray();
    json.endObject();
}

}  // namespace

std::string videoTitleListing(const VideoDisc& disc, const std::filesystem::path& path) {
    std::string out = "DVD-Video: " + path.string() + "\n";
    for (const VideoTitle& title : disc.titles) titleBlock(out, title);
    for (const std::string& problem : disc.problems) out += "Problem: " + problem + "\n";
    return out;
}

std::string videoTitleListingJson(const VideoDisc& disc, const std::filesystem::path& path) {
    JsonWriter json;
    json.beginObject();
    json.key("command").value("titles");
    json.key("disc").value(path.string());
    json.key("format").value("DVD-Video");
    json.key("outcome").value(disc.titles.empty() ? "failed" : "done");
    json.key("titles").beginArray();
    for (const VideoTitle& title : disc.titles) titleJson(json, title);
    json.endArray();
    json.key("problems").beginArray();
    for (const std::string& problem : disc.problems) json.value(problem);
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

}  // namespace kavrel::cli
