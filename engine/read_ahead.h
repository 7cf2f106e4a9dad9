#pragma once
// Reading an input one chunk ahead of its scan: a thread of its own reads the next chunk while
// the caller scans the one in hand, so that the kernel's copy out of the page cache (or the
// drive's read) and the scan overlap instead of taking turns.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "engine/io.h"

namespace kavrel {

class ReadAhead {
  public:
    struct Chunk {
        std::span<const uint8_t> bytes;               // empty at the end of the input
        uint64_t end = 0;                             // the input's position after these bytes
        const std::filesystem::path* file = nullptr;  // the file the chunk ended in
    };

    // Reads `input` from its position on in chunks of chunkSize bytes, at most two chunks ahead
    // of the caller. The input is the reader's until this is destroyed.
    ReadAhead(InputFile& input, std::size_t chunkSize);
    // Stops the reading thread and waits for it (a read going on ends first).
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next chunk, valid until the next call; an empty chunk at the end. Throws the
    // IoError the input's read threw, in the order the chunks come.
    Chunk next();

  private:
    struct Slot {
        std::vector<uint8_t> buffer;
        uint8_t* data = nullptr;  // page-aligned inside buffer
        std::size_t size = 0;
        uint64_t end = 0;
        std::filesystem::path file;
        std::exception_ptr error;
        bool full = false;
    };
    void readLoop();

    InputFile& input_;
    std::size_t chunkSize_;
    Slot slots_[2];
    std::size_t taken_ = 0;  // the slot handed out last, freed by the next call to next()
    bool handedOut_ = false;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread reader_;
};

}  // namespace kavrel
