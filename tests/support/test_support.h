#pragma once
// Shared helpers of the tests: temporary folders, the generated sample disc, external tools
// (ffmpeg, ffprobe, the command-line tool) and a host that records what the engine reports.
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host.h"
#include "engine/run_state.h"
#include "formats/subpicture.h"
#include "tools/mkdisc/mkdisc.h"

namespace kavrel::test {

// A new empty folder under the system's temporary folder, removed when the process ends.
std::filesystem::path tempDir(std::string_view tag);

// The sample disc with default options, generated once per process.
const mkdisc::Layout& sampleDisc();

// Small DVD-Video discs made by tests/support/make_dvd.sh (ffmpeg, spumux, dvdauthor,
// genisoimage), generated once per process; empty paths when a tool is missing.
struct DvdDiscs {
    std::filesystem::path
        folder;  // holds VIDEO_TS: title 1 (4 chapters, 2 audio, 2 subtitles), title 2
    std::filesystem::path iso;       // the same disc as an image
    std::filesystem::path split;     // the same disc, VTS_01_1.VOB split into _1 and _2
    std::filesystem::path smallVob;  // title 2's VOB alone
    std::filesystem::path angles;    // title 1: one angle block of two 2 s angles
};
const DvdDiscs& dvdDiscs();

// Peak memory is a meaningful bound only without AddressSanitizer, whose shadow memory and
// quarantine multiply every process's footprint.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPeakMemoryIsMeasurable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPeakMemoryIsMeasurable = false;
#else
inline constexpr bool kPeakMemoryIsMeasurable = true;
#endif
#else
inline constexpr bool kPeakMemoryIsMeasurable = true;
#endif

// Whether a program is on the PATH (ffmpeg, ffprobe …).
bool haveTool(std::string_view name);

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a shell command, capturing stdout and stderr.
CommandResult runCommand(const std::string& command);
// Quotes a path or word for the shell.
std::string shellQuote(std::string_view text);
std::string quoted(const std::filesystem::path& path);
// The shell command that runs kavrel-cli with these arguments (quoted by the caller).
std::string cli(std::string_view arguments);
// Runs python3 on the command's stdout: the script sees the JSON document as d.
CommandResult checkJson(const std::string& command, const std::string& assertions);
// ffprobe's values of the first audio stream's entries ("stream=sample_rate,channels"), by
// name; none when ffprobe fails.
std::map<std::string, std::string> probeFields(const std::filesystem::path& file,
                                               std::string_view entries);
// The names of the entries of a folder; none when it does not exist.
std::set<std::string> filesIn(const std::filesystem::path& dir);

std::vector<uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// The little-endian 32-bit field at a byte offset (WAV headers).
uint32_t le32(const std::vector<uint8_t>& bytes, std::size_t at);
// ffmpeg's decode of the first audio stream as raw samples ("s16le", "s24le"); `inputFormat`
// names the demuxer where ffmpeg cannot tell it from the file.
std::vector<uint8_t> ffmpegDecode(const std::filesystem::path& file, std::string_view raw,
                                  std::string_view inputFormat = {});
// The captions of a subpicture .sup file, decoded and timed as a conversion shows them.
std::vector<formats::Caption> supCaptions(const std::vector<uint8_t>& file);

// Records every log line (markup and plain) and every status text.
class RecordingHost : public EngineHost {
  public:
    void log(std::string_view markup) override;
    void slog(std::string_view text, int panel) override;
    void pump() override { ++pumps; }
    void repaint() override { ++repaints; }

    std::vector<std::string> markup;  // as logged
    std::vector<std::string> lines;   // plain text of each
    std::vector<std::string> status[2];
    int pumps = 0;
    int repaints = 0;

    bool hasLine(std::string_view plain) const;  // an exact line
    bool hasLineContaining(std::string_view part) const;
    std::string text() const;  // every plain line, each followed by "\n"
};

// A host that asks to stop at the first progress report, as a Cancel click (answered Yes) or
// Ctrl-C would.
class CancellingHost : public RecordingHost {
  public:
    explicit CancellingHost(RunState& state) : state_(state) {}
    void pump() override {
        RecordingHost::pump();
        state_.stopFlag = true;
    }

  private:
    RunState& state_;
};

// A host that cuts a file short at the first progress report, as a copy still being written or
// a damaged medium does while it is read.
class ShrinkingHost : public RecordingHost {
  public:
    ShrinkingHost(std::filesystem::path file, uint64_t size)
        : file_(std::move(file)), size_(size) {}
    void pump() override;

  private:
    std::filesystem::path file_;
    uint64_t size_;
};

// While it lives, files this process writes may not grow past `bytes` (RLIMIT_FSIZE), and
// SIGXFSZ is ignored, so a write past the limit fails with EFBIG as one on a full disk fails.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    uint64_t saved_[2];  // the soft and hard limits before
    void (*savedHandler_)(int);
};

// Whether one of the lines is exactly `line`.
bool containsLine(const std::vector<std::string>& lines, std::string_view line);

}  // namespace kavrel::test
