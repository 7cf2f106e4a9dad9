#include <cstdio>

#include "cli/commands.h"

namespace kavrel::cli {

int readCommand(int, char**) {
    std::fprintf(stderr, "kavrel-cli: 'read' is not available yet\n");
    return 1;
}

}  // namespace kavrel::cli
