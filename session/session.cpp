#include "session/session.h"

#include "engine/io.h"
#include "engine/markup.h"
#include "engine/title_files.h"
#include "playlist/demux_chapters.h"
#include "playlist/disc_layout.h"
#include "playlist/disc_titles.h"
#include "playlist/playlist.h"
#include "rebuild/rebuild.h"
#include "session/disc_readers.h"

namespace kavrel::session {

namespace fs = std::filesystem;

Session::Session() = default;
Session::~Session() = default;

void Session::openFile(const fs::path& input, bool cont, const fs::path& playlist) {
    title_ = followOnTitle(input, cont);
    fromDisc_ = false;
    playlist_ = playlist;
    feature_ = {};
    playlistTracks_.reset();
}

std::string Session::open(const fs::path& path, std::optional<int> number, bool cont,
                          const fs::path& playlist, int angle) {
    std::optional<DiscTitles> titles;
    discProblems_.clear();
    try {
        titles = readDisc(path, discProblems_, ReadChoice{angle, cont});
    } catch (const IoError& error) {
        return error.what();
    }
    if (!titles) {
        if (number || angle != 1)
            return std::string(number ? "a title" : "an angle") +
                   " is chosen on a disc: " + path.filename().string() +
                   " is no disc folder or playlist";
        openFile(path, cont, playlist);
        return {};
    }
    const DiscTitle* chosen = chooseTitle(*titles, number);
    if (!chosen)
        return number ? "the disc has no title " + std::to_string(*number)
                      : "the disc has no title";
    if (chosen->ranges.empty())
        return "title " + std::to_string(chosen->number) + " plays no file of the disc";
    if (angle > chosen->angles)
        return "title " + std::to_string(chosen->number) + " has " +
               std::to_string(chosen->angles) + " angle(s), not angle " + std::to_string(angle);
    title_ = *chosen;
    fromDisc_ = true;
    playlist_ = playlist.empty() ? playlist::playlistBeside(input()) : playlist;
    feature_ = {};
    playlistTracks_.reset();
    return {};
}

fs::path Session::input() const {
    return title_.ranges.empty() ? fs::path() : title_.ranges.front().file;
}

template <typename Run>
RunResult Session::run(Run&& body) {
    stop_ = false;
    RunState state(stop_);
    state.adopt(findings_);
    live_ = &state;
    struct Leave {
        Session& session;
        ~Leave() { session.live_ = nullptr; }
    } leave{*this};
    RunResult result = body(state);
    findings_ = state.findings();
    return result;
}

void Session::markCancelLogged() {
    if (live_) live_->cancelLogged = true;
}

RunResult Session::read(const RunOptions& options, EngineHost& host) {
    // What the disc reader left out is said before the first read of the title.
    for (const std::string& problem : discProblems_) host.log(errorLine(problem));
    discProblems_.clear();
    RunResult result = run([&](RunState& state) { return readRun(title_, state, options, host); });
    if (result.outcome == RunOutcome::Failed)
        listsFrom_.reset();
    else
        listsFrom_ = title_.ranges;
    return result;
}

bool Session::listsAreCurrent() const {
    return listsFrom_ && *listsFrom_ == title_.ranges;
}

// Read before write: the one place that decides whether a writing run needs a read first.
std::optional<RunResult> Session::readBeforeWrite(const RunOptions& options, EngineHost& host) {
    if (listsAreCurrent()) return std::nullopt;
    return read(options, host);
}

std::array<std::string, kSlotCount> Session::offeredCaptions() const {
    return kavrel::offeredCaptions(findings_);
}

RunResult Session::demux(const RunOptions& options,
                         const std::array<std::string, kSlotCount>& captions, bool chapters,
                         EngineHost& host) {
    const std::optional<RunResult> read = readBeforeWrite(options, host);
    if (read && read->outcome != RunOutcome::Done) return *read;
    // After a read here, the boxes are those it offers.
    const auto offered = read ? offeredCaptions() : captions;
    RunResult result =
        run([&](RunState& state) { return demuxRun(title_, state, options, offered, host); });
    if (chapters && result.outcome == RunOutcome::Done &&
        !playlist::writeDemuxChapters(title_, playlist_, options, host, &result))
        result.outcome = RunOutcome::Failed;
    return result;
}

RunResult Session::rebuild(const RunOptions& options, EngineHost& host) {
    if (auto read = readBeforeWrite(options, host); read && read->outcome != RunOutcome::Done)
        return *read;
    return run([&](RunState& state) { return rebuildRun(title_, state, options, host); });
}

bool Session::takeFeature(bool cont, EngineHost& host, std::string& error) {
    if (fromDisc_) return true;  // a disc's title is the title already
    const fs::path file = input();
    std::optional<mux::FeatureSource> source = mux::findFeature(file, playlist_, cont, host, error);
    if (!source) return false;
    feature_ = std::move(*source);
    title_ = mux::featureTitle(file, feature_, cont);
    return true;
}

RunResult Session::mkv(const fs::path& output, bool keep, const RunOptions& options,
                       const std::array<std::string, kSlotCount>& captions, EngineHost& host) {
    const std::optional<RunResult> read = readBeforeWrite(options, host);
    if (read && read->outcome != RunOutcome::Done) return *read;
    const auto offered = read ? offeredCaptions() : captions;
    const mux::MkvJob job{title_, output, feature_, keep};
    return run([&](RunState& state) { return mux::mkvRun(job, state, options, offered, host); });
}

fs::path Session::mkvOutput(const RunOptions& options) const {
    return mux::mkvOutputPath(title_, options);
}

void Session::loadPlaylistTracks() const {
    if (playlistTracks_) return;
    playlistTracks_.emplace();
    if (playlist_.empty()) return;
    try {
        const playlist::TitleSet set = playlist::readTitleSet(playlist::loadPlaylistText(playlist_),
                                                              playlist::discFolderOf(playlist_),
                                                              playlist::titleLookupName(input()));
        if (set.playing)
            *playlistTracks_ = playlist::discTitleOf(set, set.titles[*set.playing]).tracks;
    } catch (const IoError&) {
        // No names then, as without a playlist.
    }
}

bool Session::hasTitleTracks() const {
    if (fromDisc_ || feature_.title()) return !title_.tracks.empty();
    loadPlaylistTracks();
    return !playlistTracks_->empty();
}

const TitleTrack* Session::trackOf(const StreamInfo& stream) const {
    const std::vector<TitleTrack>* tracks = &title_.tracks;
    if (!fromDisc_ && !feature_.title()) {
        loadPlaylistTracks();
        tracks = &*playlistTracks_;
    }
    for (const TitleTrack& track : *tracks)
        if (track.kind == stream.kind && track.key >= 0 && track.key == stream.key()) return &track;
    return nullptr;
}

}  // namespace kavrel::session
