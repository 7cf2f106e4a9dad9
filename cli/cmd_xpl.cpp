#include <cstdio>

#include "cli/commands.h"

namespace kavrel::cli {

int xplCommand(int, char**) {
    std::fprintf(stderr, "kavrel-cli: 'xpl' is not available yet\n");
    return 1;
}

}  // namespace kavrel::cli
