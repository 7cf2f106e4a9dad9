#pragma once
// Where a format writer's bytes go: a file in a demux run, memory in a test. Writers that patch
// a header once the data is known overwrite bytes they appended earlier.
#include <cstdint>
#include <span>

namespace kavrel::formats {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Appends bytes at the end. Throws when they cannot be written.
    virtual void append(std::span<const uint8_t> bytes) = 0;
    // Replaces bytes that were appended before, at `offset` from the start. Throws on failure.
    virtual void overwrite(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // The bytes the destination really holds now: after a failed append this may be less than
    // what was handed to append. Never throws.
    virtual uint64_t size() = 0;
    // Cuts the destination to its first `size` bytes (a partial sample frame after a failed
    // append). Throws on failure.
    virtual void truncate(uint64_t size) = 0;
};

}  // namespace kavrel::formats
