#pragma once
// What every kavrel-cli subcommand shares: the console host that prints the log, Ctrl-C
// handling, the common options and the exit codes.
//
// Exit codes: 0 the run is done; 1 it failed (one clear line on stderr); 2 the command line is
// wrong; 130 the run was interrupted with Ctrl-C, 143 by SIGTERM, 129 by SIGHUP.
//
// A subcommand typically does:
//
//     CommonOptions opts;
//     CommandLine line("rebuild", "kavrel-cli rebuild [OPTIONS] INPUT", "What it does.");
//     addCommonOptions(line, opts);
//     if (int code = line.parse(argc, argv); code >= 0) return code;
//     RunState state;
//     ConsoleHost host(opts.quiet || opts.json, !opts.quiet);
//     InterruptGuard guard(state);
//     RunResult result = ...;
//     return exitCodeFor(result, host, "rebuild");
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// An EngineHost for the terminal. Every log line's plain text (markup removed) goes to stdout,
// one per line, unless silent. Status texts go to stderr as one line that is overwritten in
// place, only when stderr is a terminal and showStatus is set (not with -q). Every plain line is
// also kept, for the log that --json carries.
class ConsoleHost : public EngineHost {
  public:
    explicit ConsoleHost(bool silent, bool showStatus = true);
    ~ConsoleHost() override;
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    void log(std::string_view markup) override;
    void slog(std::string_view text, int panel) override;
    // Sets the stop flag again when Ctrl-C came while no scan was running (each scan clears
    // the flag when it starts).
    void pump() override;

    // Removes the status line from the terminal (also done by the destructor).
    void clearStatus();

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    void drawStatus();

    bool silent_;
    bool statusOnTerminal_;
    bool statusShown_ = false;
    std::array<std::string, 2> panels_;
    std::vector<std::string> messages_;
};

// Ctrl-C (any number of times), SIGTERM and SIGHUP set the stop request while the guard lives:
// the scanner and the rebuild loop end at the next chunk, mkvmerge is stopped, and the run
// closes its files and removes what it left unfinished.
class InterruptGuard {
  public:
    explicit InterruptGuard(std::atomic<bool>& stop);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Whether a stop signal came since the last InterruptGuard was made.
bool interrupted();
// 128 + the first stop signal (130 without one).
int interruptedExitCode();

struct CommonOptions {
    RunOptions run;  // cont, scan.fastCheck/countFrames/details, extensions, workdir (-o)
    bool quiet = false;
    bool json = false;
    bool outGiven = false;                                // -o/--out was given
    std::optional<std::array<bool, kSlotCount>> streams;  // -s/--streams, by slot
    std::vector<std::string> inputs;                      // the positional words
    std::optional<int> title;                             // --title N (none: the main feature)
    int angle = 1;                                        // --angle N
};

// The options every command that reads an input takes: -q/--quiet, --json, --no-continue,
// --no-fast-check, --no-count-frames, --no-details, --title N, --angle N, and the INPUT (a file, a disc
// folder or its playlist).
void addCommonOptions(CommandLine& line, CommonOptions& options);

// The options of the commands that write: -o/--out DIR, -s/--streams LIST.
void addWriteOptions(CommandLine& line, CommonOptions& options);
// -s/--streams LIST alone.
void addStreamsOption(CommandLine& line, CommonOptions& options);

// The extensions of the elementary-stream files: --video-ext, --audio-ext, --sub-ext.
void addExtensionOptions(CommandLine& line, RunOptions& run);

// Parses a stream list: "v0 v1 a0..a15 s0..s15", separated by commas and/or blanks, leading
// zeros allowed ("a03"), case-insensitive. Gives nullopt and a reason for anything else.
std::optional<std::array<bool, kSlotCount>> parseStreamList(std::string_view list,
                                                            std::string& error);

// The one input file of a command: the single positional word. None or more than one is a usage
// error; returns -1 when fine, else the exit code after printing the problem.
int singleInput(const CommonOptions& options, std::string_view command, std::string& input);

// Makes the -o folder when one was given and checks that it is a folder. Returns why it cannot
// be used, or an empty text.
std::string outputFolderProblem(const CommonOptions& options);

// Prints "kavrel-cli COMMAND: MESSAGE" and a pointer to --help to stderr; returns kExitUsage.
int usageError(std::string_view command, std::string_view message);

// Prints "kavrel-cli COMMAND: MESSAGE" to stderr; returns kExitFailure.
int failure(std::string_view command, std::string_view message);

// The exit code of a finished run: interruptedExitCode() when stopped by a signal, 1 (with the
// run's error line on stderr) when it failed, 0 otherwise.
int exitCodeFor(const RunResult& result, ConsoleHost& host, std::string_view command);

}  // namespace kavrel::cli
