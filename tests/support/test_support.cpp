#include "tests/support/test_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "engine/markup.h"
#include "formats/subpicture_stream.h"
#include "formats/sup_file.h"

namespace kavrel::test {

namespace fs = std::filesystem;

namespace {

// Removes every folder made by tempDir when the process ends.
struct TempRoot {
    fs::path root;
    TempRoot() {
        std::string pattern = (fs::temp_directory_path() / "kavrel-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
        root = pattern;
    }
    ~TempRoot() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

TempRoot& tempRoot() {
    static TempRoot root;
    return root;
}

}  // namespace

fs::path tempDir(std::string_view tag) {
    static std::atomic<int> counter{0};
    fs::path dir = tempRoot().root / (std::string(tag) + "-" + std::to_string(counter++));
    fs::create_directories(dir);
    return dir;
}

const DvdDiscs& dvdDiscs() {
    static DvdDiscs discs;
    static std::once_flag once;
    std::call_once(once, [] {
        const fs::path out = tempDir("dvd");
        const std::string script = KAVREL_SOURCE_DIR "/tests/support/make_dvd.sh";
        if (runCommand(shellQuote(script) + " " + quoted(out)).exitCode != 0) return;
        discs = {out / "disc", out / "disc.iso", out / "split", out / "small.vob", out / "angles"};
    });
    return discs;
}

const mkdisc::Layout& sampleDisc() {
    static std::once_flag once;
    static mkdisc::Layout layout;
    std::call_once(once, [] { layout = mkdisc::writeSampleDisc(tempDir("disc")); });
    return layout;
}

bool haveTool(std::string_view name) {
    return runCommand("command -v " + shellQuote(name) + " >/dev/null 2>&1").exitCode == 0;
}

std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string quoted(const fs::path& path) {
    return shellQuote(path.string());
}

std::string cli(std::string_view arguments) {
    return shellQuote(KAVREL_CLI_PATH) + " " + std::string(arguments);
}

CommandResult checkJson(const std::string& command, const std::string& assertions) {
    const std::string script = "import json,sys; d=json.load(sys.stdin)\n" + assertions;
    return runCommand(command + " | python3 -c " + shellQuote(script));
}

std::map<std::string, std::string> probeFields(const fs::path& file, std::string_view entries) {
    const auto result = runCommand("ffprobe -v error -select_streams a:0 -show_entries " +
                                   std::string(entries) + " -of default=nw=1 " + quoted(file));
    std::map<std::string, std::string> fields;
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.insert(it->path().filename().string());
    return names;
}

CommandResult runCommand(const std::string& command) {
    fs::path errFile = tempDir("cmd") / "stderr";
    std::string full = "(" + command + ") 2>" + shellQuote(errFile.string());
    CommandResult result;
    std::FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.out.append(buffer.data(), n);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile, std::ios::binary);
    result.err.assign(std::istreambuf_iterator<char>(err), {});
    return result;
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

std::vector<uint8_t> ffmpegDecode(const fs::path& file, std::string_view raw,
                                  std::string_view inputFormat) {
    const fs::path out = tempDir("decoded") / "samples.raw";
    const std::string format = inputFormat.empty() ? "" : "-f " + std::string(inputFormat) + " ";
    const auto result =
        runCommand("ffmpeg -v error -y " + format + "-i " + quoted(file) + " -map 0:a:0 -c:a pcm_" +
                   std::string(raw) + " -f " + std::string(raw) + " " + quoted(out));
    if (result.exitCode != 0) throw std::runtime_error("ffmpeg cannot decode: " + result.err);
    return readFile(out);
}

std::vector<formats::Caption> supCaptions(const std::vector<uint8_t>& file) {
    std::vector<formats::Caption> captions;
    formats::SubpictureStream stream(
        [&](formats::Caption&& c) { captions.push_back(std::move(c)); }, nullptr);
    formats::SupReader reader(file, nullptr);
    while (auto e = reader.next()) stream.unit(e->unit, e->pts);
    stream.finish();
    return captions;
}

void RecordingHost::log(std::string_view message) {
    markup.emplace_back(message);
    lines.push_back(parseMarkup(message).plain);
}

void RecordingHost::slog(std::string_view text, int panel) {
    if (panel == 0 || panel == 1) status[panel].emplace_back(text);
}

void ShrinkingHost::pump() {
    RecordingHost::pump();
    if (pumps == 1) fs::resize_file(file_, size_);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    saved_[0] = limit.rlim_cur;
    saved_[1] = limit.rlim_max;
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("cannot limit file sizes");
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{saved_[0], saved_[1]};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler_);
}

bool containsLine(const std::vector<std::string>& lines, std::string_view line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool RecordingHost::hasLine(std::string_view plain) const {
    for (const auto& line : lines)
        if (line == plain) return true;
    return false;
}

bool RecordingHost::hasLineContaining(std::string_view part) const {
    for (const auto& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

std::string RecordingHost::text() const {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

}  // namespace kavrel::test
