#pragma once
// One session of work on one input, the same for the window and the command line: what is
// read (a program-stream file and its follow-on file, or a title of a disc), the stream lists
// its read found, and the runs on it. The workflow lives here once: a run that writes works on
// the lists of a read of this very title and reads it first when they are from anything else
// (read before write); an mkv takes the title's further clips; chapters follow a demux.
//
// The hosts only turn their controls or options into these calls and show the results.
#include <array>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/disc_title.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/runs.h"
#include "mux/mkv_run.h"

namespace kavrel::session {

class Session {
  public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens a program-stream file: the title is the file and, with cont, its follow-on file
    // (FEATURE_1.EVO, FEATURE_2.EVO). playlist: the disc's playlist the chapters and track names
    // come from (empty: none).
    void openFile(const std::filesystem::path& input, bool cont,
                  const std::filesystem::path& playlist = {});
    // Opens path: a disc (a folder or playlist a disc reader takes) with the title of this
    // number (none: the main feature) in this angle, else a program-stream file as openFile
    // does. Returns why it cannot be opened, or an empty text.
    std::string open(const std::filesystem::path& path, std::optional<int> title, bool cont,
                     const std::filesystem::path& playlist = {}, int angle = 1);
    bool isDiscTitle() const { return fromDisc_; }

    const DiscTitle& title() const { return title_; }
    // The first file the title reads.
    std::filesystem::path input() const;
    const std::filesystem::path& playlist() const { return playlist_; }

    // The read run over the title: its stream lists become the session's.
    RunResult read(const RunOptions& options, EngineHost& host);
    // Whether the stream lists are from a read of the title as it is now.
    bool listsAreCurrent() const;
    // The lists are from no read any more (the input was chosen anew and may have changed).
    void forgetLists() { listsFrom_.reset(); }
    // Read before write: reads the title when the lists are not from it. nullopt when they are;
    // else the read's result (the writing run goes on only after one that is Done).
    std::optional<RunResult> readBeforeWrite(const RunOptions& options, EngineHost& host);

    // The captions of the boxes the last read offers, in slot order (empty: not found).
    std::array<std::string, kSlotCount> offeredCaptions() const;

    // The writing runs, each after a read of the title (readBeforeWrite): the checked streams
    // of options, with these captions, demuxed (and, asked for, the chapters beside them),
    // rebuilt, or made into a Matroska file. Every output is checked against every file the
    // title reads.
    RunResult demux(const RunOptions& options, const std::array<std::string, kSlotCount>& captions,
                    bool chapters, EngineHost& host);
    RunResult rebuild(const RunOptions& options, EngineHost& host);
    // For an mkv of a program-stream file the title becomes the playlist's title that plays it,
    // over the clips from it on (with cont); logs which, or why there is none. Returns false,
    // with the error logged and given, when one of its clips is not on the disc.
    bool takeFeature(bool cont, EngineHost& host, std::string& error);
    RunResult mkv(const std::filesystem::path& output, bool keep, const RunOptions& options,
                  const std::array<std::string, kSlotCount>& captions, EngineHost& host);
    // The Matroska file of the title without a name given: <output folder>/<base name>.mkv.
    std::filesystem::path mkvOutput(const RunOptions& options) const;

    // The track of the title that names a stream (by the stream's key); nullptr when none.
    // For a file, the tracks are those of the playlist's title that plays it.
    const TitleTrack* trackOf(const StreamInfo& stream) const;
    bool hasTitleTracks() const;

    // What the runs found and measured; kept between runs.
    const StreamFindings& findings() const { return findings_; }

    // The stop request the hosts set (the window's Cancel, the CLI's Ctrl-C); cleared when a run
    // starts. markCancelLogged: the host has logged "Cancelled." itself.
    std::atomic<bool>& stopRequest() { return stop_; }
    void markCancelLogged();

  private:
    template <typename Run>
    RunResult run(Run&& body);
    void loadPlaylistTracks() const;

    DiscTitle title_;
    bool fromDisc_ = false;
    std::vector<std::string> discProblems_;  // the disc reader's, logged by the next read
    std::filesystem::path playlist_;
    mux::FeatureSource feature_;
    StreamFindings findings_;
    std::optional<std::vector<ByteRange>> listsFrom_;  // the title the lists were read from
    mutable std::optional<std::vector<TitleTrack>> playlistTracks_;  // a file's, read when asked
    std::atomic<bool> stop_{false};
    RunState* live_ = nullptr;  // the run going on, for markCancelLogged
};

}  // namespace kavrel::session
