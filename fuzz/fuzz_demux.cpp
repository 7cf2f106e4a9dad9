// The scanner in mode 0 and mode 1 over arbitrary bytes, with small chunks so that packets,
// skips and navigation packs straddle chunk edges often; in mode 1 the audio goes to raw sinks
// or, taken as LPCM, to WAV sinks.
#include <cstdio>

#include "engine/demux.h"
#include "engine/io.h"
#include "engine/sinks.h"
#include "fuzz/fuzz_input.h"

namespace {

class NullHost : public kavrel::EngineHost {
  public:
    void log(std::string_view) override {}
    void slog(std::string_view, int) override {}
};

// Touches the bytes a sink hands on, so that a run outside the input is seen.
class NullOutput : public kavrel::ByteOutput {
  public:
    void write(const uint8_t* data, std::size_t size) override {
        volatile uint8_t sink = 0;
        for (std::size_t i = 0; i < size; i += 512) sink = static_cast<uint8_t>(sink + data[i]);
        if (size) sink = static_cast<uint8_t>(sink + data[size - 1]);
        written_ += size;
    }
    void close() override {}
    uint64_t written() const override { return written_; }
    void overwrite(uint64_t offset, const uint8_t* data, std::size_t size) override {
        if (offset + size > written_) throw kavrel::IoError("patch past the end");
        volatile uint8_t sink = 0;
        for (std::size_t i = 0; i < size; ++i) sink = static_cast<uint8_t>(sink + data[i]);
    }

  private:
    uint64_t written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::fuzz::Input in{data, size};
    const uint8_t flags = in.take();
    static const kavrel::InputKind kKinds[] = {kavrel::InputKind::Evo, kavrel::InputKind::Vob,
                                               kavrel::InputKind::Aob, kavrel::InputKind::Evo};
    static const std::size_t kChunks[] = {2048, 4096, 16384, kavrel::kChunkSize};

    kavrel::ScanOptions options;
    options.kind = kKinds[flags & 3];
    options.chunkSize = kChunks[(flags >> 2) & 3];
    options.details = (flags & 0x10) == 0;
    options.countFrames = (flags & 0x20) == 0;
    options.checked.fill(true);
    const auto mode = (flags & 0x40) ? kavrel::ScanMode::Demux : kavrel::ScanMode::Read;

    std::FILE* file = fmemopen(const_cast<uint8_t*>(in.data), in.size ? in.size : 1, "rb");
    if (!file) return 0;
    kavrel::InputFile input(file, in.size, "fuzz.EVO");
    kavrel::RunState state;
    NullHost host;
    state.input = &input;
    // The last flag: subpicture times relative to a first PTS, and audio written as WAV.
    const bool wav = (flags & 0x80) != 0;
    if (wav) state.minFirstPts = 0x1000;
    kavrel::RunOptions run;
    run.lpcmAsWav = wav;
    std::array<std::unique_ptr<kavrel::StreamSink>, kavrel::kSlotCount> sinks;
    const kavrel::SinkContext context = kavrel::sinkContext(state, options.kind);
    for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
        const auto kind = kavrel::slotKind(slot);
        const int32_t id = wav && kind == kavrel::StreamKind::Audio ? 0xA0 + (slot & 7) : -1;
        const kavrel::SinkRequest request{slot, kind, id, "null"};
        sinks[slot] = kavrel::makeSink(request, run, context,
                                       [](const auto&) { return std::make_unique<NullOutput>(); });
        state.sinks[slot] = sinks[slot].get();
    }
    kavrel::demux(state, options, host, mode);
    for (auto& sink : sinks) {
        try {
            sink->finish();
        } catch (const kavrel::IoError&) {
            // A WAV sink whose stream gave no format says so; the fuzzer looks for crashes.
        }
    }
    return 0;
}
