#include "engine/stream_probe.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/io.h"

namespace kavrel {

bool holdsPackStartCode(std::span<const uint8_t> bytes) {
    static constexpr std::array<uint8_t, 4> kPackStart{0x00, 0x00, 0x01, 0xBA};
    return std::search(bytes.begin(), bytes.end(), kPackStart.begin(), kPackStart.end()) !=
           bytes.end();
}

void requireProgramStream(const std::filesystem::path& path) {
    InputFile input(path);
    const std::string name = path.filename().string();
    if (input.size() == 0) throw IoError(name + " is empty: there is nothing to read");
    // A program stream starts with a pack: the search nearly always ends in the first block.
    constexpr std::size_t kBlock = 64 * 1024;
    constexpr std::size_t kKeep = 3;  // a start code may straddle two blocks
    std::vector<uint8_t> block(kKeep + kBlock);
    std::size_t kept = 0;
    const uint64_t limit = std::min(input.size(), kProbeBytes);
    while (input.position() < limit) {
        const auto wanted =
            static_cast<std::size_t>(std::min<uint64_t>(kBlock, limit - input.position()));
        const std::size_t got = input.read(block.data() + kept, wanted);
        if (got == 0) break;
        const std::size_t filled = kept + got;
        if (holdsPackStartCode(std::span<const uint8_t>(block.data(), filled))) return;
        kept = std::min(kKeep, filled);
        std::copy(block.begin() + static_cast<std::ptrdiff_t>(filled - kept),
                  block.begin() + static_cast<std::ptrdiff_t>(filled), block.begin());
    }
    throw IoError(name + " is not an MPEG program stream");
}

}  // namespace kavrel
