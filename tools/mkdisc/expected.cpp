#include "tools/mkdisc/expected.h"

#include <stdexcept>

namespace kavrel::mkdisc {

ExpectedOutput::ExpectedOutput(const std::filesystem::path& path, bool subpicture,
                               uint32_t minFirstPts)
    : path_(path), subpicture_(subpicture), minFirstPts_(minFirstPts), buffer_(1 << 20) {
    out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_) throw std::runtime_error("cannot create " + path.string());
}

void ExpectedOutput::payload(const uint8_t* data, std::size_t n, std::optional<uint64_t> pts) {
    if (subpicture_ && pts) {
        // Entry header: "SP", the time relative to the run's first PTS (low 32 bits, least
        // significant byte first), four zero bytes.
        auto relative = static_cast<uint32_t>(*pts) - minFirstPts_;
        char header[10] = {'S', 'P'};
        for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<char>(relative >> (8 * i));
        out_.write(header, sizeof header);
    }
    out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
    if (!out_) throw std::runtime_error("cannot write " + path_.string());
}

}  // namespace kavrel::mkdisc
