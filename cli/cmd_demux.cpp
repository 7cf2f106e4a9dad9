#include <cstdio>

#include "cli/commands.h"

namespace kavrel::cli {

int demuxCommand(int, char**) {
    std::fprintf(stderr, "kavrel-cli: 'demux' is not available yet\n");
    return 1;
}

}  // namespace kavrel::cli
