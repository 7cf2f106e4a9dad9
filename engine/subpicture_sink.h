#pragma once
// What the sinks of a subpicture stream share: the stream's units gathered from its payload
// runs and timed from the run's first time stamp, the stream's log lines, the count of units
// lost to damage, and an output that takes nothing more once a write has failed.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/sinks.h"
#include "formats/unit_assembler.h"

namespace kavrel {

class SubpictureSink : public StreamSink {
  public:
    void packet(const PayloadRun& run) final;
    void finish() final;
    uint64_t written() const final { return output_->written(); }
    StreamDamage damage() const final;

  protected:
    SubpictureSink(std::unique_ptr<ByteOutput> output, const SinkContext& context,
                   std::string streamName);

    // Each whole unit, with its time.
    virtual void unit(std::span<const uint8_t> unit, uint32_t pts) = 0;
    // The end of the stream after the last whole unit (not after a failed write): what the
    // form holds back goes out.
    virtual void flush() {}
    // After the output is closed, whether or not a write failed.
    virtual void closed() {}
    // Units decoded but not written: damaged beyond the unit's own checks.
    virtual uint64_t skipped() const { return 0; }
    // Whether the output holds something of the stream.
    virtual bool usable() const { return true; }

    // Writes bytes whole, or throws; after one failure every later write throws, so a file
    // never holds anything behind a torn write.
    void write(std::span<const uint8_t> bytes);

    formats::MessageLog log_;  // the stream's lines, prefixed with its name

  private:
    std::unique_ptr<ByteOutput> output_;
    uint32_t minFirstPts_;
    formats::UnitAssembler assembler_;
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace kavrel
