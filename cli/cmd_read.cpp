#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"

namespace kavrel::cli {

int readCommand(int argc, char** argv) {
    constexpr std::string_view kCommand = "read";
    CommonOptions options;
    CommandLine line(kCommand, "kavrel-cli read [OPTIONS] INPUT",
                     "List the video, audio and subpicture streams of an EVO, VOB or AOB file, "
                     "with their\nheader details, and count the video frames. A feature split "
                     "over two files\n(FEATURE_1.EVO, FEATURE_2.EVO) is read on into the second.");
    addCommonOptions(line, options);
    if (int code = line.parse(argc, argv); code >= 0) return code;
    std::string input;
    if (int code = singleInput(options, kCommand, input); code >= 0) return code;

    session::Session session;
    if (int code = openInput(session, input, options, kCommand); code >= 0) return code;
    ConsoleHost host(options.quiet || options.json, !options.quiet);
    InterruptGuard guard(session.stopRequest());
    const RunResult result = session.read(options.run, host);
    host.clearStatus();
    if (result.fastCheckStopped && !options.quiet)
        std::fprintf(stderr,
                     "kavrel-cli read: the fast check ended the scan after the first %llu MB; "
                     "--no-fast-check reads the whole input\n",
                     static_cast<unsigned long long>(options.run.scan.fastCheckLimit / 1'000'000));
    return finishCommand(kCommand, options, result, session, host);
}

}  // namespace kavrel::cli
