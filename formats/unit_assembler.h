#pragma once
// Gathers the subpicture units of one stream from the payload of its PES packets, as a demux
// meets them: a unit begins in a packet that carries a PTS and continues in the packets after
// it until its size field is satisfied.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "formats/subpicture.h"

namespace kavrel::formats {

class UnitAssembler {
  public:
    using UnitHandler = std::function<void(std::span<const uint8_t> unit, uint32_t pts)>;

    UnitAssembler(UnitHandler onUnit, MessageLog log);

    // One run of payload bytes. packetPts is set on the first run of a packet that carries a
    // PTS. A unit still incomplete when a packet with another PTS begins is cut short: it is
    // dropped with one log line. Bytes that follow a whole unit begin the next unit, which
    // takes the same time; bytes before the stream's first PTS are dropped.
    void payload(std::span<const uint8_t> bytes, std::optional<uint32_t> packetPts);

    // The end of the stream: a unit still incomplete is dropped with one log line.
    void finish();

    uint64_t dropped() const { return dropped_; }

  private:
    void drop(const char* why);

    UnitHandler onUnit_;
    MessageLog log_;
    std::vector<uint8_t> unit_;  // the unit being gathered
    uint32_t size_ = 0;          // its declared size, once known
    std::optional<uint32_t> pts_;
    bool discarding_ = false;  // the rest of the packet follows damage: wait for the next PTS
    uint64_t dropped_ = 0;
};

}  // namespace kavrel::formats
