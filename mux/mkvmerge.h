#pragma once
// Running mkvmerge (Debian package mkvtoolnix) as a child process: its progress goes to the
// status line, its warnings and errors to the log, and a stop request ends it.
#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/host.h"

namespace kavrel::mux {

inline constexpr const char* kMkvmerge = "mkvmerge";
inline constexpr const char* kMkvmergePackage = "mkvtoolnix";

// The first executable file of this name in the folders of PATH (the system's default path
// when PATH is not set); empty when there is none.
std::filesystem::path findProgram(std::string_view name);

// The line that says mkvmerge is missing, naming the package that brings it.
std::string mkvmergeMissing();

enum class MkvmergeEnding {
    Done,      // exit code 0
    Warnings,  // exit code 1: muxed, with warnings (logged)
    Failed,    // exit code 2, a signal, or it could not be started
    Stopped,   // the stop flag was set: mkvmerge was ended
};

struct MkvmergeResult {
    MkvmergeEnding ending = MkvmergeEnding::Failed;
    int warnings = 0;
    std::string error;  // why it failed, as plain text
};

// Runs `program @optionFile` in `folder` (the names in the option file are taken from there)
// and waits for it. Each progress line sets status panel 1 to the
// percentage and the host's progress; each warning is logged as it comes. The host is pumped
// several times a second; when `stop` is set, mkvmerge is sent SIGTERM (SIGKILL if it does not
// end within seconds). The error is not logged: the caller reports it.
MkvmergeResult runMkvmerge(const std::filesystem::path& program,
                           const std::filesystem::path& folder, const std::string& optionFile,
                           EngineHost& host, std::atomic<bool>& stop);

}  // namespace kavrel::mux
