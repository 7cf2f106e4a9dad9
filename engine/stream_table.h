#pragma once
// The streams a run found, one entry per stream id, over the input and its follow-on file.
//
// Each stream gets the number its id gives within its family (DTS 0x89 is audio 1) unless
// another id of the same kind holds that number already: AC-3 0x80 and DTS 0x88 are both
// audio 0 by their ids, and two streams must never share one output or one rebuild decision.
// The later of the two then takes the next number that is free; when every number of its kind
// is taken, the stream is found but gets none and has no check box. Numbers are handed out in
// the order the streams are first met and kept for the whole run, so the same id has the same
// number in both files of a feature, in the read, the demux and the rebuild.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"
#include "engine/stream_ids.h"

namespace kavrel {

// Numbers a stream of each kind can be announced under (subpictures 16-31 have no box).
constexpr int announcedNumbers(StreamKind kind) {
    return kind == StreamKind::Video ? 2 : kind == StreamKind::Audio ? 16 : 32;
}

struct StreamInfo {
    StreamKind kind = StreamKind::Video;
    // The id that names the stream: the stream id (MPEG-2, H.264, MPEG audio), the
    // stream_id_extension (VC-1) or the private stream 1 sub-stream id; space says which.
    uint8_t id = 0;
    IdSpace space = IdSpace::StreamId;
    int ownNumber = 0;    // the number its id gives within its family (0x89: 1)
    int number = -1;      // the number it is offered under; -1: every one of its kind was taken
    std::string label;    // "DD+.stream"
    std::string caption;  // "DD+.stream.00"; empty when the stream has no check box
    // The PTS of the first of its packets that carries one (low 32 bits, 90 kHz).
    std::optional<uint32_t> firstPts;
    std::filesystem::path firstSeenIn;  // the input file it was first met in
    analysers::StreamFacts facts;       // from its first header; codecName empty when none
    // Audio and subpictures: the start relative to the video's first PTS, in milliseconds
    // (negative when it starts before the video); set by StreamTable::updateDelays.
    std::optional<int64_t> delayMs;

    bool selectable() const { return number >= 0 && number < selectableNumbers(kind); }
    // Its key among the streams of its kind (streamKey).
    int32_t key() const { return streamKey(space, id); }
    // The check-box slot, or -1 when it has none.
    int slot() const;
};

// How many milliseconds the PTS `later` lies after `earlier` (negative when before), rounded.
// Only the low 32 bits are kept: the difference taken modulo 2^32 is right across a wrap.
int64_t ptsDifferenceMs(uint32_t later, uint32_t earlier);

class StreamTable {
  public:
    StreamTable() { clear(); }

    // The index of the stream with this id in its space, or -1.
    int find(IdSpace space, uint8_t id) const {
        return index_[static_cast<std::size_t>(space)][id];
    }
    // Adds the stream of an id met for the first time (find gave -1) with its number, and
    // returns its index.
    int add(const IdFamily& family, uint8_t id, const std::filesystem::path& file);

    StreamInfo& operator[](int index) { return streams_[static_cast<std::size_t>(index)]; }
    const StreamInfo& operator[](int index) const {
        return streams_[static_cast<std::size_t>(index)];
    }
    const std::vector<StreamInfo>& all() const { return streams_; }
    std::size_t size() const { return streams_.size(); }
    bool empty() const { return streams_.empty(); }

    // The key (streamKey) of the stream that holds a number of a kind, or -1.
    int32_t keyOf(StreamKind kind, int number) const;
    // The streams in the order of their kind and number (video, audio, subpictures; the
    // streams without a number of a kind after those with one).
    std::vector<const StreamInfo*> ordered() const;
    // The video stream the others are timed against: the one with a first PTS and the lowest
    // number; nullptr when there is none.
    const StreamInfo* referenceVideo() const;
    // Sets each audio and subpicture stream's delay against the first PTS of the reference
    // video, when both were first met in the same file.
    void updateDelays();
    void clear();

  private:
    static std::size_t slotOfKind(StreamKind kind) { return static_cast<std::size_t>(kind); }

    std::vector<StreamInfo> streams_;
    std::array<std::array<int16_t, 256>, 3> index_{};    // by id space and id
    std::array<std::array<int16_t, 32>, 3> byNumber_{};  // by kind and number
};

}  // namespace kavrel
