#include "dvdaudio/track_table.h"

#include "formats/aob_lpcm.h"
#include "formats/wav_writer.h"

namespace kavrel::dvdaudio {

namespace {

constexpr std::string_view kMagic = "DVDAUDIO-ATS";
constexpr std::size_t kFormatTable = 0x100;
constexpr std::size_t kFormatEntry = 16;
constexpr std::size_t kTitleTable = 0x800;
constexpr std::size_t kTitleEntry = 8;
constexpr std::size_t kTrackRecord = 20;
constexpr std::size_t kSectorRecord = 12;

// Big-endian reads that fail, instead of reading past the end, when the bytes are not there.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool has(std::size_t at, std::size_t size) const {
        return at <= bytes_.size() && size <= bytes_.size() - at;
    }
    std::optional<uint32_t> u(std::size_t at, std::size_t size) const {
        if (!has(at, size)) return std::nullopt;
        uint32_t v = 0;
        for (std::size_t i = 0; i < size; ++i) v = v << 8 | bytes_[at + i];
        return v;
    }

  private:
    std::span<const uint8_t> bytes_;
};

std::optional<int> bitsOf(int code) {
    if (code > 2) return std::nullopt;
    return 16 + 4 * code;
}

std::optional<uint32_t> rateOf(int code) {
    static constexpr uint32_t kRates[16] = {48000, 96000, 192000, 0, 0, 0, 0, 0,
                                            44100, 88200, 176400, 0, 0, 0, 0, 0};
    const uint32_t rate = kRates[code & 0xF];
    if (!rate) return std::nullopt;
    return rate;
}

std::optional<TrackFormat> formatAt(const Reader& ifo, std::size_t index) {
    const std::size_t at = kFormatTable + kFormatEntry * index;
    const auto bits = ifo.u(at + 2, 1), rates = ifo.u(at + 3, 1), assignment = ifo.u(at + 4, 1);
    if (!bits || !rates || !assignment) return std::nullopt;
    const auto speakers = formats::channelAssignment(static_cast<int>(*assignment));
    const auto bits1 = bitsOf(static_cast<int>(*bits >> 4));
    const auto rate1 = rateOf(static_cast<int>(*rates >> 4));
    if (!speakers || !bits1 || !rate1) return std::nullopt;
    TrackFormat format;
    format.assignment = static_cast<int>(*assignment);
    format.bits[0] = *bits1;
    format.sampleRate[0] = *rate1;
    if (speakers->channels > speakers->group1) {
        const auto bits2 = bitsOf(static_cast<int>(*bits & 0xF));
        const auto rate2 = rateOf(static_cast<int>(*rates & 0xF));
        if (!bits2 || !rate2) return std::nullopt;
        format.bits[1] = *bits2;
        format.sampleRate[1] = *rate2;
    }
    return format;
}

std::string speakerName(uint32_t speaker) {
    using namespace formats::speaker;
    switch (speaker) {
        case kFrontLeft:
            return "L";
        case kFrontRight:
            return "R";
        case kFrontCenter:
            return "C";
        case kLowFrequency:
            return "LFE";
        case kBackLeft:
            return "Ls";
        case kBackRight:
            return "Rs";
        case kBackCenter:
            return "S";
        default:
            return "?";
    }
}

TrackTable failure(std::string why) {
    TrackTable table;
    table.error = std::move(why);
    return table;
}

// One title's record at `at`: its tracks and their sectors. Empty text when fine.
std::string readTitle(const Reader& ifo, std::size_t at, AudioTitle& title) {
    const auto tracks = ifo.u(at + 2, 1), ticks = ifo.u(at + 4, 4);
    const auto trackAt = ifo.u(at + 10, 2), sectorAt = ifo.u(at + 12, 2);
    if (!tracks || !ticks || !trackAt || !sectorAt) return "its record lies past the file's end";
    if (*tracks == 0) return "it has no track";
    title.ticks = *ticks;
    for (std::size_t t = 0; t < *tracks; ++t) {
        const std::size_t track = at + *trackAt + kTrackRecord * t;
        const std::size_t sectors = at + *sectorAt + kSectorRecord * t;
        const auto flags = ifo.u(track, 2), number = ifo.u(track + 4, 1);
        const auto length = ifo.u(track + 10, 4);
        const auto first = ifo.u(sectors + 4, 4), last = ifo.u(sectors + 8, 4);
        if (!flags || !number || !length || !first || !last)
            return "track " + std::to_string(t + 1) + " lies past the file's end";
        // Bits 11-13 index the format table; bits 14-15 mark a title's first track.
        const auto format = formatAt(ifo, *flags >> 11 & 0x7);
        if (!format) return "track " + std::to_string(t + 1) + " has no valid sample format";
        if (*last < *first)
            return "track " + std::to_string(t + 1) + " ends at sector " + std::to_string(*last) +
                   ", before its first sector " + std::to_string(*first);
        title.tracks.push_back({static_cast<int>(*number), *length, *format, *first, *last});
    }
    return {};
}

}  // namespace

int TrackFormat::channels() const {
    const auto speakers = formats::channelAssignment(assignment);
    return speakers ? speakers->channels : 0;
}

std::array<std::string, 2> TrackFormat::channelNames() const {
    std::array<std::string, 2> names;
    const auto speakers = formats::channelAssignment(assignment);
    if (!speakers) return names;
    for (int c = 0; c < speakers->channels; ++c) {
        std::string& group = names[c < speakers->group1 ? 0 : 1];
        if (!group.empty()) group += ' ';
        group += speakerName(speakers->speakers[static_cast<std::size_t>(c)]);
    }
    return names;
}

TrackTable readTrackTable(std::span<const uint8_t> bytes) {
    const Reader ifo(bytes);
    if (!ifo.has(0, kMagic.size()) ||
        std::string_view(reinterpret_cast<const char*>(bytes.data()), kMagic.size()) != kMagic)
        return failure("it does not begin with " + std::string(kMagic));
    const auto count = ifo.u(kTitleTable, 2);
    if (!count) return failure("its title table lies past the file's end");
    if (*count == 0) return failure("its title table lists no title");
    TrackTable table;
    for (std::size_t t = 0; t < *count; ++t) {
        const auto offset = ifo.u(kTitleTable + kTitleEntry * (t + 1) + 4, 4);
        AudioTitle title;
        title.number = static_cast<int>(t + 1);
        const std::string problem = offset ? readTitle(ifo, kTitleTable + *offset, title)
                                           : "its entry lies past the file's end";
        if (!problem.empty())
            return failure("title " + std::to_string(t + 1) + " cannot be read: " + problem);
        table.titles.push_back(std::move(title));
    }
    return table;
}

}  // namespace kavrel::dvdaudio
