#pragma once
// Standard output as a result of the command: the log, the tree, the JSON document. stdio
// drops the buffer of a failed write and later flushes succeed, so the first failure is noted
// where it happens and the command's exit code reports it at the end (a full disk, EIO,
// > /dev/full). A reader that went away ("| head") is no failure: the rest is simply not shown.
#include <string_view>

namespace kavrel::cli {

// Writes text (and a line end when asked) to stdout, noting a failure.
void writeOut(std::string_view text, bool lineEnd = false);

// Flushes stdout, noting a failure.
void flushOut();

// The exit code once the command is over: code, or 1 with a line on stderr when standard output
// could not be written.
int finishOutput(int code);

}  // namespace kavrel::cli
