#pragma once
// What every kavrel-cli subcommand shares: the console host that prints the log, Ctrl-C
// handling, the common options and the exit codes.
//
// Exit codes: 0 the run is done; 1 it failed (one clear line on stderr); 2 the command line is
// wrong; 130 the run was interrupted with Ctrl-C.
//
// A subcommand typically does:
//
//     CommonOptions opts;
//     if (int code = parseCommonOptions(argc, argv, opts, "rebuild"); code >= 0) return code;
//     if (opts.help) { printMyHelp(); return kExitDone; }
//     // opts.rest: positionals and options this parser does not know, in command-line order
//     RunState state;
//     ConsoleHost host(opts.quiet || opts.json, !opts.quiet);
//     InterruptGuard guard(state);
//     RunOutcome outcome = ...;
//     return exitCodeFor(outcome, host, "rebuild");
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// also kept, for --json and for the failure line on stderr.
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
    // The plain text of the last line logged in red (the runs' failure messages), or "".
    const std::string& lastError() const { return lastError_; }

  private:
    void drawStatus();

    bool silent_;
    bool statusOnTerminal_;
    bool statusShown_ = false;
    std::array<std::string, 2> panels_;
    std::vector<std::string> messages_;
    std::string lastError_;
};

// Ctrl-C sets state.stopFlag while the guard lives: the scanner and the rebuild loop end at the
// next chunk and the run closes its files. A second Ctrl-C ends the process at once.
class InterruptGuard {
  public:
    explicit InterruptGuard(RunState& state);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Whether Ctrl-C was pressed since the last InterruptGuard was made.
bool interrupted();

struct CommonOptions {
    RunOptions run;  // cont, scan.fastCheck/countFrames/details, extensions, workdir (-o)
    bool quiet = false;
    bool json = false;
    bool help = false;
    bool outGiven = false;                                // -o/--out was given
    std::optional<std::array<bool, kSlotCount>> streams;  // -s/--streams, by slot
    std::vector<std::string> rest;  // positionals and unknown options, in order
    // Index in rest of the first word after "--": from there on every word is a file name.
    std::size_t firstLiteral = static_cast<std::size_t>(-1);
};

// Parses the options every subcommand shares (argv[0] is the subcommand's name):
//   --no-continue --no-fast-check --no-count-frames --no-details -q/--quiet --json
//   -o/--out DIR  -s/--streams LIST  --video-ext EXT  --audio-ext EXT  --sub-ext EXT  -h/--help
// Values may follow as the next word or after "=" ("--out=DIR", "-oDIR"). "--" ends the
// options. Returns -1 when the command line is usable; otherwise prints the problem to stderr
// and returns kExitUsage.
int parseCommonOptions(int argc, char** argv, CommonOptions& options, std::string_view command);

// The help text of the shared options, one per line, for the subcommands' --help.
extern const char* const kCommonOptionsHelp;

// Parses a stream list: "v0 v1 a0..a15 s0..s15", separated by commas and/or blanks, leading
// zeros allowed ("a03"), case-insensitive. Gives nullopt and a reason for anything else.
std::optional<std::array<bool, kSlotCount>> parseStreamList(std::string_view list,
                                                            std::string& error);

// The slot's name in stream lists: "v0", "a3", "s12".
std::string slotName(int slot);

// The one input file of a command: the single word left in options.rest. Anything else left
// there (an unknown option, a second file) is a usage error; returns -1 when fine, else the
// exit code after printing the problem.
int singleInput(const CommonOptions& options, std::string_view command, std::string& input);

// Makes the -o folder when one was given and checks that it is a folder. Returns -1 when it is
// usable, else kExitFailure after printing the problem.
int prepareOutputFolder(const CommonOptions& options, std::string_view command);

// Takes the flags that every subcommand spells alike: -q/--quiet, --json, -h/--help. Returns
// false, touching nothing, for any other word.
bool takeOutputFlag(std::string_view arg, bool& quiet, bool& json, bool& help);

// Prints "kavrel-cli COMMAND: MESSAGE" and a pointer to --help to stderr; returns kExitUsage.
int usageError(std::string_view command, std::string_view message);

// Prints "kavrel-cli COMMAND: MESSAGE" to stderr; returns kExitFailure.
int failure(std::string_view command, std::string_view message);

// The exit code of a finished run: 130 when interrupted with Ctrl-C, 1 (with the run's error
// line on stderr) when it failed, 0 otherwise.
int exitCodeFor(RunOutcome outcome, ConsoleHost& host, std::string_view command);

}  // namespace kavrel::cli
