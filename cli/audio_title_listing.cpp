#include "cli/audio_title_listing.h"

#include <algorithm>

#include "engine/timefmt.h"
#include "formats/json_writer.h"

namespace kavrel::cli {

using dvdaudio::AudioDisc;
using dvdaudio::DiscAudioTitle;
using dvdaudio::DiscTrack;
using formats::JsonWriter;

namespace {

// "16 bit 48000 Hz 2 ch (L R)", and group 2's after " + " when it has one.
std::string formatText(const dvdaudio::TrackFormat& format) {
    const auto names = format.channelNames();
    std::string text;
    for (std::size_t g = 0; g < 2; ++g) {
        if (names[g].empty()) continue;
        const auto channels = std::count(names[g].begin(), names[g].end(), ' ') + 1;
        if (!text.empty()) text += " + ";
        text += std::to_string(format.bits[g]) + " bit " + std::to_string(format.sampleRate[g]) +
                " Hz " + std::to_string(channels) + " ch (" + names[g] + ")";
    }
    return text;
}

void trackJson(JsonWriter& json, const DiscTrack& disc) {
    const dvdaudio::AudioTrack& track = disc.track;
    const auto names = track.format.channelNames();
    json.beginObject();
    json.key("number").value(track.number);
    json.key("seconds").value(track.seconds());
    json.key("bits").value(track.format.bits[0]);
    json.key("rate").value(track.format.sampleRate[0]);
    json.key("channels").value(track.format.channels());
    json.key("channelNames").beginArray().value(names[0]);
    if (!names[1].empty()) json.value(names[1]);
    json.endArray();
    if (!names[1].empty()) {
        json.key("group2Bits").value(track.format.bits[1]);
        json.key("group2Rate").value(track.format.sampleRate[1]);
    }
    json.key("firstSector").value(track.firstSector);
    json.key("lastSector").value(track.lastSector);
    json.endObject();
}

}  // namespace

std::string audioTitleListing(const AudioDisc& disc) {
    std::string out = "DVD-Audio disc: " + disc.source.string() + "\n";
    for (const DiscAudioTitle& title : disc.titles) {
        out += "Title " + std::to_string(title.number) + " (group " + std::to_string(title.group) +
               ", title set " + std::to_string(title.titleSet) + ", title " +
               std::to_string(title.numberInSet) + "): " + formatDuration(title.seconds()) + ", " +
               std::to_string(title.tracks.size()) +
               (title.tracks.size() == 1 ? " track\n" : " tracks\n");
        for (const DiscTrack& entry : title.tracks) {
            const dvdaudio::AudioTrack& track = entry.track;
            out += "  Track " + std::to_string(track.number) + ": " +
                   formatDuration(track.seconds()) + ", " + formatText(track.format) +
                   ", sectors " + std::to_string(track.firstSector) + "-" +
                   std::to_string(track.lastSector) + "\n";
        }
    }
    for (const dvdaudio::DamagedTitleSet& set : disc.damaged)
        out += "Problem: " + set.problem + "; title set " + std::to_string(set.number) +
               " is not listed\n";
    if (!disc.error.empty() && disc.damaged.empty()) out += "Problem: " + disc.error + "\n";
    return out;
}

std::string audioTitleListingJson(const AudioDisc& disc) {
    JsonWriter json;
    json.beginObject();
    json.key("command").value("titles");
    json.key("disc").value(disc.source.string());
    json.key("kind").value("DVD-Audio");
    json.key("outcome").value(disc.titles.empty() ? "failed" : "done");
    json.key("titles").beginArray();
    for (const DiscAudioTitle& title : disc.titles) {
        json.beginObject();
        json.key("number").value(title.number);
        json.key("group").value(title.group);
        json.key("titleSet").value(title.titleSet);
        json.key("titleInSet").value(title.numberInSet);
        json.key("durationSeconds").value(title.seconds());
        json.key("tracks").beginArray();
        for (const DiscTrack& track : title.tracks) trackJson(json, track);
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.key("problems").beginArray();
    for (const dvdaudio::DamagedTitleSet& set : disc.damaged) json.value(set.problem);
    if (!disc.error.empty() && disc.damaged.empty()) json.value(disc.error);
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

}  // namespace kavrel::cli
