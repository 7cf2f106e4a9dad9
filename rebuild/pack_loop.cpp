// The rebuild's pack loop: reads the input in large blocks, walks them pack by pack through
// the filter and writes each run of consecutive kept packs with one call. Where a pack does
// not begin where the last one ended (a byte lost or added in a damaged copy, or data that is
// no pack), it goes on at the next pack start code.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/markup.h"
#include "engine/stream_ids.h"
#include "engine/timefmt.h"
#include "rebuild/rebuild.h"

namespace kavrel {

namespace {

// 256 KiB, a whole number of packs: small enough to stay in the CPU cache, where the
// kernel's copy into it runs several times faster than into a block of a few MiB.
constexpr std::size_t kBlockSize = 128 * kPackSize;
// Room before the block for the unfinished pack that a block ended in, carried over to the
// next block; a whole page, so that every read still lands on a page boundary.
constexpr std::size_t kCarryRoom = 4096;
constexpr uint64_t kProgressStep = 4 * kMiB;
constexpr std::size_t kStartCodeSize = 4;

static_assert(kCarryRoom >= kPackSize, "an unfinished pack fits before the block");
static_assert(kProgressStep % kPackSize == 0, "progress falls on pack ends");

bool isPackStart(const uint8_t* at) {
    return at[0] == 0 && at[1] == 0 && at[2] == 1 && at[3] == kPackStartId;
}

// The offset of the first pack start code that lies whole in data[from, size), or size.
std::size_t findPackStart(const uint8_t* data, std::size_t from, std::size_t size) {
    std::size_t at = from + kStartCodeSize - 1;  // where the code's last byte can be
    while (at < size) {
        const void* hit = std::memchr(data + at, kPackStartId, size - at);
        if (!hit) break;
        at = static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data);
        if (isPackStart(data + at - (kStartCodeSize - 1))) return at - (kStartCodeSize - 1);
        ++at;
    }
    return size;
}

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

// Returns the number of packs met.
uint64_t packLoop(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
                  const std::array<bool, kSlotCount>& checked, EngineHost& host) {
    const auto start = std::chrono::steady_clock::now();
    state.runStart = start;
    const std::string name = escapeControls(input.path().filename().string());  // a status text
    const uint64_t fileSize = input.size();
    std::vector<uint8_t> buffer;
    uint8_t* const block = pageAlignedBlock(buffer, kCarryRoom + kBlockSize) + kCarryRoom;
    std::size_t carry = 0;  // bytes of the last block not yet walked, just before `block`
    uint64_t packs = 0;
    uint64_t nextProgress = kProgressStep;
    while (!state.stopFlag) {
        const std::size_t got =
            input.position() < fileSize ? input.read(block, kBlockSize) : std::size_t{0};
        // A short read is the end, also of a file shorter than its size said.
        const bool last = got < kBlockSize || input.position() >= fileSize;
        uint8_t* const data = block - carry;
        const std::size_t have = carry + got;
        const uint64_t dataStart = input.position() - have;
        KeptRun kept(data, output);
        std::size_t at = 0;
        while (at < have) {
            const std::size_t left = have - at;
            if (left < kPackSize && !last) break;  // the pack goes on in the next block
            std::size_t step = 0;
            if (left >= kStartCodeSize && isPackStart(data + at)) {
                // The last pack of a file that is not a whole number of packs is short.
                step = left < kPackSize ? left : kPackSize;
                ++packs;
                if (filterPack(data + at, step, state.lists, checked, renumbering))
                    kept.add(at, step);
            } else {
                // No pack here: go on at the next pack start code, and in pack steps from there.
                const std::size_t next = findPackStart(data, at + 1, have);
                // Without one, the last bytes may hold the start of a code that the next
                // block completes.
                step = next < have || last ? next - at : left - (kStartCodeSize - 1);
            }
            at += step;
            const uint64_t position = dataStart + at;
            if (position >= nextProgress) {
                reportProgress(name, position, fileSize, start, host);
                nextProgress = (position / kProgressStep + 1) * kProgressStep;
            }
            // A stop (Cancel, Ctrl-C) ends the run after a whole pack.
            if (state.stopFlag) break;
        }
        kept.flush();
        // A stop leaves the rest of the block unwalked: it is not carried over, and it would
        // not fit into the carry room.
        if (last || state.stopFlag) break;
        carry = have - at;
        std::memmove(block - carry, data + at, carry);
    }
    return packs;
}

}  // namespace

void Rebuild(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
             const std::array<bool, kSlotCount>& checked, EngineHost& host) {
    host.setCancelEnabled(true);
    state.demuxing = true;  // Cancel asks before it stops a run that writes
    state.stopFlag = false;
    uint64_t packs = 0;
    try {
        packs = packLoop(state, input, output, renumbering, checked, host);
    } catch (...) {
        host.setCancelEnabled(false);
        throw;
    }
    host.setCancelEnabled(false);
    if (packs == 0 && !state.stopFlag)
        throw IoError(input.path().filename().string() +
                      " is not an MPEG program stream: it holds no pack start code");
}

}  // namespace kavrel
