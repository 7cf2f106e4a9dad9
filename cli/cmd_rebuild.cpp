#include <cstdio>

#include "cli/commands.h"

namespace kavrel::cli {

int rebuildCommand(int, char**) {
    std::fprintf(stderr, "kavrel-cli: 'rebuild' is not available yet\n");
    return 1;
}

}  // namespace kavrel::cli
