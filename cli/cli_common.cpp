#include "cli/cli_common.h"

#include <unistd.h>

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "cli/standard_output.h"
#include "engine/markup.h"

namespace kavrel::cli {

// ---- ConsoleHost ---------------------------------------------------------------------------

ConsoleHost::ConsoleHost(bool silent, bool showStatus)
    : silent_(silent), statusOnTerminal_(showStatus && isatty(2) == 1) {
    // A reader that goes away ("| head") must not end a demux half-way: the log lines are
    // then simply not shown.
    std::signal(SIGPIPE, SIG_IGN);
}

ConsoleHost::~ConsoleHost() {
    clearStatus();
}

void ConsoleHost::log(std::string_view markup) {
    MarkupLine line = parseMarkup(markup);
    if (!silent_) {
        bool redraw = statusShown_;
        if (redraw) std::fputs("\r\x1b[K", stderr);
        writeOut(line.plain, true);
        flushOut();
        statusShown_ = false;
        if (redraw) drawStatus();
    }
    messages_.push_back(std::move(line.plain));
}

void ConsoleHost::slog(std::string_view text, int panel) {
    if (panel < 0 || panel > 1) return;
    panels_[static_cast<std::size_t>(panel)] = std::string(text);
    drawStatus();
}

void ConsoleHost::drawStatus() {
    if (!statusOnTerminal_) return;
    std::string line = panels_[0];
    if (!panels_[1].empty()) line += "  " + panels_[1];
    // Trim blanks so an emptied status panel erases the line instead of leaving a gap.
    auto first = line.find_first_not_of(' ');
    line = first == std::string::npos ? std::string() : line.substr(first);
    std::fputs("\r\x1b[K", stderr);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    statusShown_ = !line.empty();
}

void ConsoleHost::clearStatus() {
    if (!statusOnTerminal_ || !statusShown_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    statusShown_ = false;
}

// ---- Ctrl-C, SIGTERM, SIGHUP ---------------------------------------------------------------

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Plain atomics of a lock-free type: the only things a signal handler may touch.
std::atomic<std::atomic<bool>*> gStopFlag{nullptr};
std::atomic<bool> gInterrupted{false};
std::atomic<int> gSignal{0};  // the first stop signal of the run

// Every stop signal, however often it comes, asks for the same clean stop: the run ends at the
// next chunk, stops its mkvmerge and removes what it left unfinished.
extern "C" void onInterrupt(int signal) {
    int none = 0;
    gSignal.compare_exchange_strong(none, signal);
    gInterrupted.store(true);
    if (std::atomic<bool>* flag = gStopFlag.load()) flag->store(true);
}

void handleStopSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;  // a read or write under way goes on; the run stops after it
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace

InterruptGuard::InterruptGuard(std::atomic<bool>& stop) {
    gInterrupted.store(false);
    gSignal.store(0);
    gStopFlag.store(&stop);
    handleStopSignals(onInterrupt);
}

InterruptGuard::~InterruptGuard() {
    handleStopSignals(SIG_DFL);
    gStopFlag.store(nullptr);
}

int interruptedExitCode() {
    const int signal = gSignal.load();
    return signal ? 128 + signal : kExitInterrupted;
}

bool interrupted() {
    return gInterrupted.load();
}

void ConsoleHost::pump() {
    if (!gInterrupted.load()) return;
    if (std::atomic<bool>* flag = gStopFlag.load()) flag->store(true);
}

// ---- Options -------------------------------------------------------------------------------

namespace {

bool isBlankOrComma(char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\n';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Parses one item such as "v1", "a03" or "S15" into its slot, or -1.
int parseStreamItem(std::string_view item) {
    if (item.size() < 2) return -1;
    char kind = lower(item[0]);
    std::string_view digits = item.substr(1);
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
        if (number > 99) return -1;  // also keeps "a000…0001"-style input bounded
    }
    switch (kind) {
        case 'v':
            return number <= 1 ? videoSlot(number) : -1;
        case 'a':
            return number <= 15 ? audioSlot(number) : -1;
        case 's':
            return number <= 15 ? subSlot(number) : -1;
        default:
            return -1;
    }
}

// A file extension as the user typed it, without a leading dot; empty when unusable.
std::string cleanExtension(std::string_view ext) {
    if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
    if (ext.empty() || ext.find('/') != std::string_view::npos) return {};
    return std::string(ext);
}

}  // namespace

std::optional<std::array<bool, kSlotCount>> parseStreamList(std::string_view list,
                                                            std::string& error) {
    std::array<bool, kSlotCount> slots{};
    bool any = false;
    std::size_t pos = 0;
    while (pos < list.size()) {
        if (isBlankOrComma(list[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < list.size() && !isBlankOrComma(list[end])) ++end;
        std::string_view item = list.substr(pos, end - pos);
        int slot = parseStreamItem(item);
        if (slot < 0) {
            error = "unknown stream '" + std::string(item) + "' (use v0 v1 a0..a15 s0..s15)";
            return std::nullopt;
        }
        slots[static_cast<std::size_t>(slot)] = true;
        any = true;
        pos = end;
    }
    if (!any) {
        error = "the stream list is empty (use v0 v1 a0..a15 s0..s15)";
        return std::nullopt;
    }
    return slots;
}

int usageError(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "kavrel-cli %.*s: %.*s\nTry 'kavrel-cli %.*s --help'.\n",
                 static_cast<int>(command.size()), command.data(), static_cast<int>(message.size()),
                 message.data(), static_cast<int>(command.size()), command.data());
    return kExitUsage;
}

int failure(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "kavrel-cli %.*s: %.*s\n", static_cast<int>(command.size()),
                 command.data(), static_cast<int>(message.size()), message.data());
    return kExitFailure;
}

void addCommonOptions(CommandLine& line, CommonOptions& options) {
    CLI::App& app = line.app;
    app.add_flag("-q,--quiet", options.quiet, "print no log lines");
    app.add_flag("--json", options.json, "print one JSON document instead of the log");
    app.add_flag_callback(
        "--no-continue", [&options] { options.run.cont = false; },
        "do not continue on the follow-on file (FEATURE_2.EVO …)");
    app.add_flag_callback(
        "--no-fast-check", [&options] { options.run.scan.fastCheck = false; },
        "read the whole input, not only its first 300 MB");
    app.add_flag_callback(
        "--no-count-frames", [&options] { options.run.scan.countFrames = false; },
        "do not count video frames");
    app.add_flag_callback(
        "--no-details", [&options] { options.run.scan.details = false; },
        "no first PTS, sub-stream ids or stream formats");
    app.add_option("--title", options.title,
                   "the title of a disc folder or playlist to read (default: the main feature)")
        ->type_name("N")
        ->check(CLI::PositiveNumber.description(""));
    app.add_option("--angle", options.angle,
                   "the angle a DVD-Video title with several plays (default: 1)")
        ->type_name("N")
        ->check(CLI::Range(1, 9).description(""));
    app.add_option("input", options.inputs,
                   "the EVO, VOB or AOB file, or a disc folder or its ADV_OBJ/VPLST000.XPL");
}

void addWriteOptions(CommandLine& line, CommonOptions& options) {
    CLI::App& app = line.app;
    app.add_option_function<std::string>(
           "-o,--out",
           [&options](const std::string& folder) {
               if (folder.empty()) throw CLI::ValidationError("the output folder is empty");
               options.run.workdir = folder;
               options.outGiven = true;
           },
           "write into DIR (made when missing; default: the input's folder)")
        ->type_name("DIR");
    addStreamsOption(line, options);
}

void addStreamsOption(CommandLine& line, CommonOptions& options) {
    CLI::App& app = line.app;
    // Each -s takes one word; several -s add up. Blanks within the word ("v0 a1") separate too.
    app.add_option_function<std::vector<std::string>>(
           "-s,--streams",
           [&options](const std::vector<std::string>& lists) {
               if (!options.streams) options.streams.emplace();
               for (const std::string& list : lists) {
                   std::string error;
                   const auto slots = parseStreamList(list, error);
                   if (!slots) throw CLI::ValidationError(error);
                   for (std::size_t s = 0; s < slots->size(); ++s)
                       (*options.streams)[s] = (*options.streams)[s] || (*slots)[s];
               }
           },
           "the streams: v0 v1 a0..a15 s0..s15, separated by commas\n(default: every stream "
           "found)")
        ->type_name("LIST")
        ->allow_extra_args(false);
}

void addExtensionOptions(CommandLine& line, RunOptions& run) {
    struct Extension {
        const char* name;
        std::string RunOptions::*field;
        const char* help;
    };
    for (const Extension& e :
         {Extension{"--video-ext", &RunOptions::videoExt, "extension of video files (default mpv)"},
          Extension{"--audio-ext", &RunOptions::audioExt, "extension of audio files (default mpa)"},
          Extension{"--sub-ext", &RunOptions::subExt,
                    "extension of subpicture files (default sup)"}}) {
        line.app
            .add_option_function<std::string>(
                e.name,
                [&run, field = e.field](const std::string& value) {
                    std::string ext = cleanExtension(value);
                    if (ext.empty()) throw CLI::ValidationError("bad extension '" + value + "'");
                    run.*field = std::move(ext);
                },
                e.help)
            ->type_name("EXT");
    }
}

int singleInput(const CommonOptions& options, std::string_view command, std::string& input) {
    input.clear();
    if (options.inputs.empty()) return usageError(command, "no input file given");
    if (options.inputs.size() > 1) {
        // "-s v0 a1 INPUT" leaves a1 to the files: say how a list is written.
        std::string error;
        if (parseStreamList(options.inputs.front(), error))
            return usageError(command,
                              "more than one input file given (a stream list is one "
                              "word: -s v0,a1)");
        return usageError(command, "more than one input file given");
    }
    input = options.inputs.front();
    if (input.empty()) return usageError(command, "no input file given");
    return -1;
}

std::string outputFolderProblem(const CommonOptions& options) {
    if (!options.outGiven) return {};
    std::error_code ec;
    std::filesystem::create_directories(options.run.workdir, ec);
    if (ec || !std::filesystem::is_directory(options.run.workdir))
        return "Cannot use the output folder " + options.run.workdir.string() + ": " +
               (ec ? ec.message() : "it is not a folder");
    return {};
}

int exitCodeFor(const RunResult& result, ConsoleHost& host, std::string_view command) {
    host.clearStatus();
    if (interrupted() || result.outcome == RunOutcome::Cancelled) {
        std::fprintf(stderr, "kavrel-cli %.*s: interrupted\n", static_cast<int>(command.size()),
                     command.data());
        return interruptedExitCode();
    }
    // A name in the error cannot drive the terminal.
    if (result.outcome == RunOutcome::Failed)
        return failure(command,
                       result.error.empty() ? "the run failed" : escapeControls(result.error));
    return kExitDone;
}

}  // namespace kavrel::cli
