// The scanner in mode 0 and mode 1 over arbitrary bytes, with small chunks so that packets,
// skips and navigation packs straddle chunk edges often.
#include <cstdio>

#include "engine/demux.h"
#include "engine/io.h"
#include "fuzz/fuzz_input.h"

namespace {

class NullHost : public kavrel::EngineHost {
  public:
    void log(std::string_view) override {}
    void slog(std::string_view, int) override {}
};

class NullSlots : public kavrel::OutputSlots {
  public:
    bool isOpen(int slot) const override { return slot >= 0 && slot < kavrel::kSlotCount; }
    void write(int slot, const uint8_t* data, std::size_t size) override {
        if (slot < 0 || slot >= kavrel::kSlotCount) __builtin_trap();
        volatile uint8_t sink = 0;
        for (std::size_t i = 0; i < size; i += 512) sink = static_cast<uint8_t>(sink + data[i]);
        if (size) sink = static_cast<uint8_t>(sink + data[size - 1]);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::fuzz::Input in{data, size};
    const uint8_t flags = in.take();
    static const char* const kExtensions[] = {".EVO", ".VOB", ".AOB", ".EVO"};
    static const std::size_t kChunks[] = {2048, 4096, 16384, kavrel::kChunkSize};

    kavrel::ScanOptions options;
    options.extension = kExtensions[flags & 3];
    options.chunkSize = kChunks[(flags >> 2) & 3];
    options.details = (flags & 0x10) == 0;
    options.countFrames = (flags & 0x20) == 0;
    options.checked.fill(true);
    const int mode = (flags >> 6) & 1;

    std::FILE* file = fmemopen(const_cast<uint8_t*>(in.data), in.size ? in.size : 1, "rb");
    if (!file) return 0;
    kavrel::InputFile input(file, in.size, "fuzz.EVO");
    kavrel::RunState state;
    NullSlots slots;
    NullHost host;
    state.input = &input;
    state.outputs = &slots;
    if (flags & 0x80) state.minFirstPts = 0x1000;
    kavrel::demux(state, options, host, mode);
    return 0;
}
