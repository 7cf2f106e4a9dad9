#include "dvdvideo/video_disc.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>
#include <dvdread/ifo_read.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <memory>

#include "dvdvideo/disc_wire.h"
#include "dvdvideo/ifo_check.h"
#include "dvdvideo/ifo_values.h"
#include "dvdvideo/interleave.h"
#include "dvdvideo/pack_checks.h"
#include "dvdvideo/vob_space.h"

namespace kavrel::dvdvideo {

namespace fs = std::filesystem;

namespace {

constexpr int kScrambleCheckSectors = 32;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// libdvdread's messages would go to the terminal; the reader says what matters itself.
void quiet(void*, dvd_logger_level_t, const char*, va_list) {}

struct DvdCloser {
    void operator()(dvd_reader_t* dvd) const { DVDClose(dvd); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
using Dvd = std::unique_ptr<dvd_reader_t, DvdCloser>;
using Ifo = std::unique_ptr<ifo_handle_t, IfoCloser>;

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// The files of a VIDEO_TS folder by their upper-case names (discs copied from other systems
// may name them in lower case).
std::map<std::string, fs::path> folderFiles(const fs::path& videoTs) {
    std::map<std::string, fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(videoTs, ec))
        if (entry.is_regular_file(ec))
            files[upper(entry.path().filename().string())] = entry.path();
    return files;
}

// Where the disc's files are: a folder's VIDEO_TS, or the image file.
struct DiscPlace {
    fs::path root;     // what libdvdread opens
    fs::path videoTs;  // empty for an image
    fs::path image;    // empty for a folder
};

std::optional<DiscPlace> placeOf(const fs::path& disc, std::string& problem) {
    std::error_code ec;
    if (fs::is_regular_file(disc, ec)) return DiscPlace{disc, {}, disc};
    if (!fs::is_directory(disc, ec)) {
        problem = "no such disc: " + disc.string();
        return std::nullopt;
    }
    const fs::path dir = disc.filename().empty() ? disc.parent_path() : disc;
    if (upper(dir.filename().string()) == "VIDEO_TS") return DiscPlace{dir.parent_path(), dir, {}};
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (upper(entry.path().filename().string()) == "VIDEO_TS" && entry.is_directory(ec))
            return DiscPlace{dir, entry.path(), {}};
    problem = "no VIDEO_TS folder in " + disc.string();
    return std::nullopt;
}

// The title VOBs of a title set as pieces of the disc's files; empty when it has none.
VobSpace vobSpace(dvd_reader_t* dvd, const DiscPlace& place, int titleSet) {
    VobSpace space;
    const std::string stem = "VTS_" + twoDigits(titleSet) + "_";
    std::error_code ec;
    if (place.image.empty()) {
        const auto files = folderFiles(place.videoTs);
        for (int part = 1; part <= 9; ++part) {
            const auto found = files.find(stem + std::to_string(part) + ".VOB");
            if (found == files.end()) break;
            const uint64_t size = fs::file_size(found->second, ec);
            if (ec) break;
            space.add({found->second, 0, size / kSectorBytes});
        }
        return space;
    }
    const uint64_t imageSize = fs::file_size(place.image, ec);
    for (int part = 1; part <= 9; ++part) {
        const std::string name = "/VIDEO_TS/" + stem + std::to_string(part) + ".VOB";
        uint32_t size = 0;
        const uint32_t block = UDFFindFile(dvd, name.c_str(), &size);
        if (block == 0) break;
        const uint64_t offset = uint64_t{block} * kSectorBytes;
        if (ec || offset > imageSize) break;
        // An image cut short holds only the sectors it has.
        const uint64_t sectors = std::min<uint64_t>(size, imageSize - offset) / kSectorBytes;
        space.add({place.image, offset, sectors});
    }
    return space;
}

// The bytes of a file of the VIDEO_TS folder, in a folder or an image; none when it is not
// there or larger than any IFO.
std::optional<std::vector<uint8_t>> discFile(dvd_reader_t* dvd, const DiscPlace& place,
                                             const std::string& name) {
    constexpr uint64_t kLargestIfo = 64 << 20;
    fs::path file = place.image;
    uint64_t offset = 0, size = 0;
    std::error_code ec;
    if (place.image.empty()) {
        const auto files = folderFiles(place.videoTs);
        const auto found = files.find(name);
        if (found == files.end()) return std::nullopt;
        file = found->second;
        size = fs::file_size(file, ec);
    } else {
        uint32_t bytes = 0;
        const uint32_t block = UDFFindFile(dvd, ("/VIDEO_TS/" + name).c_str(), &bytes);
        if (block == 0) return std::nullopt;
        offset = uint64_t{block} * kSectorBytes;
        size = bytes;
    }
    if (ec || size > kLargestIfo) return std::nullopt;
    std::vector<uint8_t> out(size);
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
    out.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return out;
}

// What is wrong with the header of an IFO file or its backup copy (libdvdread reads the
// backup when the file fails); empty when neither has a fault found here.
std::string ifoProblem(dvd_reader_t* dvd, const DiscPlace& place, const std::string& stem,
                       bool vmg) {
    for (const char* extension : {".IFO", ".BUP"}) {
        const std::string name = stem + extension;
        const auto bytes = discFile(dvd, place, name);
        if (!bytes) continue;
        if (std::string damage = ifoDamage(*bytes, vmg); !damage.empty())
            return name + " is damaged: " + damage;
    }
    return {};
}

bool scrambled(const VobSpace& space) {
    const uint64_t n = std::min<uint64_t>(space.sectors(), kScrambleCheckSectors);
    for (uint64_t s = 0; s < n; ++s) {
        const auto sector = space.readSector(s);
        if (sector && packIsScrambled(*sector)) return true;
    }
    return false;
}

struct FrameShape {
    int width, height;
};

// The resolution code is bits 5-3 of the attributes' second byte (0 720, 1 704, 2 352 wide,
// 3 352 wide at half height); libdvdread's fields cut it at other places (unknown1, bit_rate,
// the top bit of picture_size), so it is put together from them.
FrameShape frameShape(const video_attr_t& video, bool pal) {
    static constexpr int kWidths[] = {720, 704, 352, 352};
    const unsigned code = video.unknown1 << 2 | video.bit_rate << 1 | video.picture_size >> 1;
    const int height = pal ? 576 : 480;
    if (code > 3) return {720, height};
    return {kWidths[code], code == 3 ? height / 2 : height};
}

double cellSeconds(const cell_playback_t& cell) {
    const dvd_time_t& t = cell.playback_time;
    return playbackSeconds(t.hour, t.minute, t.second, t.frame_u);
}

// One title set's tables and title VOBs, opened once for all its titles.
struct TitleSet {
    Ifo ifo;
    VobSpace space;
    std::string problem;  // why its titles cannot be read
};

class DiscReader {
  public:
    DiscReader(dvd_reader_t* dvd, DiscPlace place, int angle)
        : dvd_(dvd), place_(std::move(place)), angle_(angle) {}

    const TitleSet& titleSet(int n) {
        auto& set = sets_[n];
        if (set) return *set;
        set = std::make_unique<TitleSet>();
        const std::string name = "VTS_" + twoDigits(n) + "_0.IFO";
        set->problem = ifoProblem(dvd_, place_, "VTS_" + twoDigits(n) + "_0", false);
        if (!set->problem.empty()) return *set;
        set->ifo.reset(ifoOpen(dvd_, n));
        if (!set->ifo || !set->ifo->vtsi_mat || !set->ifo->vts_ptt_srpt || !set->ifo->vts_pgcit) {
            set->problem = name + " cannot be read";
            return *set;
        }
        set->space = vobSpace(dvd_, place_, n);
        if (set->space.empty())
            set->problem = "VTS_" + twoDigits(n) + "_1.VOB is missing";
        else if (scrambled(set->space))
            encrypted_ = true;
        return *set;
    }

    bool encrypted() const { return encrypted_; }

    // The title `number` of the disc's title table, or why it cannot be read.
    std::optional<VideoTitle> title(int number, const title_info_t& info, std::string& problem);

  private:
    bool addCells(VideoTitle& out, const pgc_t& pgc, const VobSpace& space, int angle,
                  std::vector<double>& cellStart, std::string& problem) const;

    dvd_reader_t* dvd_;
    DiscPlace place_;
    int angle_;
    std::map<int, std::unique_ptr<TitleSet>> sets_;
    bool encrypted_ = false;
};

// The cells of the chosen angle in chain order: the title's ranges and duration, and each
// cell's start time (a cell of another angle starts where the chosen one does).
bool DiscReader::addCells(VideoTitle& out, const pgc_t& pgc, const VobSpace& space, int angle,
                          std::vector<double>& cellStart, std::string& problem) const {
    double seconds = 0;
    int blockStart = 0;
    for (int c = 0; c < pgc.nr_of_cells; ++c) {
        const cell_playback_t& cell = pgc.cell_playback[c];
        const bool angleBlock = cell.block_type == 1 && cell.block_mode != 0;
        if (angleBlock && cell.block_mode == 1) blockStart = c;
        const bool angleCell = !angleBlock || c - blockStart == angle - 1;
        cellStart.push_back(angleBlock && c > blockStart ? cellStart[blockStart] : seconds);
        if (!angleCell) continue;
        const bool ok =
            angleBlock && cell.interleaved
                ? appendInterleavedRanges(space, cell.first_sector, cell.last_sector,
                                          out.title.ranges)
                : space.appendRanges(cell.first_sector, cell.last_sector, out.title.ranges);
        if (!ok) {
            problem = "cell " + std::to_string(c + 1) + " (sectors " +
                      std::to_string(cell.first_sector) + "-" + std::to_string(cell.last_sector) +
                      ") lies past the end of the title set's VOB files (" +
                      std::to_string(space.sectors()) + " sectors)";
            return false;
        }
        seconds += cellSeconds(cell);
        if (out.framesPerSecond == 0)
            out.framesPerSecond = framesPerSecond(cell.playback_time.frame_u);
    }
    out.title.durationSeconds = seconds;
    return true;
}

std::optional<VideoTitle> DiscReader::title(int number, const title_info_t& info,
                                            std::string& problem) {
    const TitleSet& set = titleSet(info.title_set_nr);
    if (!set.problem.empty()) {
        problem = set.problem;
        return std::nullopt;
    }
    const ifo_handle_t& ifo = *set.ifo;
    const vts_ptt_srpt_t& ptts = *ifo.vts_ptt_srpt;
    const pgcit_t& pgcit = *ifo.vts_pgcit;
    if (info.vts_ttn < 1 || info.vts_ttn > ptts.nr_of_srpts || !ptts.title ||
        ptts.title[info.vts_ttn - 1].nr_of_ptts < 1 || !ptts.title[info.vts_ttn - 1].ptt) {
        problem = "its chapter table is damaged";
        return std::nullopt;
    }
    const ttu_t& chapters = ptts.title[info.vts_ttn - 1];
    const int pgcn = chapters.ptt[0].pgcn;
    if (pgcn < 1 || pgcn > pgcit.nr_of_pgci_srp || !pgcit.pgci_srp ||
        !pgcit.pgci_srp[pgcn - 1].pgc) {
        problem = "its program chain " + std::to_string(pgcn) + " is missing";
        return std::nullopt;
    }
    const pgc_t& pgc = *pgcit.pgci_srp[pgcn - 1].pgc;
    if (pgc.nr_of_cells == 0 || !pgc.cell_playback || !pgc.program_map) {
        problem = "its program chain has no cells";
        return std::nullopt;
    }
    // A title without the chosen angle plays its only (first) one; whoever chose the angle
    // for a title checks it against the title's angles.
    const int angles = std::max(1, int{info.nr_of_angles});
    const int angle = angle_ <= angles ? angle_ : 1;

    VideoTitle out;
    out.titleSet = info.title_set_nr;
    out.titleInSet = info.vts_ttn;
    out.title.number = number;
    out.title.angles = angles;
    std::vector<double> cellStart;
    if (!addCells(out, pgc, set.space, angle, cellStart, problem)) return std::nullopt;

    for (int k = 0; k < chapters.nr_of_ptts; ++k) {
        const ptt_info_t& ptt = chapters.ptt[k];
        if (ptt.pgcn != pgcn || ptt.pgn < 1 || ptt.pgn > pgc.nr_of_programs) continue;
        const int cell = pgc.program_map[ptt.pgn - 1];
        if (cell < 1 || cell > pgc.nr_of_cells) continue;
        out.title.chapters.push_back({cellStart[static_cast<std::size_t>(cell - 1)], {}});
    }

    const vtsi_mat_t& mat = *ifo.vtsi_mat;
    const video_attr_t& video = mat.vts_video_attr;
    const bool pal = video.video_format == 1;
    const bool wide = video.display_aspect_ratio == 3;
    out.standard = pal ? "PAL" : "NTSC";
    out.aspect = wide ? "16:9" : "4:3";
    const FrameShape frame = frameShape(video, pal);
    out.title.width = frame.width;
    out.title.height = frame.height;
    out.title.tracks.push_back({StreamKind::Video,
                                streamKey(IdSpace::StreamId, 0xE0),
                                {},
                                {},
                                video.mpeg_version == 0 ? "MPEG-1" : "MPEG-2",
                                0});
    for (int a = 0; a < std::min<int>(mat.nr_of_vts_audio_streams, 8); ++a) {
        const audio_attr_t& attr = mat.vts_audio_attr[a];
        const auto coding = audioCoding(attr.audio_format, pgc.audio_control[a]);
        if (!coding) continue;
        out.title.tracks.push_back({StreamKind::Audio,
                                    coding->key,
                                    languageCode(attr.lang_code),
                                    {},
                                    coding->codec,
                                    attr.channels + 1});
    }
    for (int s = 0; s < std::min<int>(mat.nr_of_vts_subp_streams, 32); ++s) {
        const auto n = subpictureNumber(pgc.subp_control[s], wide);
        if (!n) continue;
        out.title.tracks.push_back({StreamKind::Subpicture,
                                    streamKey(IdSpace::Private1, static_cast<uint8_t>(0x20 + *n)),
                                    languageCode(mat.vts_subp_attr[s].lang_code),
                                    {},
                                    "VobSub",
                                    0});
    }
    std::array<uint32_t, 16> palette{};
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = paletteRgb(pgc.palette[i]);
    out.title.palette = palette;
    return out;
}

}  // namespace

bool looksLikeVideoDisc(const fs::path& disc) {
    std::error_code ec;
    if (fs::is_regular_file(disc, ec)) return upper(disc.extension().string()) == ".ISO";
    std::string ignored;
    return placeOf(disc, ignored).has_value();
}

namespace {

void (*childStart)() = nullptr;

// The title sets' VOB files as they are, one title per set: what can be read of a disc whose
// IFO files cannot say what plays.
std::optional<VideoDisc> readVobsHere(const fs::path& disc, std::string& problem) {
    const auto place = placeOf(disc, problem);
    if (!place) return std::nullopt;
    Dvd dvd;
    if (!place->image.empty()) {
        const dvd_logger_cb logger{quiet};
        dvd.reset(DVDOpen2(nullptr, &logger, place->root.c_str()));
        if (!dvd) {
            problem = "cannot open " + disc.string() + " as a DVD-Video disc";
            return std::nullopt;
        }
    }
    VideoDisc out;
    uint64_t longest = 0;
    for (int set = 1; set <= 99; ++set) {
        const VobSpace space = vobSpace(dvd.get(), *place, set);
        if (space.empty()) continue;
        if (scrambled(space)) {
            problem = std::string(kEncryptedDisc);
            return std::nullopt;
        }
        VideoTitle title;
        title.titleSet = set;
        title.title.number = set;
        title.title.name = "VTS_" + twoDigits(set);
        if (!space.appendRanges(0, space.sectors() - 1, title.title.ranges)) continue;
        const uint64_t bytes = title.title.totalBytes();
        if (out.titles.empty() || bytes > longest) longest = bytes;
        out.titles.push_back(std::move(title));
    }
    if (out.titles.empty()) {
        problem = "no title VOB file (VTS_nn_1.VOB) on the disc";
        return std::nullopt;
    }
    for (VideoTitle& title : out.titles)
        if (title.title.totalBytes() == longest) {
            title.title.mainFeature = true;
            break;
        }
    return out;
}

// The reading itself, in this process.

std::optional<VideoDisc> readHere(const fs::path& disc, int angle, std::string& problem) {
    const auto place = placeOf(disc, problem);
    if (!place) return std::nullopt;
    if (place->image.empty() && !folderFiles(place->videoTs).contains("VIDEO_TS.IFO")) {
        problem = "no VIDEO_TS.IFO in " + place->videoTs.string();
        return std::nullopt;
    }
    const dvd_logger_cb logger{quiet};
    Dvd dvd(DVDOpen2(nullptr, &logger, place->root.c_str()));
    if (!dvd) {
        problem = "cannot open " + disc.string() + " as a DVD-Video disc";
        return std::nullopt;
    }
    if (!place->image.empty() && !discFile(dvd.get(), *place, "VIDEO_TS.IFO")) {
        problem = "no VIDEO_TS.IFO in " + disc.string() + ": it is no DVD-Video image";
        return std::nullopt;
    }
    problem = ifoProblem(dvd.get(), *place, "VIDEO_TS", true);
    if (!problem.empty()) return std::nullopt;
    Ifo vmg(ifoOpen(dvd.get(), 0));
    if (!vmg || !vmg->vmgi_mat || !vmg->tt_srpt || !vmg->tt_srpt->title ||
        vmg->tt_srpt->nr_of_srpts == 0) {
        problem = "VIDEO_TS.IFO is damaged: it lists no title";
        return std::nullopt;
    }
    DiscReader reader(dvd.get(), *place, angle);
    VideoDisc out;
    const tt_srpt_t& table = *vmg->tt_srpt;
    for (int i = 0; i < table.nr_of_srpts; ++i) {
        const title_info_t& info = table.title[i];
        std::string why;
        std::optional<VideoTitle> title;
        if (info.title_set_nr < 1 || info.title_set_nr > vmg->vmgi_mat->vmg_nr_of_title_sets)
            why = "its title set " + std::to_string(info.title_set_nr) + " is not on the disc";
        else
            title = reader.title(i + 1, info, why);
        if (reader.encrypted()) {
            problem = std::string(kEncryptedDisc);
            return std::nullopt;
        }
        if (title)
            out.titles.push_back(std::move(*title));
        else
            out.problems.push_back("title " + std::to_string(i + 1) + ": " + why);
    }
    if (out.titles.empty()) {
        problem = out.problems.front();
        return std::nullopt;
    }
    auto longest = std::max_element(out.titles.begin(), out.titles.end(), [](auto& a, auto& b) {
        return a.title.durationSeconds < b.title.durationSeconds;
    });
    longest->title.mainFeature = true;
    return out;
}

}  // namespace

void setReaderChildStart(void (*start)()) {
    childStart = start;
}

namespace {

// libdvdread trusts more of the disc than a damaged one deserves, and a fault inside it would
// end the program. So `readHere` runs in a child process that hands the titles back through a
// pipe; a child that dies says the disc's files are damaged.
template <typename Read>
std::optional<VideoDisc> readInChild(Read readHere, std::string_view died, std::string& problem) {
    int fds[2];
    if (pipe(fds) != 0) return readHere(problem);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return readHere(problem);
    }
    if (child == 0) {
        if (childStart) childStart();
        close(fds[0]);
        int code = 1;
        try {
            std::string why;
            const auto read = readHere(why);
            const std::string bytes = encodeDisc(read, why);
            std::size_t at = 0;
            while (at < bytes.size()) {
                const ssize_t n = write(fds[1], bytes.data() + at, bytes.size() - at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            code = at == bytes.size() ? 0 : 1;
        } catch (...) {
        }
        _exit(code);
    }
    close(fds[1]);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::optional<VideoDisc> out;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !decodeDisc(bytes, out, problem)) {
        problem = died;
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::optional<VideoDisc> readVideoDisc(const fs::path& disc, int angle, std::string& problem) {
    return readInChild([&](std::string& why) { return readHere(disc, angle, why); },
                       "the disc's IFO files are damaged: reading them failed", problem);
}

std::optional<VideoDisc> readVobTitleSets(const fs::path& disc, std::string& problem) {
    return readInChild([&](std::string& why) { return readVobsHere(disc, why); },
                       "the disc's file system is damaged: reading it failed", problem);
}

std::optional<VideoDisc> readVideoDiscOrVobs(const fs::path& disc, int angle,
                                             std::string& problem) {
    std::optional<VideoDisc> read = readVideoDisc(disc, angle, problem);
    if (read || problem == kEncryptedDisc) return read;
    std::string why;
    read = readVobTitleSets(disc, why);
    if (read)
        read->problems.insert(read->problems.begin(),
                              problem +
                                  "; the VOB files are read as they are, one title per "
                                  "title set");
    else if (why == kEncryptedDisc)
        problem = why;
    return read;
}

}  // namespace kavrel::dvdvideo
