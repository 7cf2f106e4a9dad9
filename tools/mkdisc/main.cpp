// kavrel-mkdisc DIR [--size MIB] [--aob-size MIB] [--no-follow-on] [--no-expected] [--seed N]
// [--time-base FPS]: writes the sample disc.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "tools/mkdisc/mkdisc.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kavrel-mkdisc DIR [--size MIB] [--aob-size MIB] [--no-follow-on] "
                 "[--no-expected] [--seed N] [--time-base FPS]\n"
                 "  --size MIB      size of each feature file in MiB (default 6)\n"
                 "  --aob-size MIB  size of each DVD-Audio file in MiB (default 3)\n"
                 "  --no-follow-on  write FEATURE_1.EVO without FEATURE_2.EVO\n"
                 "  --no-expected   do not write DIR/expected/\n"
                 "  --seed N        seed of the generated content (default 1)\n"
                 "  --time-base FPS the playlist's time base: 24 (default) or 60\n");
    return 2;
}

bool parseNumber(const char* text, unsigned long long max, unsigned long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return text[0] >= '0' && text[0] <= '9' && *end == '\0' && errno == 0 && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    kavrel::mkdisc::Options options;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        unsigned long long n = 0;
        if (arg == "--no-expected") {
            options.expected = false;
        } else if (arg == "--no-follow-on") {
            options.followOn = false;
        } else if (arg == "--size" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 1 << 20, n) || n == 0) return usage();
            options.featureBytes = n * 1024 * 1024;
        } else if (arg == "--aob-size" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 1 << 20, n) || n == 0) return usage();
            options.aobBytes = n * 1024 * 1024;
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 0xFFFFFFFFu, n)) return usage();
            options.seed = static_cast<uint32_t>(n);
        } else if (arg == "--time-base" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 60, n) || (n != 24 && n != 60)) return usage();
            options.playlistTimeBase = static_cast<int>(n);
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && !dir) {
            dir = argv[i];
        } else {
            return usage();
        }
    }
    if (!dir) return usage();
    try {
        kavrel::mkdisc::writeSampleDisc(dir, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kavrel-mkdisc: %s\n", e.what());
        return 1;
    }
    return 0;
}
