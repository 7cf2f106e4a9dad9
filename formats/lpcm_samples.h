#pragma once
// The sample layout shared by DVD-Video, HD DVD and DVD-Audio LPCM, and its conversion to WAV
// samples. Samples come in groups of 2 sample frames: 16-bit samples are big-endian one after
// the other; 20- and 24-bit samples are cut into a high 16-bit word (big-endian) and the low
// bits (a byte per sample for 24 bits, a byte per two samples for 20 bits, the earlier sample
// in the high nibble), and a group holds runs of samples, each run its high words first, then
// its low bits. A DVD-Audio group is one run; in DVD-Video and HD DVD LPCM of an even channel
// count the runs are of 4 samples (two frames of a stereo pair), so a 5.1 group is 3 runs.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kavrel::formats {

// Stream bytes of one group of 2 sample frames of `channels` samples of `bits` (16, 20, 24).
constexpr std::size_t lpcmGroupBytes(int bits, int channels) {
    return static_cast<std::size_t>(channels) * (bits == 16 ? 4 : bits == 20 ? 5 : 6);
}

// Bytes of one WAV sample: 2 for 16 bits, 3 for 20 bits (left-justified) and 24 bits.
constexpr std::size_t wavSampleBytes(int bits) {
    return bits > 16 ? 3 : 2;
}

// Samples per run of a group: all of them in a DVD-Audio group.
constexpr std::size_t dvdAudioRun(int channels) {
    return 2 * static_cast<std::size_t>(channels);
}
// DVD-Video and HD DVD: 4 for an even channel count; an odd count gives one run per group.
constexpr std::size_t dvdVideoRun(int channels) {
    return channels % 2 == 0 ? 4 : 2 * static_cast<std::size_t>(channels);
}

// Converts `count` consecutive groups, each of runs of `run` samples, to little-endian WAV
// samples: channel c of frame f goes to out + f * frameStride + slots[c] * wavSampleBytes(bits),
// so that the caller chooses the WAV position of each channel.
void lpcmGroupsToWav(const uint8_t* groups, std::size_t count, int bits, int channels,
                     std::size_t run, const uint8_t* slots, std::size_t frameStride, uint8_t* out);

// The conversion of a unit of 16- or 24-bit groups only moves bytes: out[i] = unit[from[i]].
// The table is made once per stream format, and converting a unit is then a single gather.
class ByteShuffle {
  public:
    // Adds the WAV bytes of `count` consecutive groups that start `unitOffset` bytes into the
    // unit, placed as lpcmGroupsToWav places them from `outOffset` on. bits: 16 or 24.
    void addGroups(std::size_t unitOffset, std::size_t count, int bits, int channels,
                   std::size_t run, const uint8_t* slots, std::size_t frameStride,
                   std::size_t outOffset);
    // Converts `count` units of `unitBytes` each; out receives count * outBytes() bytes.
    void apply(const uint8_t* units, std::size_t count, std::size_t unitBytes, uint8_t* out) const;
    std::size_t outBytes() const { return from_.size(); }

  private:
    // The byte shuffles of one unit as 16-byte shuffles: output chunk k is the OR of
    // shuffle(source chunk j, masks_[k * sourceChunks_ + j]) over the source chunks. Made when
    // a unit's bytes and its output fit in 64 bytes each (every DVD LPCM group does).
    void makeMasks();

    std::vector<uint32_t> from_;
    std::vector<std::array<uint8_t, 16>> masks_;
    std::size_t sourceChunks_ = 0;
    std::size_t outChunks_ = 0;
};

// Cuts a byte stream into units of a fixed size (a group, or a block of groups). A unit that
// straddles two calls, as a group that straddles two packets does, is kept until it is whole.
class UnitCutter {
  public:
    explicit UnitCutter(std::size_t unitBytes) : unitBytes_(unitBytes) {}

    // Calls each(units, count) for the whole units in the bytes, a unit completed from the
    // bytes of earlier calls first.
    template <typename Each>
    void feed(std::span<const uint8_t> bytes, Each&& each) {
        if (!partial_.empty()) {
            const std::size_t take = std::min(unitBytes_ - partial_.size(), bytes.size());
            partial_.insert(partial_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
            bytes = bytes.subspan(take);
            if (partial_.size() < unitBytes_) return;
            each(partial_.data(), std::size_t{1});
            partial_.clear();
        }
        const std::size_t count = bytes.size() / unitBytes_;
        if (count) each(bytes.data(), count);
        partial_.assign(bytes.begin() + static_cast<long>(count * unitBytes_), bytes.end());
    }

    std::size_t pendingBytes() const { return partial_.size(); }
    std::size_t unitBytes() const { return unitBytes_; }
    // Forgets the start of a unit that damage cut off.
    void dropPending() { partial_.clear(); }

  private:
    std::size_t unitBytes_;
    std::vector<uint8_t> partial_;
};

}  // namespace kavrel::formats
