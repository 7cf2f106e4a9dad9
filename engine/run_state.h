#pragma once
// The state one run shares between the runs and the scanner. It lives as long as its owner
// (the window or the command-line run); `demux` re-initialises the per-run part on each entry.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysers/format_tables.h"
#include "engine/stream_table.h"

namespace kavrel {

class InputFile;
class StreamSink;

inline constexpr uint64_t kMiB = 1'048'576;         // sizes in messages are whole MiB
inline constexpr std::size_t kChunkSize = 0x40000;  // 256 KiB read per chunk
inline constexpr uint32_t kNoPts = 0xFFFFFFFF;      // "none" for the minimum first PTS
// A frame count's start-code register before a stream's first byte: no part of a start code.
inline constexpr uint32_t kEmptyStartRegister = 0xFFFFFFFF;

// What a scan of the input is for.
enum class ScanMode : uint8_t {
    Read,   // announce the streams and report their first headers
    Demux,  // hand the payload of the selected streams to their sinks
};

struct FrameSize {
    int width = 0;
    int height = 0;
};

// The 34 selectable streams: video 0-1, audio 00-15, subpicture 00-15, in check-box order.
inline constexpr int kSlotCount = 34;
constexpr int videoSlot(int number) {
    return number;
}
constexpr int audioSlot(int number) {
    return 2 + number;
}
constexpr int subSlot(int number) {
    return 18 + number;
}

// The streams a read run found, by stream number, as their keys (streamKey; -1: none), over
// the input and its follow-on file. The read run keeps this copy of its stream table when it ends;
// the rebuild filter reads only this copy, so a later demux run or playlist read cannot change what
// it filters on.
struct StreamLists {
    std::array<int32_t, 2> video{-1, -1};
    std::array<int32_t, 16> audio{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::array<int32_t, 16> sub{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    // Streams found when every number of their kind was taken: they have no box, so no
    // output, and a rebuild drops them.
    std::vector<std::pair<StreamKind, int32_t>> unnumbered;  // kind and key

    // The key listed for a check-box slot (-1: none).
    int32_t ofSlot(int slot) const {
        if (slot < audioSlot(0)) return video[static_cast<std::size_t>(slot)];
        if (slot < subSlot(0)) return audio[static_cast<std::size_t>(slot - audioSlot(0))];
        return sub[static_cast<std::size_t>(slot - subSlot(0))];
    }
};

// What a session keeps between runs: the streams the last read found and what the scan measured
// of them. A read starts it afresh; a demux goes on with the read's and adds the streams the read
// did not meet. It holds no file, sink or callback of a run.
struct StreamFindings {
    StreamLists lists;  // the last read run's streams
    // Every stream the run met, in every file of the input.
    StreamTable streams;
    std::array<int32_t, 2> frameCounters{};
    // Per video stream, the last four bytes the frame count took, so that a start code cut by
    // a packet, chunk or file boundary is counted: carried on through the run's files.
    std::array<uint32_t, 2> frameRegisters{kEmptyStartRegister, kEmptyStartRegister};
    // The frame rate and frame size of the video streams, from their headers (0: not known).
    std::array<double, 2> frameRates{};
    FrameSize videoFrame;  // the first video frame size a read run found (0×0: none)
    double measuredDuration = 0;
    uint32_t minFirstPts = kNoPts;

    // Keeps the streams with a box, and those without a number, as the read run's lists.
    void keepStreamLists() {
        lists = StreamLists{};
        for (std::size_t n = 0; n < lists.video.size(); ++n)
            lists.video[n] = streams.keyOf(StreamKind::Video, static_cast<int>(n));
        for (std::size_t n = 0; n < lists.audio.size(); ++n) {
            lists.audio[n] = streams.keyOf(StreamKind::Audio, static_cast<int>(n));
            lists.sub[n] = streams.keyOf(StreamKind::Subpicture, static_cast<int>(n));
        }
        for (const StreamInfo& info : streams.all())
            if (info.number < 0) lists.unnumbered.emplace_back(info.kind, info.key());
    }

    // The frame counts start afresh.
    void resetFrameCount() {
        frameCounters.fill(0);
        frameRegisters.fill(kEmptyStartRegister);
    }

    // What a read run resets before it starts: nothing of an earlier input stays.
    void resetRunCounters() {
        resetFrameCount();
        frameRates.fill(0);
        measuredDuration = 0;
        minFirstPts = kNoPts;
        videoFrame = {};
        streams.clear();
    }
};

// The state of one run, shared by the run and the scanner: the findings it goes on with, and
// what only this run uses (its input, chunk buffer, sinks and per-file tables). The stop request
// is the host's: a run made with one watches it.
struct RunState : StreamFindings {
    RunState() : stopFlag(ownStop_) { resetPerRun(); }
    explicit RunState(std::atomic<bool>& stop) : stopFlag(stop) { resetPerRun(); }
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    std::atomic<bool>& stopFlag;  // also set from a signal handler by the CLI
    InputFile* input = nullptr;
    std::vector<uint8_t> chunk = std::vector<uint8_t>(kChunkSize);
    // The sinks of the selected streams of a demux run, by slot; null where nothing is written.
    std::array<StreamSink*, kSlotCount> sinks{};
    bool cancelLogged = false;  // "Cancelled." is in the log already (the window's Cancel)
    bool demuxing = false;
    std::chrono::steady_clock::time_point runStart{};
    // Set by a demux run that writes every stream: makes the output of a stream the read did
    // not list, when the scanner first meets it, and returns its sink (null: none).
    std::function<StreamSink*(const StreamInfo&)> openLateSink;

    // Per-file tables, reset on every entry of demux.
    std::vector<bool> announced;  // by stream table index: "found!" was logged for this file
    std::vector<bool> reported;   // by stream table index: the first-header report was made
    // The key of the stream announced under each number in this file (-1: none).
    std::array<int32_t, 2> foundVideo{};
    std::array<int32_t, 16> foundAudio{};
    std::array<int32_t, 32> foundSub{};
    int32_t curVideo = -1;
    int32_t curAudio = -1;
    int32_t curSub = -1;
    uint32_t videoFirstPts = 0;
    uint32_t audioPts = 0;
    uint32_t subPts = 0;

    void resetPerRun() {
        announced.clear();
        reported.clear();
        foundVideo.fill(-1);
        foundAudio.fill(-1);
        foundSub.fill(-1);
        curVideo = curAudio = curSub = -1;
        videoFirstPts = audioPts = subPts = 0;
    }

    // The findings this run goes on with, and those it leaves.
    void adopt(const StreamFindings& kept) { static_cast<StreamFindings&>(*this) = kept; }
    const StreamFindings& findings() const { return *this; }

  private:
    std::atomic<bool> ownStop_{false};
};

}  // namespace kavrel
