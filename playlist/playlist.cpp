#include "playlist/playlist.h"

#include <array>

#include "engine/names.h"
#include "playlist/memo_scanner.h"
#include "playlist/tag_text.h"
#include "playlist/title_lookup.h"
#include "playlist/titles.h"

namespace kavrel::playlist {

namespace {

constexpr int kAttributeItems = 8;  // "index" and "mediaAttr" run 1..8
constexpr int kTrackNumbers = 16;   // "track" and "streamNumber" run 1..16

// The media attribute list of the playlist, by item index - 1.
struct MediaAttributes {
    std::array<std::string, kAttributeItems> video;  // codec
    std::array<std::string, kAttributeItems> audio;  // codec, "." channels "ch"
    std::array<std::string, kAttributeItems> sub;    // codec
    std::string playlistTitle;
};

// Tracks already listed, by number - 1; the reader's own table.
struct ListedMarks {
    std::array<bool, kTrackNumbers> video{};
    std::array<bool, kTrackNumbers> audio{};
    std::array<bool, kTrackNumbers> sub{};
};

std::string textOf(std::string_view tag, std::string_view name) {
    return attributeText(tag, name).value_or(std::string());
}

// The slot of an attribute-list table for item number n, or nullptr outside 1..8.
std::string* item(std::array<std::string, kAttributeItems>& table, int n) {
    return n >= 1 && n <= kAttributeItems ? &table[static_cast<std::size_t>(n - 1)] : nullptr;
}

const std::string& codecOf(const std::array<std::string, kAttributeItems>& table, int n) {
    static const std::string kNone;
    return n >= 1 && n <= kAttributeItems ? table[static_cast<std::size_t>(n - 1)] : kNone;
}

// Takes the playlist title and the media attribute items from one tag line.
void takeAttributes(std::string_view tag, MediaAttributes& media) {
    TagName name = tagName(tag);
    if (name.closing || name.name.empty()) return;
    if (equalsIgnoreCase(name.name, "Playlist")) {
        if (auto title = attributeText(tag, "displayName")) media.playlistTitle = *title;
    } else if (equalsIgnoreCase(name.name, "VideoAttributeItem")) {
        if (std::string* codec = item(media.video, attributeNumber(tag, "index")))
            *codec = textOf(tag, "codec");
    } else if (equalsIgnoreCase(name.name, "AudioAttributeItem")) {
        if (std::string* codec = item(media.audio, attributeNumber(tag, "index"))) {
            *codec = textOf(tag, "codec");
            std::string channels = textOf(tag, "channels");
            if (!channels.empty()) *codec += "." + channels + "ch";
        }
    } else if (equalsIgnoreCase(name.name, "SubpictureAttributeItem")) {
        if (std::string* codec = item(media.sub, attributeNumber(tag, "index")))
            *codec = textOf(tag, "codec");
    }
}

// Marks track n listed; false when n is outside 1..16 or it was listed before.
bool markListed(std::array<bool, kTrackNumbers>& marks, int n) {
    if (n < 1 || n > kTrackNumbers) return false;
    bool& listed = marks[static_cast<std::size_t>(n - 1)];
    if (listed) return false;
    listed = true;
    return true;
}

class TitleReader {
  public:
    TitleReader(const MediaAttributes& media, Playlist& playlist)
        : media_(media), playlist_(playlist) {
        for (const char* top : {"Info", "Video", "Audio", "Subtitle", "Chapter"})
            playlist_.tree.push_back(TreeNode{top, {}});
        if (!media.playlistTitle.empty()) node(kInfo).push_back("Title: " + media.playlistTitle);
    }

    void take(std::string_view line) {
        TagName tag = tagName(line);
        if (tag.closing) return;
        if (equalsIgnoreCase(tag.name, "Title")) {
            node(kInfo).push_back("Name: " + textOf(line, "displayName"));
            node(kInfo).push_back("Duration: " + textOf(line, "titleDuration"));
        } else if (equalsIgnoreCase(tag.name, "Video")) {
            int track = attributeNumber(line, "track");
            if (!markListed(marks_.video, track)) return;
            std::string label = codecOf(media_.video, attributeNumber(line, "mediaAttr")) +
                                ".stream." + std::to_string(track - 1);
            list(kVideo, label, track == 1 ? std::optional<int>(videoSlot(0)) : std::nullopt,
                 trackKey(TrackKind::Video,
                          codecOf(media_.video, attributeNumber(line, "mediaAttr")), track));
        } else if (equalsIgnoreCase(tag.name, "Audio")) {
            takeStream(line, marks_.audio, media_.audio, kAudio, audioSlot(0), TrackKind::Audio);
        } else if (equalsIgnoreCase(tag.name, "Subtitle")) {
            takeStream(line, marks_.sub, media_.sub, kSubtitle, subSlot(0), TrackKind::Subtitle);
        } else if (equalsIgnoreCase(tag.name, "Chapter")) {
            node(kChapter).push_back(textOf(line, "titleTimeBegin") + ": " +
                                     textOf(line, "displayName"));
        }
    }

  private:
    enum Top { kInfo, kVideo, kAudio, kSubtitle, kChapter };

    std::vector<std::string>& node(Top top) { return playlist_.tree[top].children; }

    // An audio or subtitle track: codec.stream.NN.description, offered in box n - 1.
    void takeStream(std::string_view line, std::array<bool, kTrackNumbers>& marks,
                    const std::array<std::string, kAttributeItems>& codecs, Top top, int firstSlot,
                    TrackKind kind) {
        int n = attributeNumber(line, "streamNumber");
        if (!markListed(marks, n)) return;
        const std::string& codec = codecOf(codecs, attributeNumber(line, "mediaAttr"));
        std::string label = codec + ".stream." + twoDigits(n - 1);
        std::string description = textOf(line, "description");
        if (!description.empty()) label += "." + description;
        // The audio item's name carries its channels ("DD+.6ch"): the codec is before them.
        list(top, label, firstSlot + n - 1, trackKey(kind, codec.substr(0, codec.find('.')), n));
    }

    void list(Top top, const std::string& label, std::optional<int> slot, int32_t key) {
        node(top).push_back(label);
        playlist_.messages.push_back(label + " found!");
        if (slot) playlist_.offers.push_back(TrackOffer{*slot, label, key});
    }

    const MediaAttributes& media_;
    Playlist& playlist_;
    ListedMarks marks_;
};

}  // namespace

Playlist scanPlaylist(std::string_view bytes, std::string_view baseName) {
    MemoScanner scanner;
    scanner.feed(bytes);
    scanner.finish();

    Playlist playlist;
    playlist.endedInsideTag = scanner.endedInsideTag();
    playlist.memo = scanner.takeLines();

    MediaAttributes media;
    std::size_t tags = playlist.memo.size() - (playlist.endedInsideTag ? 1 : 0);
    for (std::size_t i = 0; i < tags; ++i) takeAttributes(playlist.memo.text(i), media);
    playlist.playlistTitle = media.playlistTitle;

    const std::size_t scannedLines = playlist.memo.size();
    std::optional<LineRange> title = titleOf(playlist.memo, baseName);
    if (!title) return playlist;
    playlist.memo.keep(title->first, title->last);
    playlist.titleFound = true;
    TitleReader reader(media, playlist);
    // An unfinished last tag is shown, but its attributes may be cut: it offers nothing.
    bool partialLast = playlist.endedInsideTag && title->last + 1 == scannedLines;
    std::size_t complete = playlist.memo.size() - (partialLast ? 1 : 0);
    for (std::size_t i = 0; i < complete; ++i) reader.take(playlist.memo.text(i));
    return playlist;
}

}  // namespace kavrel::playlist
