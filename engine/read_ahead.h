#pragma once
// Reading an input ahead of its scan: a thread of its own reads the next block of chunks while
// the caller scans the chunks of the block in hand, so that the kernel's copy out of the page
// cache (or the drive's read) and the scan overlap instead of taking turns. The two meet once
// per block, not per chunk: waking a thread costs more than a chunk's scan on some machines.
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

    // Reads `input` from its position on in chunks of chunkSize bytes, at most two blocks of
    // blockChunks chunks ahead of the caller. The input is the reader's until this is destroyed.
    ReadAhead(InputFile& input, std::size_t chunkSize, std::size_t blockChunks = 8);
    // Stops the reading thread and waits for it (a read going on ends first).
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next chunk, valid until the next call; an empty chunk at the end. Throws the
    // IoError the input's read threw, after the chunks read before it.
    Chunk next();

  private:
    struct Piece {
        std::size_t size = 0;
        uint64_t end = 0;
        std::filesystem::path file;
    };
    struct Block {
        std::vector<uint8_t> buffer;
        uint8_t* data = nullptr;    // page-aligned inside buffer
        std::vector<Piece> pieces;  // the chunks read; the last one empty at the end
        std::exception_ptr error;   // the read after the pieces failed
        bool full = false;
    };
    void readLoop();
    void fill(Block& block);

    InputFile& input_;
    std::size_t chunkSize_;
    std::size_t blockChunks_;
    Block blocks_[2];
    std::size_t block_ = 0;  // the block being handed out
    std::size_t piece_ = 0;  // its next piece
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread reader_;
};

}  // namespace kavrel
