#include "dvdaudio/track_files.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/io.h"
#include "engine/sinks.h"

namespace kavrel::dvdaudio {

namespace fs = std::filesystem;

namespace {

class RawTrack : public TrackFile {
  public:
    explicit RawTrack(const fs::path& path) : file_(path) {}
    void append(std::span<const uint8_t> bytes) override {
        file_.write(bytes.data(), bytes.size());
    }
    void finish() override { file_.close(); }
    uint64_t written() const override { return file_.written(); }

  private:
    OutputFile file_;
};

class WavTrack : public TrackFile {
  public:
    WavTrack(const fs::path& path, const formats::WavFormat& format)
        : file_(openOutputFile(path)), bytes_(*file_), wav_(bytes_, format) {
        wav_.begin();
    }
    void append(std::span<const uint8_t> bytes) override { wav_.append(bytes); }
    void finish() override {
        wav_.finish();
        file_->close();
    }
    uint64_t written() const override { return file_->written(); }

  private:
    std::unique_ptr<ByteOutput> file_;
    WavBytes bytes_;
    formats::WavWriter wav_;
};

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};
struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};

// The encoder takes the samples in blocks of this many frames, of at most 8 channels.
constexpr std::size_t kBlockFrames = 65536;
constexpr std::size_t kChannelsMax = 8;

// libFLAC writes through these callbacks into the output file; it goes back to the start once,
// to complete the stream info, when it finishes.
class FlacTrack : public TrackFile {
  public:
    FlacTrack(const fs::path& path, const formats::WavFormat& format, const TrackTags& tags)
        : file_(path), format_(format), encoder_(FLAC__stream_encoder_new()) {
        if (!encoder_) throw IoError("Cannot create " + path.string() + ": not enough memory");
        FLAC__StreamEncoder* e = encoder_.get();
        FLAC__stream_encoder_set_channels(e, format.channels);
        FLAC__stream_encoder_set_bits_per_sample(e, format.validBits);
        FLAC__stream_encoder_set_sample_rate(e, format.sampleRate);
        FLAC__stream_encoder_set_compression_level(e, 5);  // the flac command's default
        if (format.channels < 1 || static_cast<std::size_t>(format.channels) > kChannelsMax)
            throw IoError("Cannot create " + path.string() + ": FLAC holds 1 to 8 channels");
        blocks_.assign(static_cast<std::size_t>(format.channels),
                       std::vector<FLAC__int32>(kBlockFrames));
        comments_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        if (!comments_) throw IoError("Cannot create " + path.string() + ": not enough memory");
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%04X", static_cast<unsigned>(format.channelMask));
        comment("TRACKNUMBER", std::to_string(tags.track));
        comment("TRACKTOTAL", std::to_string(tags.tracks));
        comment("DISCNUMBER", std::to_string(tags.disc));
        comment("WAVEFORMATEXTENSIBLE_CHANNEL_MASK", mask);
        FLAC__StreamMetadata* blocks[] = {comments_.get()};
        FLAC__stream_encoder_set_metadata(e, blocks, 1);
        if (FLAC__stream_encoder_init_stream(e, write, seek, tell, nullptr, this) !=
            FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            throw IoError("Cannot create " + path.string() + ": " + failure());
    }
    void append(std::span<const uint8_t> bytes) override {
        const std::size_t frameBytes = format_.containerBytes() * format_.channels;
        std::size_t frames = bytes.size() / frameBytes;
        const uint8_t* data = bytes.data();
        while (frames > 0) {
            const std::size_t n = std::min(frames, kBlockFrames - held_);
            if (format_.containerBytes() == 2)
                split<2>(data, n);
            else
                split<3>(data, n);
            held_ += n;
            data += n * frameBytes;
            frames -= n;
            if (held_ == kBlockFrames) encodeHeld();
        }
    }
    void finish() override {
        encodeHeld();
        const bool done = FLAC__stream_encoder_finish(encoder_.get());
        if (!done) throw IoError("Cannot write " + file_.path().string() + ": " + failure());
        file_.close();
    }
    uint64_t written() const override { return file_.written(); }

  private:
    // WAV samples (little-endian, 20-bit ones left-justified in 24) to the channels' blocks,
    // with the channel count fixed at compile time so that the loop is unrolled.
    template <std::size_t Width>
    void split(const uint8_t* in, std::size_t frames) {
        std::array<FLAC__int32*, kChannelsMax> out{};
        for (std::size_t c = 0; c < blocks_.size(); ++c) out[c] = blocks_[c].data() + held_;
        const int shift = 8 + (format_.validBits == 20 ? 4 : 0);
        [&]<std::size_t... N>(std::index_sequence<N...>) {
            ((blocks_.size() == N + 1 ? splitFixed<Width, N + 1>(in, frames, out, shift) : void()),
             ...);
        }
        (std::make_index_sequence<kChannelsMax>{});
    }
    template <std::size_t Width, std::size_t Channels>
    static void splitFixed(const uint8_t* in, std::size_t frames,
                           const std::array<FLAC__int32*, kChannelsMax>& out, int shift) {
        for (std::size_t f = 0; f < frames; ++f, in += Width * Channels) {
            for (std::size_t c = 0; c < Channels; ++c) {
                const uint8_t* s = in + c * Width;
                if constexpr (Width == 2)
                    out[c][f] = static_cast<int16_t>(s[0] | s[1] << 8);
                else
                    out[c][f] = static_cast<int32_t>(uint32_t{s[0]} << 8 | uint32_t{s[1]} << 16 |
                                                     uint32_t{s[2]} << 24) >>
                                shift;
            }
        }
    }
    void encodeHeld() {
        if (held_ == 0) return;
        std::array<const FLAC__int32*, kChannelsMax> channels{};
        for (std::size_t c = 0; c < blocks_.size(); ++c) channels[c] = blocks_[c].data();
        if (!FLAC__stream_encoder_process(encoder_.get(), channels.data(),
                                          static_cast<uint32_t>(held_)))
            throw IoError("Cannot write " + file_.path().string() + ": " + failure());
        held_ = 0;
    }
    void comment(const char* name, const std::string& value) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name,
                                                                            value.c_str()) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(comments_.get(), entry, false))
            throw IoError("Cannot create " + file_.path().string() + ": not enough memory");
    }
    std::string failure() const {
        if (!error_.empty()) return error_;
        return FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder_.get())];
    }

    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*,
                                                const FLAC__byte bytes[], size_t size, uint32_t,
                                                uint32_t, void* self) {
        auto& track = *static_cast<FlacTrack*>(self);
        try {
            if (track.position_ >= track.file_.written()) {
                track.file_.write(bytes, size);
            } else {
                track.file_.writeAt(track.position_, bytes, size);
            }
            track.position_ += size;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (const std::exception& e) {
            track.error_ = e.what();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                              void* self) {
        auto& track = *static_cast<FlacTrack*>(self);
        if (offset > track.file_.written()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        track.position_ = offset;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                              void* self) {
        *offset = static_cast<FlacTrack*>(self)->position_;
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    OutputFile file_;
    formats::WavFormat format_;
    // The samples not yet encoded, one block per channel: the encoder takes them in large
    // blocks, and per channel, which it copies as they are.
    std::vector<std::vector<FLAC__int32>> blocks_;
    std::size_t held_ = 0;
    uint64_t position_ = 0;
    std::string error_;
    std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter> comments_;
    // Last, so that it goes first: deleting an unfinished encoder finishes it through the
    // callbacks, which use the members above.
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder_;
};

}  // namespace

std::unique_ptr<TrackFile> createWavTrack(const fs::path& path, const formats::WavFormat& format) {
    return std::make_unique<WavTrack>(path, format);
}

std::unique_ptr<TrackFile> createFlacTrack(const fs::path& path, const formats::WavFormat& format,
                                           const TrackTags& tags) {
    return std::make_unique<FlacTrack>(path, format, tags);
}

std::unique_ptr<TrackFile> createRawTrack(const fs::path& path) {
    return std::make_unique<RawTrack>(path);
}

}  // namespace kavrel::dvdaudio
