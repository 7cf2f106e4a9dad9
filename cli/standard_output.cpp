#include "cli/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli_common.h"

namespace kavrel::cli {

namespace {

int gFirstError = 0;  // errno of the first failed write, 0 when none failed yet

void note(bool failed) {
    if (failed && gFirstError == 0) gFirstError = errno != 0 ? errno : EIO;
}

}  // namespace

void writeOut(std::string_view text, bool lineEnd) {
    errno = 0;
    bool failed = std::fwrite(text.data(), 1, text.size(), stdout) != text.size();
    if (lineEnd) failed = std::fputc('\n', stdout) == EOF || failed;
    note(failed);
}

void flushOut() {
    errno = 0;
    note(std::fflush(stdout) != 0);
}

int finishOutput(int code) {
    flushOut();
    // A write that failed outside writeOut (the help text) leaves only the stream's mark.
    if (std::ferror(stdout) && gFirstError == 0) gFirstError = EIO;
    if (gFirstError == 0 || gFirstError == EPIPE) return code;
    std::fprintf(stderr, "kavrel-cli: cannot write to standard output: %s\n",
                 std::strerror(gFirstError));
    return code == kExitDone ? kExitFailure : code;
}

}  // namespace kavrel::cli
