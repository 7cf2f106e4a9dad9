#pragma once
// The multiplexer: one program (a set of streams on a common clock) written as one or more
// program-stream files of 2048-byte packs. A follow-on file continues the streams where the
// previous file stopped, so the two files play as one.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "tools/mkdisc/elementary.h"
#include "tools/mkdisc/expected.h"
#include "tools/mkdisc/pack_file.h"

namespace kavrel::mkdisc {

struct StreamPlan {
    Codec codec;
    uint8_t id;      // video: stream id (0xE0…) or VC-1 extension (0x55); else the sub-stream id
    uint64_t delay;  // the first access unit's PTS minus the program's start, 90 kHz
    uint64_t periodNum, periodDen = 1;  // access unit period, 90 kHz ticks as a fraction
    std::unique_ptr<AccessUnitBuilder> builder;
    LpcmFormat lpcm{};  // LPCM: the fields of its private header
};

struct ProgramPlan {
    bool navigationPacks = true;  // a navigation pack opens every group of pictures
    bool dvdVideoLists = false;   // DSI stream lists 128 bytes earlier, as in a .VOB
    bool dvdAudio = false;        // the private headers of DVD-Audio, which state their own length
    uint32_t muxRate = 75600;     // units of 50 bytes/s
    uint64_t startPts = 0x2BF20;  // PTS of the first video frame
    uint64_t frameNum = 375375, frameDen = 100;  // the schedule's tick: one video frame
    uint32_t gopLength = 12;
};

// What one file holds of one stream.
struct StreamInFile {
    std::optional<uint64_t> firstPts;
    uint64_t units = 0;  // video frames, audio frames or subpicture units begun in the file
};

class Program {
  public:
    Program(const ProgramPlan& plan, std::vector<StreamPlan> streams);
    ~Program();

    const std::vector<StreamPlan>& streams() const { return plans_; }

    // Writes the next file: whole groups of pictures until at least targetBytes are written.
    // sinks[i] (may be null) receives the payload of stream i. Returns what each stream
    // has in the file.
    std::vector<StreamInFile> writeFile(const std::filesystem::path& path, uint64_t targetBytes,
                                        uint16_t vobNumber,
                                        const std::vector<ExpectedOutput*>& sinks);

    // The smallest first PTS over all streams (low 32 bits): the time subpicture outputs are
    // relative to.
    uint32_t minFirstPts() const;

  private:
    struct Start {
        std::size_t offset;  // in pending
        uint64_t pts;
    };
    struct State {
        std::vector<uint8_t> pending;
        std::size_t head = 0;
        std::deque<Start> starts;
        uint64_t nextUnit = 0;
        uint64_t packets = 0;  // written so far
    };

    uint64_t tickPts(uint64_t tick) const;
    uint64_t unitPts(std::size_t stream, uint64_t unit) const;
    void queueUnit(std::size_t stream);
    void writeNavigationPack(uint64_t fileStartPts, uint16_t vobNumber);
    void writeSystemHeaderPack();
    void writePacket(std::size_t stream);
    uint8_t* newPack();
    void appendSystemHeader(std::vector<uint8_t>& out) const;

    ProgramPlan plan_;
    std::vector<StreamPlan> plans_;
    std::vector<State> states_;
    uint64_t tick_ = 0;
    uint64_t scr27_ = 0;
    uint64_t scrFloor27_ = 0;
    uint32_t videoCount_ = 0, audioCount_ = 0, subpictureCount_ = 0;

    // Per file being written.
    PackFile* file_ = nullptr;
    const std::vector<ExpectedOutput*>* sinks_ = nullptr;
    std::vector<StreamInFile>* report_ = nullptr;
    std::vector<uint64_t> lastPtmOffsets_;
};

}  // namespace kavrel::mkdisc
