#include "cli/cli_common.h"

#include <unistd.h>

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
    for (const MarkupRun& run : line.runs) {
        // The runs log their failures in red; the command repeats the last one on stderr.
        if (run.effect == MarkupRun::Effect::Colour && run.bgr == 0x0000FF) {
            lastError_ = line.plain;
            break;
        }
    }
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

// ---- Ctrl-C --------------------------------------------------------------------------------

namespace {

// Plain atomics of a lock-free type: the only things a signal handler may touch.
std::atomic<std::atomic<bool>*> gStopFlag{nullptr};
std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted.store(true);
    if (std::atomic<bool>* flag = gStopFlag.load()) flag->store(true);
    // The next Ctrl-C is not caught: it ends the process if the run does not stop.
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

InterruptGuard::InterruptGuard(RunState& state) {
    gInterrupted.store(false);
    gStopFlag.store(&state.stopFlag);
    std::signal(SIGINT, onInterrupt);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, SIG_DFL);
    gStopFlag.store(nullptr);
}

bool interrupted() {
    return gInterrupted.load();
}

void ConsoleHost::pump() {
    if (!gInterrupted.load()) return;
    if (std::atomic<bool>* flag = gStopFlag.load()) flag->store(true);
}

// ---- Options -------------------------------------------------------------------------------

const char* const kCommonOptionsHelp =
    "  -q, --quiet          print no log lines\n"
    "      --json           print one JSON document instead of the log\n"
    "      --no-continue    do not continue on the follow-on file (FEATURE_2.EVO …)\n"
    "      --no-fast-check  read the whole input, not only its first 300 MB\n"
    "      --no-count-frames  do not count video frames\n"
    "      --no-details     no first PTS, sub-stream ids or stream formats\n"
    "  -h, --help           show this help\n";

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

std::string slotName(int slot) {
    if (slot < audioSlot(0)) return "v" + std::to_string(slot);
    if (slot < subSlot(0)) return "a" + std::to_string(slot - audioSlot(0));
    return "s" + std::to_string(slot - subSlot(0));
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

int parseCommonOptions(int argc, char** argv, CommonOptions& options, std::string_view command) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.rest.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            options.firstLiteral = options.rest.size();
            continue;
        }
        // Split "--name=value" and "-oVALUE" into name and attached value.
        std::string_view name = arg;
        std::optional<std::string_view> attached;
        if (arg.starts_with("--")) {
            if (auto eq = arg.find('='); eq != std::string_view::npos) {
                name = arg.substr(0, eq);
                attached = arg.substr(eq + 1);
            }
        } else if (arg.size() > 2) {
            name = arg.substr(0, 2);
            attached = arg.substr(2);
        }
        auto takesValue = [&](std::string_view n) {
            return n == "-o" || n == "--out" || n == "-s" || n == "--streams" ||
                   n == "--video-ext" || n == "--audio-ext" || n == "--sub-ext";
        };
        if (!takesValue(name)) {
            if (attached && name.size() == 2 && (name == "-q" || name == "-h")) {
                // Bundled short flags ("-qh") are not supported; say so plainly.
                return usageError(command, "unknown option '" + std::string(arg) + "'");
            }
            if (attached && arg.starts_with("--") &&
                (name == "--no-continue" || name == "--no-fast-check" ||
                 name == "--no-count-frames" || name == "--no-details" || name == "--quiet" ||
                 name == "--json" || name == "--help")) {
                return usageError(command, "option '" + std::string(name) + "' takes no value");
            }
            if (arg == "--no-continue") {
                options.run.cont = false;
            } else if (arg == "--no-fast-check") {
                options.run.scan.fastCheck = false;
            } else if (arg == "--no-count-frames") {
                options.run.scan.countFrames = false;
            } else if (arg == "--no-details") {
                options.run.scan.details = false;
            } else if (!takeOutputFlag(arg, options.quiet, options.json, options.help)) {
                options.rest.emplace_back(arg);  // the subcommand's own option, or a mistake
            }
            continue;
        }
        std::string_view value;
        if (attached) {
            value = *attached;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return usageError(command, "option '" + std::string(name) + "' needs a value");
        }
        if (name == "-o" || name == "--out") {
            if (value.empty()) return usageError(command, "the output folder is empty");
            options.run.workdir = std::string(value);
            options.outGiven = true;
        } else if (name == "-s" || name == "--streams") {
            std::string error;
            auto slots = parseStreamList(value, error);
            if (!slots) return usageError(command, error);
            if (!options.streams) options.streams.emplace();
            for (std::size_t s = 0; s < slots->size(); ++s)
                (*options.streams)[s] = (*options.streams)[s] || (*slots)[s];
        } else {
            std::string ext = cleanExtension(value);
            if (ext.empty())
                return usageError(command, "bad extension '" + std::string(value) + "'");
            if (name == "--video-ext")
                options.run.videoExt = ext;
            else if (name == "--audio-ext")
                options.run.audioExt = ext;
            else
                options.run.subExt = ext;
        }
    }
    return -1;
}

int singleInput(const CommonOptions& options, std::string_view command, std::string& input) {
    input.clear();
    for (std::size_t i = 0; i < options.rest.size(); ++i) {
        const std::string& word = options.rest[i];
        if (i < options.firstLiteral && word.size() > 1 && word[0] == '-')
            return usageError(command, "unknown option '" + word + "'");
        if (!input.empty()) return usageError(command, "more than one input file given");
        input = word;
    }
    if (input.empty()) return usageError(command, "no input file given");
    return -1;
}

int prepareOutputFolder(const CommonOptions& options, std::string_view command) {
    if (!options.outGiven) return -1;
    std::error_code ec;
    std::filesystem::create_directories(options.run.workdir, ec);
    if (ec || !std::filesystem::is_directory(options.run.workdir))
        return failure(command, "Cannot use the output folder " + options.run.workdir.string() +
                                    ": " + (ec ? ec.message() : "it is not a folder"));
    return -1;
}

bool takeOutputFlag(std::string_view arg, bool& quiet, bool& json, bool& help) {
    if (arg == "-q" || arg == "--quiet") {
        quiet = true;
    } else if (arg == "--json") {
        json = true;
    } else if (arg == "-h" || arg == "--help") {
        help = true;
    } else {
        return false;
    }
    return true;
}

int exitCodeFor(RunOutcome outcome, ConsoleHost& host, std::string_view command) {
    host.clearStatus();
    if (interrupted() || outcome == RunOutcome::Cancelled) {
        std::fprintf(stderr, "kavrel-cli %.*s: interrupted\n", static_cast<int>(command.size()),
                     command.data());
        return kExitInterrupted;
    }
    if (outcome == RunOutcome::Failed) {
        std::string message = host.lastError();
        if (message.starts_with("Error: ")) message.erase(0, 7);
        if (message.empty()) message = "the run failed";
        return failure(command, message);
    }
    return kExitDone;
}

}  // namespace kavrel::cli
