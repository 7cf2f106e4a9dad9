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
    std::vector<uint8_t> head(static_cast<std::size_t>(std::min(input.size(), kProbeBytes)));
    std::size_t got = 0;
    while (got < head.size()) {
        const std::size_t n = input.read(head.data() + got, head.size() - got);
        if (n == 0) break;
        got += n;
    }
    if (!holdsPackStartCode(std::span<const uint8_t>(head.data(), got)))
        throw IoError(name + " is not an MPEG program stream");
}

}  // namespace kavrel
