#include "engine/demux.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/pes_header.h"
#include "engine/scan_pes.h"
#include "engine/stream_ids.h"
#include "engine/timefmt.h"

namespace kavrel {

namespace {

constexpr uint64_t kProgressEvery = 4 * kMiB;
constexpr uint64_t kRepaintEvery = 64 * kMiB;

// Leaves the Cancel button disabled on every way out of the scan, an error included.
class CancelEnabled {
  public:
    explicit CancelEnabled(EngineHost& host) : host_(host) { host_.setCancelEnabled(true); }
    ~CancelEnabled() { host_.setCancelEnabled(false); }
    CancelEnabled(const CancelEnabled&) = delete;
    CancelEnabled& operator=(const CancelEnabled&) = delete;

  private:
    EngineHost& host_;
};

void reportProgress(const RunState& state, EngineHost& host, uint64_t position, uint64_t size) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - state.runStart).count();
    const double remaining =
        elapsed * static_cast<double>(size) / static_cast<double>(position) - elapsed + 1.0;
    host.slog(std::to_string(position / kMiB) + "/" + std::to_string(size / kMiB) +
                  " Mbytes, Remaining time: " + formatClock(remaining),
              1);
    host.progress(position, size);
    host.pump();
}

// A system header right after the first pack header gives the stream bounds that the
// navigation report counts; a read of a DVD-Audio input reports them.
void readSystemHeader(const uint8_t* chunk, std::size_t size, bool report, PesScanner& scanner,
                      EngineHost& host) {
    if (size < kPackHeaderSize) return;
    const std::size_t at = firstPacketAt(chunk);
    if (size <= at + kVideoBoundOffset) return;
    const uint8_t* header = chunk + at;
    if (header[0] != 0 || header[1] != 0 || header[2] != 1 ||
        header[kStreamIdOffset] != kSystemHeaderId)
        return;
    const int video = header[kVideoBoundOffset] & 0x1F;
    const int audio = header[kAudioBoundOffset] >> 2;
    scanner.setStreamCounts(video, audio);
    if (!report) return;
    std::string text = "It contains";
    if (video != 0) text += " [b]" + std::to_string(video) + "[/b] video stream and";
    text += " [b]" + std::to_string(audio) + "[/b] audio stream";
    text += audio > 1 ? "s." : ".";
    host.log(text);
}

}  // namespace

ScanEnd demux(RunState& state, const ScanOptions& options, EngineHost& host, ScanMode mode) {
    if (!state.input) throw IoError("No input file is open");
    CancelEnabled cancel(host);
    state.stopFlag = false;
    state.demuxing = mode == ScanMode::Demux;
    state.runStart = std::chrono::steady_clock::now();
    state.resetPerRun();

    const std::size_t chunkSize = options.chunkSize ? options.chunkSize : kChunkSize;
    // Read into a page-aligned place of the kept chunk buffer.
    uint8_t* const chunk = pageAlignedBlock(state.chunk, chunkSize);
    PesScanner scanner(state, options, host, mode);
    InputFile& input = *state.input;
    const uint64_t size = input.size();

    // The first bytes of the input, where a system header after the first pack header sits.
    // They are looked at once the input has filled a whole chunk, whatever the chunk size.
    std::array<uint8_t, kPackHeaderSize + 7 + kVideoBoundOffset + 1> first{};
    std::size_t firstHave = 0;
    bool boundsRead = false;

    bool limitPassed = false;
    while (input.position() < size && !state.stopFlag && !limitPassed) {
        const std::size_t got = input.read(chunk, chunkSize);
        if (got == 0) break;  // the file ended before its size said
        const uint64_t position = input.position();
        const std::size_t take = std::min(first.size() - firstHave, got);
        std::memcpy(first.data() + firstHave, chunk, take);
        firstHave += take;
        if (position % kProgressEvery == 0) reportProgress(state, host, position, size);
        if (mode == ScanMode::Read && options.fastCheck && position > options.fastCheckLimit &&
            position < size)
            limitPassed = true;  // the chunk in hand is still scanned
        if (position % kRepaintEvery == 0) host.repaint();
        if (!boundsRead && position >= chunkSize &&
            (firstHave == first.size() || position >= size)) {
            boundsRead = true;
            readSystemHeader(first.data(), firstHave,
                             mode == ScanMode::Read && options.kind == InputKind::Aob, scanner,
                             host);
        }
        scanner.scan(chunk, got);
    }
    scanner.finish();
    const ScanEnd end = state.stopFlag ? ScanEnd::Stopped
                        : limitPassed  ? ScanEnd::FastCheckLimit
                                       : ScanEnd::EndOfInput;
    if (end != ScanEnd::EndOfInput) state.frameCounters.fill(0);
    return end;
}

}  // namespace kavrel
