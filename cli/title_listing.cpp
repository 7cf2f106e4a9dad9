#include "cli/title_listing.h"

#include "engine/timefmt.h"
#include "formats/json_writer.h"

namespace kavrel::cli {

using formats::JsonWriter;

namespace {

using playlist::Chapter;
using playlist::Clip;
using playlist::Title;
using playlist::TitleSet;
using playlist::Track;
using playlist::TrackKind;

const char* kindName(TrackKind kind) {
    switch (kind) {
        case TrackKind::Video:
            return "Video";
        case TrackKind::Audio:
            return "Audio";
        case TrackKind::Subtitle:
            return "Subtitle";
    }
    return "";
}

// A title time as written, with its clock time when it could be read.
std::string timeText(const TitleSet& set, const std::string& text,
                     const std::optional<int64_t>& frames) {
    if (!frames) return text.empty() ? "?" : text + " (?)";
    return text + " (" + formatDuration(set.seconds(*frames)) + ")";
}

std::string clipLine(std::size_t n, const Clip& clip) {
    std::string line = "  Clip " + std::to_string(n) + ": ";
    if (clip.file.empty()) {
        line += clip.src + " (no file)";
    } else {
        line += clip.file.string();
        line += clip.exists ? ", " + std::to_string(clip.size) + " bytes" : " (missing)";
    }
    return line + ", " + clip.beginText + " to " + clip.endText;
}

std::string trackLine(const Track& track) {
    std::string line = std::string("  ") + kindName(track.kind) + " " +
                       std::to_string(track.streamNumber) + ": " +
                       (track.codec.empty() ? "?" : track.codec);
    if (!track.channels.empty()) line += " " + track.channels + "ch";
    if (!track.language.empty()) line += ", " + track.language;
    if (!track.description.empty()) line += ", \"" + track.description + "\"";
    return line;
}

void titleBlock(std::string& out, const TitleSet& set, const Title& title) {
    out += "Title " + std::to_string(title.number) + ": " + title.name + ", " +
           timeText(set, title.durationText, title.duration);
    if (title.mainFeature) out += ", main feature";
    out += "\n";
    for (std::size_t i = 0; i < title.clips.size(); ++i)
        out += clipLine(i + 1, title.clips[i]) + "\n";
    for (const Track& track : title.tracks) out += trackLine(track) + "\n";
    for (std::size_t i = 0; i < title.chapters.size(); ++i) {
        const Chapter& chapter = title.chapters[i];
        out += "  Chapter " + std::to_string(i + 1) + ": " +
               timeText(set, chapter.beginText, chapter.begin) + " " + chapter.name + "\n";
    }
}

void optionalSeconds(JsonWriter& json, const TitleSet& set, const std::optional<int64_t>& frames) {
    if (frames)
        json.value(set.seconds(*frames));
    else
        json.null();
}

void clipJson(JsonWriter& json, const TitleSet& set, const Clip& clip) {
    json.beginObject();
    json.key("src").value(clip.src);
    json.key("path");
    if (clip.file.empty())
        json.null();
    else
        json.value(clip.file.string());
    json.key("exists").value(clip.exists);
    json.key("size").value(static_cast<int64_t>(clip.size));
    json.key("titleTimeBegin").value(clip.beginText);
    json.key("beginSeconds");
    optionalSeconds(json, set, clip.begin);
    json.key("titleTimeEnd").value(clip.endText);
    json.key("endSeconds");
    optionalSeconds(json, set, clip.end);
    json.endObject();
}

void trackJson(JsonWriter& json, const Track& track) {
    static constexpr std::string_view kKinds[] = {"video", "audio", "subtitle"};
    json.beginObject();
    json.key("kind").value(kKinds[static_cast<int>(track.kind)]);
    json.key("track").value(track.track);
    json.key("streamNumber").value(track.streamNumber);
    json.key("mediaAttr").value(track.mediaAttr);
    json.key("codec").value(track.codec);
    json.key("channels").value(track.channels);
    json.key("language").value(track.language);
    json.key("description").value(track.description);
    json.endObject();
}

void titleJson(JsonWriter& json, const TitleSet& set, const Title& title) {
    json.beginObject();
    json.key("number").value(title.number);
    json.key("id").value(title.id);
    json.key("name").value(title.name);
    json.key("titleDuration").value(title.durationText);
    json.key("durationSeconds");
    optionalSeconds(json, set, title.duration);
    json.key("mainFeature").value(title.mainFeature);
    json.key("clips").beginArray();
    for (const Clip& clip : title.clips) clipJson(json, set, clip);
    json.endArray();
    json.key("tracks").beginArray();
    for (const Track& track : title.tracks) trackJson(json, track);
    json.endArray();
    json.key("chapters").beginArray();
    for (const Chapter& chapter : title.chapters) {
        json.beginObject().key("name").value(chapter.name);
        json.key("titleTimeBegin").value(chapter.beginText).key("seconds");
        optionalSeconds(json, set, chapter.begin);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

}  // namespace

std::string titleListing(const TitleSet& set) {
    std::string out = "Playlist: " + set.playlistTitle + "\n";
    out += "Time base: " + std::to_string(set.framesPerSecond) + "fps\n";
    for (const Title& title : set.titles) titleBlock(out, set, title);
    for (const std::string& problem : set.problems) out += "Problem: " + problem + "\n";
    return out;
}

std::string titleListingJson(const TitleSet& set, const std::filesystem::path& playlist) {
    JsonWriter json;
    json.beginObject();
    json.key("command").value("titles");
    json.key("playlist").value(playlist.string());
    json.key("outcome").value(set.titles.empty() ? "failed" : "done");
    json.key("playlistTitle").value(set.playlistTitle);
    json.key("timeBase").value(set.timeBase);
    json.key("framesPerSecond").value(set.framesPerSecond);
    json.key("titles").beginArray();
    for (const Title& title : set.titles) titleJson(json, set, title);
    json.endArray();
    json.key("problems").beginArray();
    for (const std::string& problem : set.problems) json.value(problem);
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

}  // namespace kavrel::cli
