#pragma once
// Builds small program streams byte by byte for the scanner's tests, and runs the scanner over
// them with every output slot captured in memory.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/demux.h"
#include "engine/io.h"
#include "engine/run_state.h"
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

// Output slots kept in memory; a slot is open when opened here.
class MemorySlots : public OutputSlots {
  public:
    void open(int slot) { open_[static_cast<std::size_t>(slot)] = true; }
    bool isOpen(int slot) const override { return open_[static_cast<std::size_t>(slot)]; }
    void write(int slot, const uint8_t* data, std::size_t size) override;
    const Bytes& data(int slot) const { return data_[static_cast<std::size_t>(slot)]; }
    int writes = 0;  // write calls, to see that payload goes in runs

  private:
    std::array<bool, kSlotCount> open_{};
    std::array<Bytes, kSlotCount> data_{};
};

// One scanner call over a file, the state, host and slots kept for the checks.
struct ScanRun {
    RunState state;
    RecordingHost host;
    MemorySlots slots;
    ScanOptions options;

    ScanRun() {
        options.chunkSize = 4096;
        state.outputs = &slots;
    }
    // Checks every slot (mode 1) and opens it.
    void selectAll() {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            options.checked[static_cast<std::size_t>(slot)] = true;
            slots.open(slot);
        }
    }
    void run(InputFile& input, int mode);
    void run(const std::filesystem::path& file, int mode);
    // Scans the bytes from memory as an input named with the extension.
    void run(const Bytes& bytes, int mode, const std::string& extension = ".EVO");

  private:
    Bytes memory_;
};

}  // namespace kavrel::test
