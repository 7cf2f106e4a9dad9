#pragma once
// Builds small program streams byte by byte for the scanner's tests, and runs the scanner over
// them with every stream's output captured in memory.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/demux.h"
#include "engine/io.h"
#include "engine/run_state.h"
#include "engine/sink.h"
#include "tests/support/test_support.h"

namespace kavrel::test {

using Bytes = std::vector<uint8_t>;

// One PES packet, set up field by field. Time stamps are 33-bit values; the header gets what
// is set, in the order of the MPEG-2 systems standard.
struct Pes {
    explicit Pes(uint8_t id) : streamId_(id) {}
    Pes& pts(std::optional<uint64_t> value) { return set(pts_, value); }
    Pes& dts(std::optional<uint64_t> value) { return set(dts_, value); }  // only with a PTS
    Pes& pstd(bool value) { return set(pstd_, value); }  // a P-STD field in the extension
    Pes& streamIdExtension(uint8_t value) { return set(streamIdExtension_, value); }
    Pes& stuffing(int value) { return set(stuffing_, value); }  // 0xFF bytes ending the header
    // Private stream 1: the sub-stream id and the bytes after it.
    Pes& subHeader(Bytes value) { return set(subHeader_, std::move(value)); }
    Pes& payload(Bytes value) { return set(payload_, std::move(value)); }
    Pes& length(uint16_t value) { return set(length_, value); }  // overrides PES_packet_length
    Bytes packet() const;

    uint8_t streamId_;
    std::optional<uint64_t> pts_;
    std::optional<uint64_t> dts_;
    bool pstd_ = false;
    std::optional<uint8_t> streamIdExtension_;
    int stuffing_ = 0;
    Bytes subHeader_;
    Bytes payload_;
    std::optional<uint16_t> length_;

  private:
    template <typename T, typename V>
    Pes& set(T& field, V&& value) {
        field = std::forward<V>(value);
        return *this;
    }
};

Bytes pesPacket(const Pes& pes);
// A 33-bit time stamp in five bytes: prefix nibble, then 3 + 15 + 15 bits with marker bits.
void putTimeStamp(Bytes& out, uint8_t prefix, uint64_t value);
// A packet with a bare length and body: padding (0xBE), map (0xBC), private stream 2 (0xBF).
Bytes plainPacket(uint8_t streamId, const Bytes& body);
Bytes packHeader(uint64_t scr = 0);
Bytes systemHeader(int audioBound, int videoBound);

// Sub-stream headers of private stream 1.
Bytes audioSubHeader(uint8_t id);  // id, frame count, first access unit pointer (+3/+1 extra)
Bytes subpictureSubHeader(uint8_t id);

// A navigation packet (private stream 2, sub-stream 0x01) with the fields its report reads;
// bodyBytes is the size of the packet body after the sub-stream id.
struct Navigation {
    uint16_t vobNumber = 1;
    uint32_t firstPtm = 0;
    uint32_t lastPtm = 0;
    int audioEntries = 0;  // non-zero entries of the audio list
    int subEntries = 0;    // non-zero entries of the subpicture list
    bool vob = false;      // DVD-Video layout: the lists 128 bytes nearer the start
    std::size_t bodyBytes = 1017;
};
Bytes navigationPacket(const Navigation& nav);

// Appends packs: a 14-byte pack header, the packets, and a padding packet up to 2048 bytes
// when there is room for one.
class PsBuilder {
  public:
    PsBuilder& pack(const std::vector<Bytes>& packets);
    PsBuilder& raw(const Bytes& more);
    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    Bytes bytes_;
    uint64_t scr_ = 0;
};

Bytes concat(const std::vector<Bytes>& parts);

// The sinks of a demux scan, made by the run's sink factory, with their outputs kept in memory;
// a slot gets a sink when it is opened here.
class MemorySlots {
  public:
    MemorySlots() = default;
    MemorySlots(const MemorySlots&) = delete;
    MemorySlots& operator=(const MemorySlots&) = delete;
    ~MemorySlots();

    void open(int slot) { open_[static_cast<std::size_t>(slot)] = true; }
    bool isOpen(int slot) const { return open_[static_cast<std::size_t>(slot)]; }
    const Bytes& data(int slot) const { return data_[static_cast<std::size_t>(slot)]; }
    // Makes the sinks of the open slots that have none yet (the context taken from state at
    // that moment, as a demux run does when it starts) and points state at them.
    void attach(RunState& state, InputKind kind);
    void finish();  // finishes every sink, as a run does at its end

    int writes = 0;      // write calls, to see that payload goes in runs
    int failAfter = -1;  // when not negative: the writes that succeed before each one fails

  private:
    std::array<bool, kSlotCount> open_{};
    std::array<Bytes, kSlotCount> data_{};
    std::array<std::unique_ptr<StreamSink>, kSlotCount> sinks_;
    RunState* state_ = nullptr;
};

// A sink that keeps what it is handed, one entry per payload run; finish fails with `failure`
// when it is set.
struct HandedRun {
    Bytes bytes;
    bool packetStart;
    bool hasPts;
    uint32_t pts;
    Bytes privateHeader;
};

class RecordingSink : public StreamSink {
  public:
    void packet(const PayloadRun& run) override {
        runs.push_back({Bytes(run.bytes.begin(), run.bytes.end()), run.packetStart, run.hasPts,
                        run.pts, Bytes(run.privateHeader.begin(), run.privateHeader.end())});
    }
    void finish() override {
        ++finished;
        if (!failure.empty()) throw IoError(failure);
    }
    uint64_t written() const override { return 0; }

    std::vector<HandedRun> runs;
    int finished = 0;
    std::string failure;
};

// One scanner call over a file, the state, host and slots kept for the checks.
struct ScanRun {
    RunState state;
    RecordingHost host;
    MemorySlots slots;
    ScanOptions options;

    ScanRun() { options.chunkSize = 4096; }
    // Checks every slot (demux scans) and opens it.
    void selectAll() {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            options.checked[static_cast<std::size_t>(slot)] = true;
            slots.open(slot);
        }
    }
    ScanEnd run(InputFile& input, ScanMode mode);
    ScanEnd run(const std::filesystem::path& file, ScanMode mode);
    // Scans the bytes from memory as an input named with the extension.
    void run(const Bytes& bytes, ScanMode mode, const std::string& extension = ".EVO");

  private:
    Bytes memory_;
};

}  // namespace kavrel::test
