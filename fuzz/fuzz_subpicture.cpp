// The subpicture path over arbitrary bytes, to PGS: as a .sup file, as payload runs of a demux,
// and as one unit whose size field is made to fit (so that the control sequences and the
// run-length fields are reached).
#include <algorithm>
#include <optional>
#include <vector>

#include "formats/pgs_writer.h"
#include "formats/subpicture_stream.h"
#include "formats/sup_file.h"
#include "formats/unit_assembler.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kavrel::formats;
    kavrel::fuzz::Input in{data, size};
    const uint8_t mode = in.take();
    const std::span<const uint8_t> bytes(in.data, in.size);

    uint64_t written = 0;
    PgsWriter pgs(
        mode & 0x80 ? 720 : 1920, mode & 0x80 ? 576 : 1080,
        [&](std::span<const uint8_t> set) { written += set.size(); }, nullptr);
    SubpictureStream stream([&](Caption&& c) { pgs.caption(c); }, nullptr);

    switch (mode % 3) {
        case 0: {
            SupReader reader(bytes, nullptr);
            while (auto e = reader.next()) stream.unit(e->unit, e->pts);
            break;
        }
        case 1: {
            UnitAssembler assembler(
                [&](std::span<const uint8_t> u, uint32_t pts) { stream.unit(u, pts); }, nullptr);
            // Runs of a length set by the mode byte; every third begins a packet with a PTS.
            const std::size_t step = 1 + (mode >> 2) * 61u;
            uint32_t pts = 0;
            for (std::size_t at = 0, i = 0; at < bytes.size(); at += step, ++i) {
                const auto run = bytes.subspan(at, std::min(step, bytes.size() - at));
                assembler.payload(run,
                                  i % 3 == 0 ? std::optional<uint32_t>(pts += 9000) : std::nullopt);
            }
            assembler.finish();
            break;
        }
        default: {
            std::vector<uint8_t> unit(bytes.begin(), bytes.end());
            if (unit.size() >= 6 && unit[0] == 0 && unit[1] == 0) {
                const auto n = static_cast<uint32_t>(unit.size());
                for (int i = 0; i < 4; ++i) unit[2 + i] = static_cast<uint8_t>(n >> (24 - 8 * i));
            } else if (unit.size() >= 2 && unit.size() <= 0xFFFF) {
                unit[0] = static_cast<uint8_t>(unit.size() >> 8);
                unit[1] = static_cast<uint8_t>(unit.size());
            }
            stream.unit(unit, 0);
            break;
        }
    }
    stream.finish();
    return 0;
}
