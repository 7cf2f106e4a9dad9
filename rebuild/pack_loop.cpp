// The rebuild's pack loop: reads the input in large blocks, walks them pack by pack through
// the filter and writes each run of consecutive kept packs with one call.
#include <chrono>
#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/timefmt.h"
#include "rebuild/rebuild.h"

namespace kavrel {

namespace {

// 256 KiB, a whole number of packs: small enough to stay in the CPU cache, where the
// kernel's copy into it runs several times faster than into a block of a few MiB.
constexpr std::size_t kBlockSize = 128 * kPackSize;
constexpr uint64_t kProgressStep = 4 * 1024 * 1024;

static_assert(kProgressStep % kPackSize == 0, "progress falls on pack ends");

// Hands the kept packs of a block to the output in as few writes as possible.
class KeptRun {
  public:
    KeptRun(const uint8_t* block, OutputFile& output) : block_(block), output_(output) {}

    void add(std::size_t offset, std::size_t size) {
        if (size_ != 0 && begin_ + size_ != offset) flush();
        if (size_ == 0) begin_ = offset;
        size_ += size;
    }

    void flush() {
        if (size_ != 0) output_.write(block_ + begin_, size_);
        size_ = 0;
    }

  private:
    const uint8_t* block_;
    OutputFile& output_;
    std::size_t begin_ = 0;
    std::size_t size_ = 0;
};

void reportProgress(const std::string& name, uint64_t position, uint64_t size,
                    std::chrono::steady_clock::time_point start, EngineHost& host) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double remaining =
        elapsed * static_cast<double>(size) / static_cast<double>(position) - elapsed + 1.0;
    host.slog("Rebuilding " + name + " " + std::to_string(position / kMiB) + "/" +
                  std::to_string(size / kMiB) +
                  " Mbytes, Remaining time: " + formatClock(remaining),
              1);
    host.progress(position, size);
    host.pump();
}

void packLoop(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
              const std::array<bool, kSlotCount>& checked, EngineHost& host) {
    const auto start = std::chrono::steady_clock::now();
    state.runStart = start;
    const std::string name = input.path().filename().string();
    std::vector<uint8_t> buffer;
    uint8_t* const block = pageAlignedBlock(buffer, kBlockSize);
    while (input.position() < input.size() && !state.stopFlag) {
        const uint64_t blockStart = input.position();
        const std::size_t got = input.read(block, kBlockSize);
        if (got == 0) break;  // the file ended before its size said
        KeptRun kept(block, output);
        for (std::size_t offset = 0; offset < got; offset += kPackSize) {
            // The last pack of a file that is not a whole number of packs is short.
            const std::size_t size = got - offset < kPackSize ? got - offset : kPackSize;
            const uint64_t position = blockStart + offset + size;
            if (position % kProgressStep == 0)
                reportProgress(name, position, input.size(), start, host);
            if (filterPack(block + offset, size, state.lists, checked, renumbering))
                kept.add(offset, size);
            // A stop (Cancel, Ctrl-C) ends the run after a whole pack.
            if (state.stopFlag) break;
        }
        kept.flush();
    }
}

}  // namespace

void Rebuild(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
             const std::array<bool, kSlotCount>& checked, EngineHost& host) {
    host.setCancelEnabled(true);
    state.demuxing = true;  // Cancel asks before it stops a run that writes
    state.stopFlag = false;
    try {
        packLoop(state, input, output, renumbering, checked, host);
    } catch (...) {
        host.setCancelEnabled(false);
        throw;
    }
    host.setCancelEnabled(false);
}

}  // namespace kavrel
