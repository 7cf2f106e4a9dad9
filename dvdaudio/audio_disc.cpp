#include "dvdaudio/audio_disc.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <memory>
#include <optional>

#include "dvdaudio/audio_manager.h"
#include "engine/io.h"
#include "engine/pes_header.h"
#include "engine/run_state.h"

namespace kavrel::dvdaudio {

namespace fs = std::filesystem;

namespace {

constexpr int kTitleSetsMax = 99;
constexpr int kAudioObjectsMax = 9;
// A track table is a few KiB; a larger IFO is not read whole.
constexpr uint64_t kIfoBytesMax = 16 * kMiB;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string twoDigits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// The files of one title set: where its IFO (none: missing) and each audio object lie (in
// their own files, or in the image).
struct TitleSetFiles {
    int number = 0;
    std::optional<ByteRange> ifo;
    std::vector<fs::path> objects;
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> sizes;
};

struct DiscFiles {
    std::optional<ByteRange> manager;  // AUDIO_TS.IFO
    std::vector<TitleSetFiles> sets;
};

// The file of that name in the folder, whatever the case of its name on disk.
fs::path findIn(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    for (const std::string& candidate :
         {name, [&] {
              std::string lower = name;
              for (char& c : lower)
                  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
              return lower;
          }()}) {
        const fs::path path = folder / candidate;
        if (fs::is_regular_file(path, ec)) return path;
    }
    return {};
}

fs::path audioFolder(const fs::path& path) {
    std::error_code ec;
    if (upper(path.filename().string()) == "AUDIO_TS" && fs::is_directory(path, ec)) return path;
    for (const char* name : {"AUDIO_TS", "audio_ts"})
        if (fs::is_directory(path / name, ec)) return path / name;
    return {};
}

bool isImage(const fs::path& path) {
    std::error_code ec;
    return upper(path.extension().string()) == ".ISO" && fs::is_regular_file(path, ec);
}

DiscFiles folderFiles(const fs::path& folder) {
    DiscFiles disc;
    std::error_code ec;
    if (const fs::path amg = findIn(folder, "AUDIO_TS.IFO"); !amg.empty())
        disc.manager = ByteRange{amg, 0, fs::file_size(amg, ec)};
    for (int n = 1; n <= kTitleSetsMax; ++n) {
        const std::string stem = "ATS_" + twoDigits(n) + "_";
        const fs::path ifo = findIn(folder, stem + "0.IFO");
        // A title set whose IFO is lost is still there while its first audio object is.
        if (ifo.empty() && findIn(folder, stem + "1.AOB").empty()) continue;
        TitleSetFiles set;
        set.number = n;
        if (!ifo.empty()) set.ifo = ByteRange{ifo, 0, fs::file_size(ifo, ec)};
        for (int k = 1; k <= kAudioObjectsMax; ++k) {
            const fs::path aob = findIn(folder, stem + std::to_string(k) + ".AOB");
            if (aob.empty()) break;
            set.objects.push_back(aob);
            set.offsets.push_back(0);
            set.sizes.push_back(fs::file_size(aob, ec));
        }
        disc.sets.push_back(std::move(set));
    }
    return disc;
}

// libdvdread's messages (no CSS library, …) are not the user's business here.
void quiet(void*, dvd_logger_level_t, const char*, va_list) {}

const dvd_logger_cb kQuiet{quiet};

struct DvdCloser {
    void operator()(dvd_reader_t* dvd) const { DVDClose(dvd); }
};

DiscFiles imageFiles(const fs::path& image) {
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd(DVDOpen2(nullptr, &kQuiet, image.c_str()));
    if (!dvd) throw IoError("Cannot read " + image.string() + " as a disc image");
    auto find = [&](const std::string& name, ByteRange& range) {
        uint32_t size = 0;
        const uint32_t block = UDFFindFile(dvd.get(), ("/AUDIO_TS/" + name).c_str(), &size);
        if (block == 0) return false;
        range = {image, uint64_t{block} * kPackSize, size};
        return true;
    };
    DiscFiles disc;
    if (ByteRange amg; find("AUDIO_TS.IFO", amg)) disc.manager = amg;
    for (int n = 1; n <= kTitleSetsMax; ++n) {
        const std::string stem = "ATS_" + twoDigits(n) + "_";
        TitleSetFiles set;
        set.number = n;
        if (ByteRange ifo; find(stem + "0.IFO", ifo)) set.ifo = ifo;
        for (int k = 1; k <= kAudioObjectsMax; ++k) {
            ByteRange aob;
            if (!find(stem + std::to_string(k) + ".AOB", aob)) break;
            set.objects.push_back(image);
            set.offsets.push_back(aob.offset);
            set.sizes.push_back(aob.length);
        }
        if (set.ifo || !set.objects.empty()) disc.sets.push_back(std::move(set));
    }
    return disc;
}

std::vector<uint8_t> readIfo(const ByteRange& range) {
    if (range.length > kIfoBytesMax) throw IoError("it is too large to hold a track table");
    if (range.length == 0) return {};
    InputFile input(std::vector<ByteRange>{range});
    return readUpTo(input, static_cast<std::size_t>(range.length));
}

// The titles of one title set, their tracks placed in its audio objects; else why the set's
// track table cannot be used.
std::string readTitleSet(const TitleSetFiles& set, const TitleGroups& groups,
                         std::vector<DiscAudioTitle>& titles) {
    const std::string name = "ATS_" + twoDigits(set.number) + "_0.IFO";
    if (!set.ifo) return name + " is missing";
    TrackTable table;
    try {
        table = readTrackTable(readIfo(*set.ifo));
    } catch (const IoError& e) {
        return name + " is damaged: " + e.what();
    }
    if (!table.error.empty()) return name + " is damaged: " + table.error;
    for (const AudioTitle& title : table.titles) {
        DiscAudioTitle out;
        out.titleSet = set.number;
        out.numberInSet = title.number;
        out.group = groups.of(set.number, title.number);
        out.ticks = title.ticks;
        for (const AudioTrack& track : title.tracks) {
            auto ranges = sectorRanges(set.objects, set.offsets, set.sizes, track.firstSector,
                                       track.lastSector);
            if (ranges.empty())
                return name + " is damaged: title " + std::to_string(title.number) + " track " +
                       std::to_string(track.number) + " (sectors " +
                       std::to_string(track.firstSector) + " to " +
                       std::to_string(track.lastSector) +
                       ") lies past the end of the title set's audio objects";
            out.tracks.push_back({track, std::move(ranges)});
        }
        titles.push_back(std::move(out));
    }
    return {};
}

}  // namespace

DiscTitle DiscAudioTitle::discTitle() const {
    DiscTitle title;
    title.number = number;
    title.durationSeconds = seconds();
    double start = 0;
    for (const DiscTrack& track : tracks) {
        title.ranges.insert(title.ranges.end(), track.ranges.begin(), track.ranges.end());
        title.chapters.push_back({start, "Track " + twoDigits(track.track.number)});
        start += track.track.seconds();
    }
    if (!tracks.empty()) {
        TitleTrack audio;
        audio.kind = StreamKind::Audio;
        audio.codec = "LPCM";
        audio.channels = tracks.front().track.format.channels();
        title.tracks.push_back(audio);
    }
    return title;
}

bool looksLikeAudioDisc(const fs::path& path) {
    if (isImage(path)) {
        std::unique_ptr<dvd_reader_t, DvdCloser> dvd(DVDOpen2(nullptr, &kQuiet, path.c_str()));
        uint32_t size = 0;
        auto has = [&](const char* name) { return UDFFindFile(dvd.get(), name, &size) != 0; };
        return dvd && (has("/AUDIO_TS/ATS_01_0.IFO") ||
                       (has("/AUDIO_TS/AUDIO_TS.IFO") && has("/AUDIO_TS/ATS_01_1.AOB")));
    }
    // AOB files alone are no disc (sample objects beside an HD DVD's); with the audio manager
    // they are one whose first title set lost its IFO.
    const fs::path folder = audioFolder(path);
    return !folder.empty() &&
           (!findIn(folder, "ATS_01_0.IFO").empty() ||
            (!findIn(folder, "AUDIO_TS.IFO").empty() && !findIn(folder, "ATS_01_1.AOB").empty()));
}

std::vector<ByteRange> sectorRanges(const std::vector<fs::path>& files,
                                    const std::vector<uint64_t>& offsets,
                                    const std::vector<uint64_t>& sizes, uint32_t first,
                                    uint32_t last) {
    std::vector<ByteRange> ranges;
    uint64_t partStart = 0;  // the first sector of the part, counted across the parts
    uint64_t next = first;   // the first sector not placed yet
    for (std::size_t i = 0; i < files.size() && next <= last; ++i) {
        // A part whose size is not whole sectors still gives every byte it holds.
        const uint64_t sectors = (sizes[i] + kPackSize - 1) / kPackSize;
        const uint64_t partEnd = partStart + sectors;
        if (next < partEnd) {
            const uint64_t end = std::min<uint64_t>(uint64_t{last} + 1, partEnd);
            const uint64_t from = (next - partStart) * kPackSize;
            const uint64_t to = std::min((end - partStart) * kPackSize, sizes[i]);
            ranges.push_back({files[i], offsets[i] + from, to - from});
            next = end;
        }
        partStart = partEnd;
    }
    if (next <= last) return {};
    return ranges;
}

AudioDisc readAudioDisc(const fs::path& path) {
    AudioDisc disc;
    disc.source = path;
    try {
        DiscFiles files;
        if (isImage(path)) {
            files = imageFiles(path);
        } else {
            const fs::path folder = audioFolder(path);
            if (folder.empty()) {
                disc.error = path.string() + " holds no AUDIO_TS folder";
                return disc;
            }
            files = folderFiles(folder);
        }
        if (files.sets.empty()) {
            disc.error = path.string() + " holds no title set (AUDIO_TS/ATS_01_0.IFO)";
            return disc;
        }
        TitleGroups groups;
        if (files.manager) {
            try {
                groups = readTitleGroups(readIfo(*files.manager));
            } catch (const IoError&) {
                // Without the manager every title is in group 1.
            }
        }
        for (const TitleSetFiles& set : files.sets) {
            std::vector<DiscAudioTitle> titles;
            const std::string problem = readTitleSet(set, groups, titles);
            if (problem.empty()) {
                for (DiscAudioTitle& title : titles) {
                    title.number = static_cast<int>(disc.titles.size()) + 1;
                    disc.titles.push_back(std::move(title));
                }
                continue;
            }
            DamagedTitleSet damaged{set.number, problem, {}};
            for (std::size_t k = 0; k < set.objects.size(); ++k)
                damaged.objects.push_back({set.objects[k], set.offsets[k], set.sizes[k]});
            disc.damaged.push_back(std::move(damaged));
        }
        if (disc.titles.empty()) {
            for (const DamagedTitleSet& set : disc.damaged)
                disc.error += (disc.error.empty() ? "" : "; ") + set.problem;
        }
    } catch (const std::exception& e) {
        disc.titles.clear();
        disc.damaged.clear();
        disc.error = e.what();
    }
    return disc;
}

}  // namespace kavrel::dvdaudio
