#pragma once
// The output sinks of a demux run and the one place that chooses a sink for a selected stream.
// The scanner knows nothing of output formats: it hands each payload run to the sink of the
// packet's stream, and the sink makes its file.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/disc_title.h"
#include "engine/host.h"
#include "engine/input_kind.h"
#include "engine/names.h"
#include "engine/run_state.h"
#include "engine/runs.h"
#include "engine/sink.h"
#include "formats/byte_sink.h"
#include "formats/subpicture.h"

namespace kavrel {

// Where a sink's bytes go: a new file, or memory in tests and fuzzing.
class ByteOutput {
  public:
    virtual ~ByteOutput() = default;
    virtual void write(const uint8_t* data, std::size_t size) = 0;  // throws IoError
    virtual void close() = 0;                                       // flushes; throws IoError
    virtual uint64_t written() const = 0;
    // Replaces bytes written earlier, `offset` bytes from the start (a header patched once the
    // data is known). Throws IoError; an output that cannot do it says so.
    virtual void overwrite(uint64_t offset, const uint8_t* data, std::size_t size);
    // The bytes the output really holds: after a failed write, less than written(). No throw.
    virtual uint64_t held() { return written(); }
    // Cuts the output to its first `size` bytes. Throws IoError; an output that cannot do it
    // says so.
    virtual void truncate(uint64_t size);
    // Closes the output and removes it: it holds nothing worth keeping. No throw.
    virtual void discard() {}
};

// Creates the output at path (replacing a file of that name). Throws IoError.
using OutputOpener = std::function<std::unique_ptr<ByteOutput>(const std::filesystem::path&)>;
std::unique_ptr<ByteOutput> openOutputFile(const std::filesystem::path& path);

// The WAV writer's view of an output.
class WavBytes : public formats::ByteSink {
  public:
    explicit WavBytes(ByteOutput& output) : output_(output) {}
    void append(std::span<const uint8_t> bytes) override {
        output_.write(bytes.data(), bytes.size());
    }
    void overwrite(uint64_t offset, std::span<const uint8_t> bytes) override {
        output_.overwrite(offset, bytes.data(), bytes.size());
    }
    uint64_t size() override { return output_.held(); }
    void truncate(uint64_t size) override { output_.truncate(size); }

  private:
    ByteOutput& output_;
};

// What a run knows beyond the stream itself when it makes the stream's sink.
struct SinkContext {
    uint32_t minFirstPts = kNoPts;     // subpicture times are made relative to it
    FrameSize videoFrame{1920, 1080};  // the video's frame size, for subtitle canvases
    bool aob = false;                  // the input is a DVD-Audio object (.AOB)
    EngineHost* host = nullptr;        // the run's log, for sinks that report damage
    // The disc title the run reads, when it reads one: its palette, frame size and track
    // languages go into the subtitle files that carry them (VobSub).
    const DiscTitle* title = nullptr;
};

// The context of a demux run: the read run's earliest first PTS and video frame size (1920×1080
// when it found none), the kind of input, and the host the sinks log through.
SinkContext sinkContext(const RunState& state, InputKind kind, EngineHost* host = nullptr);

// A subpicture PTS on the demuxed stream's time line: relative to the earliest first PTS (when
// there is one); a time before it is 0, not a wrap to 13 hours.
inline uint32_t subpictureTime(uint32_t pts, uint32_t minFirstPts) {
    if (minFirstPts == kNoPts) return pts;
    return pts >= minFirstPts ? pts - minFirstPts : 0;
}

// The log of a subpicture sink: each line goes to the host behind the stream's name ("Subpicture
// stream 0: …"); none without a host.
inline formats::MessageLog streamLineLog(EngineHost* host, std::string streamName) {
    if (!host) return nullptr;
    return [host, prefix = std::move(streamName) + ": "](const std::string& line) {
        host->log(prefix + line);
    };
}

// One selected stream.
struct SinkRequest {
    int slot = 0;
    StreamKind kind = StreamKind::Video;
    int32_t streamKey = -1;  // the key (streamKey) the read run found for the slot (-1: not known)
    std::filesystem::path path;
};

// The extension of an LPCM stream written as WAV.
inline constexpr const char* kWavExtension = "wav";
// VobSub: the units go to the stream's file, which mkvmerge and players look for as ".sub"
// beside the ".idx" that indexes them.
inline constexpr const char* kVobsubExtension = "sub";
inline constexpr const char* kVobsubIndexExtension = "idx";

// The extension of a stream's output: the run's video, audio or subpicture extension, or "wav".
std::string outputExtension(StreamKind kind, int32_t streamKey, const RunOptions& options,
                            bool aob);
// prefix + "." + caption + "." + extension.
std::filesystem::path outputPath(const std::filesystem::path& prefix, std::string_view caption,
                                 std::string_view extension);

// Makes the sink of a selected stream and creates its output. Throws IoError.
std::unique_ptr<StreamSink> makeSink(const SinkRequest& request, const RunOptions& options,
                                     const SinkContext& context,
                                     const OutputOpener& open = openOutputFile);

// The sinks of a run's selected streams, by slot. The scanner sees them through
// RunState::sinks for as long as this lives.
class RunSinks {
  public:
    explicit RunSinks(RunState& state) : state_(state) {}
    ~RunSinks();  // finishes quietly what is still open
    RunSinks(const RunSinks&) = delete;
    RunSinks& operator=(const RunSinks&) = delete;

    // Takes the sink of a slot, writing to path, and begins it (its file header is written).
    void add(int slot, std::unique_ptr<StreamSink> sink, std::filesystem::path path = {});
    // Finishes every sink, even after one fails; throws the first IoError.
    void finishAll();
    // The outputs, in the order they were added, with the bytes written to each.
    std::vector<OutputWritten> outputs() const;
    // The streams whose outputs lost something to damage, in slot order.
    std::vector<StreamProblem> problems() const;

  private:
    RunState& state_;
    std::array<std::unique_ptr<StreamSink>, kSlotCount> sinks_;
    std::vector<int> added_;  // slots in the order added
    std::array<std::filesystem::path, kSlotCount> paths_;
    std::array<uint64_t, kSlotCount> finishedBytes_{};  // of sinks already finished
    std::array<StreamDamage, kSlotCount> damage_{};     // of sinks already finished
};

}  // namespace kavrel
