#include "playlist/titles.h"

#include <map>
#include <utility>

#include "playlist/disc_layout.h"
#include "playlist/memo_scanner.h"
#include "playlist/tag_text.h"
#include "playlist/title_lookup.h"
#include "playlist/title_time.h"

namespace kavrel::playlist {

namespace fs = std::filesystem;

namespace {

constexpr int kTrackNumbers = 16;  // "track" and "streamNumber" run 1..16
// A hostile playlist could hold a fault on every line; the list stops here.
constexpr std::size_t kMaxProblems = 50;
// Elements nested deeper are not followed; a disc's playlist nests about six deep.
constexpr std::size_t kMaxDepth = 256;

struct AttributeItem {
    std::string codec;
    std::string channels;
};

// The MediaAttributeList: each coding format once, by kind and index.
using AttributeItems = std::map<std::pair<TrackKind, int>, AttributeItem>;

std::string textOf(std::string_view tag, std::string_view name) {
    return attributeText(tag, name).value_or(std::string());
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

const char* kindName(TrackKind kind) {
    switch (kind) {
        case TrackKind::Video:
            return "video";
        case TrackKind::Audio:
            return "audio";
        case TrackKind::Subtitle:
            return "subtitle";
    }
    return "";
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The language of a track: langcode "en:00" gives "en"; without one, a description that is a
// two- or three-letter code is taken as the language.
std::string trackLanguage(std::string_view langcode, std::string_view description) {
    std::string_view code = langcode.substr(0, langcode.find(':'));
    while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
    while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
    if (!code.empty()) return std::string(code);
    bool isCode = description.size() >= 2 && description.size() <= 3;
    for (char c : description) isCode = isCode && isAsciiLetter(c);
    return isCode ? std::string(description) : std::string();
}

class TitleSetReader {
  public:
    explicit TitleSetReader(TitleSet& set) : set_(set) {}

    void take(std::size_t lineIndex, std::string_view line) {
        TagName tag = tagName(line);
        if (tag.name.empty()) return;  // a comment, declaration or text
        if (tag.closing) {
            close(tag.name);
            return;
        }
        open(tag.name, line, lineIndex);
        if (isSelfClosing(line)) {
            if (is(tag.name, "Title")) endTitle();
        } else if (open_.size() < kMaxDepth) {
            open_.push_back(std::string(tag.name));
        }
    }

    // After the last line: titles left open end here; times, codecs and files are resolved.
    void finish(bool endedInsideTag, const fs::path& discFolder) {
        if (endedInsideTag) {
            problem("The playlist ends inside a tag: the file is cut short.");
        } else if (title_) {
            problem("Title " + std::to_string(title_->number) +
                    " has no closing tag: the playlist is cut short.");
        }
        endTitle();
        resolveTimeBase();
        for (Title& title : set_.titles) resolve(title, discFolder);
        markMainFeature();
        if (dropped_ > 0)
            set_.problems.push_back("… and " + std::to_string(dropped_) + " more problems.");
    }

    const std::vector<std::size_t>& titleLines() const { return titleLines_; }

  private:
    static bool is(std::string_view name, std::string_view wanted) {
        return equalsIgnoreCase(name, wanted);
    }

    void problem(std::string line) {
        if (set_.problems.size() < kMaxProblems)
            set_.problems.push_back(std::move(line));
        else
            ++dropped_;
    }

    void open(std::string_view name, std::string_view line, std::size_t lineIndex) {
        if (is(name, "Playlist")) {
            if (auto title = attributeText(line, "displayName")) set_.playlistTitle = *title;
        } else if (is(name, "TitleSet")) {
            set_.timeBase = textOf(line, "timeBase");
        } else if (is(name, "VideoAttributeItem")) {
            takeItem(line, TrackKind::Video);
        } else if (is(name, "AudioAttributeItem")) {
            takeItem(line, TrackKind::Audio);
        } else if (is(name, "SubpictureAttributeItem")) {
            takeItem(line, TrackKind::Subtitle);
        } else if (is(name, "Title")) {
            startTitle(line, lineIndex);
        } else if (!title_) {
            return;  // clips, tracks and chapters belong to a title
        } else if (is(name, "PrimaryAudioVideoClip")) {
            Clip& clip = title_->clips.emplace_back();
            clip.src = textOf(line, "src");
            clip.beginText = textOf(line, "titleTimeBegin");
            clip.endText = textOf(line, "titleTimeEnd");
        } else if (is(name, "Video")) {
            takeTrack(line, TrackKind::Video);
        } else if (is(name, "Audio")) {
            takeTrack(line, TrackKind::Audio);
        } else if (is(name, "Subtitle")) {
            takeTrack(line, TrackKind::Subtitle);
        } else if (is(name, "Chapter")) {
            Chapter& chapter = title_->chapters.emplace_back();
            chapter.name = textOf(line, "displayName");
            chapter.beginText = textOf(line, "titleTimeBegin");
        }
    }

    // A closing tag ends the innermost open element of its name and whatever was left open
    // inside it.
    void close(std::string_view name) {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (!is(open_[i], name)) continue;
            open_.resize(i);
            if (is(name, "Title")) endTitle();
            return;
        }
        problem("The closing tag </" + std::string(name) + "> closes no open element.");
    }

    void takeItem(std::string_view line, TrackKind kind) {
        items_[{kind, attributeNumber(line, "index")}] =
            AttributeItem{textOf(line, "codec"), textOf(line, "channels")};
    }

    void startTitle(std::string_view line, std::size_t lineIndex) {
        if (title_) {
            problem("Title " + std::to_string(title_->number) +
                    " has no closing tag before the next title.");
            endTitle();
        }
        title_ = Title{};
        title_->number = attributeText(line, "titleNumber")
                             ? attributeNumber(line, "titleNumber")
                             : static_cast<int>(set_.titles.size()) + 1;
        title_->id = textOf(line, "id");
        title_->name = textOf(line, "displayName");
        title_->durationText = textOf(line, "titleDuration");
        titleLine_ = lineIndex;
    }

    void endTitle() {
        if (!title_) return;
        set_.titles.push_back(std::move(*title_));
        titleLines_.push_back(titleLine_);
        title_.reset();
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (is(open_[i], "Title")) {
                open_.resize(i);
                break;
            }
        }
    }

    // A track the title names; each stream once, the first naming counts.
    void takeTrack(std::string_view line, TrackKind kind) {
        Track track;
        track.kind = kind;
        track.track = attributeNumber(line, "track");
        track.streamNumber = attributeNumber(line, "streamNumber");
        track.mediaAttr = attributeNumber(line, "mediaAttr");
        track.description = textOf(line, "description");
        if (kind == TrackKind::Video) track.streamNumber = track.track;
        track.language = trackLanguage(textOf(line, "langcode"), track.description);
        if (track.streamNumber < 1 || track.streamNumber > kTrackNumbers) {
            problem(titleText(*title_) + ": " + kindName(kind) + " stream " +
                    std::to_string(track.streamNumber) + " is outside 1-16.");
            return;
        }
        for (const Track& listed : title_->tracks)
            if (listed.kind == kind && listed.streamNumber == track.streamNumber) return;
        title_->tracks.push_back(std::move(track));
    }

    static std::string titleText(const Title& title) {
        return "Title " + std::to_string(title.number);
    }

    void resolveTimeBase() {
        if (set_.timeBase.empty()) return;
        if (std::optional<int> rate = parseTimeBase(set_.timeBase)) {
            set_.framesPerSecond = *rate;
        } else {
            problem("The time base " + inQuotes(set_.timeBase) +
                    " is not understood: 60fps is used.");
        }
    }

    // A title time in frames; a problem line when it is missing or is no time.
    std::optional<int64_t> time(const std::string& text, const std::string& what) {
        if (text.empty()) {
            problem(what + " has no time.");
            return std::nullopt;
        }
        std::optional<int64_t> frames = parseTitleTime(text, set_.framesPerSecond);
        if (!frames)
            problem(what + ": " + inQuotes(text) + " is not a time HH:MM:SS:FF at " +
                    std::to_string(set_.framesPerSecond) + " frames per second.");
        return frames;
    }

    void resolve(Title& title, const fs::path& discFolder) {
        const std::string name = titleText(title);
        title.duration = time(title.durationText, name + ": the duration");
        if (title.clips.empty()) problem(name + " plays no clip.");
        for (std::size_t i = 0; i < title.clips.size(); ++i)
            resolveClip(title.clips[i], name + ", clip " + std::to_string(i + 1), discFolder);
        for (Track& track : title.tracks) resolveCodec(track, name);
        std::optional<int64_t> before;
        for (std::size_t i = 0; i < title.chapters.size(); ++i) {
            Chapter& chapter = title.chapters[i];
            const std::string what = name + ", chapter " + std::to_string(i + 1);
            chapter.begin = time(chapter.beginText, what);
            if (chapter.begin && before && *chapter.begin < *before)
                problem(what + " begins before the chapter ahead of it.");
            if (chapter.begin && title.duration && *chapter.begin >= *title.duration)
                problem(what + " begins after the title's end.");
            if (chapter.begin) before = chapter.begin;
        }
    }

    void resolveClip(Clip& clip, const std::string& what, const fs::path& discFolder) {
        clip.begin = time(clip.beginText, what + ": the begin");
        clip.end = time(clip.endText, what + ": the end");
        std::optional<fs::path> file = clipFile(clip.src);
        if (!file) {
            problem(what + ": " + inQuotes(clip.src) + " names no .MAP file of the disc.");
            return;
        }
        if (discFolder.empty()) return;
        clip.file = findOnDisc(discFolder, *file);
        std::error_code ec;
        clip.exists = fs::is_regular_file(clip.file, ec);
        if (clip.exists) clip.size = fs::file_size(clip.file, ec);
        if (ec) clip.size = 0;
    }

    void resolveCodec(Track& track, const std::string& titleName) {
        auto item = items_.find({track.kind, track.mediaAttr});
        if (item == items_.end()) {
            problem(titleName + ": " + kindName(track.kind) + " stream " +
                    std::to_string(track.streamNumber) + " names media attribute " +
                    std::to_string(track.mediaAttr) + ", which the playlist does not list.");
            return;
        }
        track.codec = item->second.codec;
        if (track.kind == TrackKind::Audio) track.channels = item->second.channels;
        track.key = trackKey(track.kind, track.codec, track.streamNumber);
    }

    // The longest title is the main feature; of titles equally long, the first.
    void markMainFeature() {
        Title* longest = nullptr;
        for (Title& title : set_.titles)
            if (title.duration && (!longest || *title.duration > *longest->duration))
                longest = &title;
        if (longest) longest->mainFeature = true;
    }

    TitleSet& set_;
    std::vector<std::string> open_;  // names of the elements open around the current line
    std::optional<Title> title_;     // the title being read
    std::size_t titleLine_ = 0;
    std::vector<std::size_t> titleLines_;  // the memo line each title of set_ starts on
    AttributeItems items_;
    std::size_t dropped_ = 0;
};

}  // namespace

TitleSet readTitleSet(std::string_view text, const fs::path& discFolder,
                      std::string_view inputName) {
    MemoScanner scanner;
    scanner.feed(text);
    scanner.finish();
    const Memo& memo = scanner.lines();

    TitleSet set;
    TitleSetReader reader(set);
    // An unfinished last tag may have lost attributes: it is not read.
    std::size_t complete = memo.size() - (scanner.endedInsideTag() ? 1 : 0);
    for (std::size_t i = 0; i < complete; ++i) reader.take(i, memo.text(i));
    reader.finish(scanner.endedInsideTag(), discFolder);
    if (set.titles.empty()) set.problems.push_back("The playlist holds no title.");

    if (std::optional<LineRange> range = titleOf(memo, inputName)) {
        const std::vector<std::size_t>& starts = reader.titleLines();
        for (std::size_t i = 0; i < starts.size(); ++i)
            if (starts[i] == range->first) set.playing = i;
    }
    return set;
}

int32_t trackKey(TrackKind kind, std::string_view codec, int streamNumber) {
    struct Family {
        TrackKind kind;
        std::string_view codec;  // as the media attribute list names it
        IdSpace space;
        uint8_t first;
    };
    // clang-format off
    static constexpr Family kFamilies[] = {
        {TrackKind::Video,    "VC-1",       IdSpace::Extension, 0x55},
        {TrackKind::Video,    "MPEG-2",     IdSpace::StreamId,  0xE0},
        {TrackKind::Video,    "MPEG-4 AVC", IdSpace::StreamId,  0xE2},
        {TrackKind::Video,    "AVC",        IdSpace::StreamId,  0xE2},
        {TrackKind::Audio,    "DD+",        IdSpace::Private1,  0xC0},
        {TrackKind::Audio,    "DD",         IdSpace::Private1,  0x80},
        {TrackKind::Audio,    "AC-3",       IdSpace::Private1,  0x80},
        {TrackKind::Audio,    "DTS-HD",     IdSpace::Private1,  0x88},
        {TrackKind::Audio,    "DTS",        IdSpace::Private1,  0x88},
        {TrackKind::Audio,    "LPCM",       IdSpace::Private1,  0xA0},
        {TrackKind::Audio,    "MLP",        IdSpace::Private1,  0xB0},
        {TrackKind::Audio,    "MPEG",       IdSpace::StreamId,  0xC0},
        {TrackKind::Subtitle, "2bitRLE",    IdSpace::Private1,  0x20},
        {TrackKind::Subtitle, "8bitRLE",    IdSpace::Private1,  0x60},
    };
    // clang-format on
    for (const Family& family : kFamilies) {
        if (family.kind != kind || !equalsIgnoreCase(codec, family.codec)) continue;
        const IdFamily* ids = findFamily(family.space, family.first);
        if (!ids || streamNumber < 1 || streamNumber > ids->last - ids->first + 1) return -1;
        return streamKey(family.space, static_cast<uint8_t>(family.first + streamNumber - 1));
    }
    return -1;
}

}  // namespace kavrel::playlist
