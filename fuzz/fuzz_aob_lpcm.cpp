// The DVD-Audio LPCM path over arbitrary bytes: packets of any header length (one that runs past
// its packet too), any depths, rates and channel assignment in their headers, and any payload,
// through the WAV sink as a demux hands them over, split into runs.
#include <algorithm>
#include <memory>
#include <vector>

#include "engine/io.h"
#include "engine/lpcm_wav_sink.h"
#include "engine/sinks.h"
#include "fuzz/fuzz_input.h"

namespace {

class MemoryOutput : public kavrel::ByteOutput {
  public:
    void write(const uint8_t* data, std::size_t size) override {
        bytes_.insert(bytes_.end(), data, data + size);
    }
    void overwrite(uint64_t offset, const uint8_t* data, std::size_t size) override {
        if (offset + size > bytes_.size()) __builtin_trap();  // a patch past what was written
        std::copy(data, data + size, bytes_.begin() + static_cast<long>(offset));
    }
    void truncate(uint64_t size) override {
        bytes_.resize(std::min<uint64_t>(size, bytes_.size()));
    }
    void close() override {}
    uint64_t written() const override { return bytes_.size(); }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::fuzz::Input in{data, size};
    kavrel::LpcmWavSink sink("fuzz.wav", true, [](const std::filesystem::path&) {
        return std::make_unique<MemoryOutput>();
    });
    sink.begin();
    // Each packet: its header length, its payload length, the run it is split at, then the
    // bytes. A header length past what is left is a header that runs past the packet.
    while (in.size > 0) {
        const std::size_t length = in.take();
        const std::size_t high = in.take();
        const std::size_t payload = high << 4 | in.take();
        const std::size_t split = in.take();
        kavrel::PayloadRun run;
        run.damagedHeader = length > in.size;
        const std::size_t header = run.damagedHeader ? 0 : length;
        run.privateHeader = std::span(in.data, header);
        const std::size_t body = std::min(payload, in.size - header);
        const std::span<const uint8_t> bytes(in.data + header, body);
        run.packetStart = true;
        run.bytes = bytes.first(std::min(split, body));
        sink.packet(run);
        run.packetStart = false;
        run.bytes = bytes.subspan(std::min(split, body));
        sink.packet(run);
        in.data += header + body;
        in.size -= header + body;
    }
    try {
        sink.finish();
    } catch (const kavrel::IoError&) {
        // No format, or a format that changed: reported, as it should be.
    }
    return 0;
}
