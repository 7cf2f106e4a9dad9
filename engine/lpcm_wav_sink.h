#pragma once
// An LPCM stream written as WAV. DVD-Video and HD DVD LPCM make one file; DVD-Audio LPCM one,
// or two when its channel groups differ in depth or rate (group 2's named "….group2.wav").
// The first packet whose header gives a format a WAV can hold fixes the format; packets before
// it are passed over. A later header that cannot be read (a damaged packet) changes nothing; one
// that gives another format (a DVD-Audio title set's next title) closes the WAV and starts the
// next, "….00-2.wav", so a WAV never mixes two formats. A DVD-Audio packet is judged whole
// against the stream: a damaged one becomes silence of its duration and is counted.
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "engine/host.h"
#include "engine/sink.h"
#include "engine/sinks.h"
#include "formats/aob_lpcm.h"
#include "formats/byte_sink.h"
#include "formats/dvd_lpcm.h"
#include "formats/wav_writer.h"

namespace kavrel {

// The WAV of a DVD-Audio stream's channel group 2, beside the stream's own.
std::filesystem::path group2Path(const std::filesystem::path& path);
// The WAV of the stream's n-th format (from 2): "….00-2.wav".
std::filesystem::path formatPartPath(const std::filesystem::path& path, int n);

class LpcmWavSink : public StreamSink {
  public:
    // Creates the output at path. dvdAudio: the packets carry DVD-Audio private headers. A
    // test passes a small RIFF size limit to reach RF64. The host, when given, hears of each
    // output made for a new format ("Creating …").
    LpcmWavSink(const std::filesystem::path& path, bool dvdAudio, OutputOpener open,
                uint64_t riffSizeLimit = formats::WavWriter::kRiffSizeLimit,
                EngineHost* host = nullptr);
    ~LpcmWavSink() override;

    void packet(const PayloadRun& run) override;
    void finish() override;
    uint64_t written() const override;
    StreamDamage damage() const override;

  private:
    bool takePacket(std::span<const uint8_t> header);
    void start(std::size_t outputs);
    void convert(std::span<const uint8_t> bytes);
    void closeOutputs();
    void nextPart();
    void write();
    void settlePacket();

    std::filesystem::path path_;
    bool dvdAudio_;
    OutputOpener open_;
    uint64_t riffSizeLimit_;
    std::array<std::unique_ptr<ByteOutput>, 2> outputs_;
    std::array<std::unique_ptr<WavBytes>, 2> adapters_;
    std::array<std::optional<formats::WavWriter>, 2> writers_;
    std::optional<formats::DvdLpcmFormat> dvdFormat_;
    std::optional<formats::AobLpcmFormat> aobFormat_;
    std::optional<formats::DvdLpcmToWav> dvd_;
    std::optional<formats::AobLpcmToWav> aob_;
    std::array<std::vector<uint8_t>, 2> samples_;  // converted samples, reused per run
    bool converting_ = false;                      // the packet in hand is converted
    bool finished_ = false;
    EngineHost* host_;
    int part_ = 1;              // the format in use is the stream's part_-th
    uint64_t closedBytes_ = 0;  // written to the outputs of earlier formats
    // The DVD-Audio packet in hand, judged once it is whole.
    std::vector<uint8_t> heldHeader_, heldBytes_;
    bool heldHeaderLost_ = false;
    uint64_t damaged_ = 0;
    uint64_t soundPackets_ = 0;
};

}  // namespace kavrel
