// The time line of a .sup file's captions to PGS, over units of arbitrary times, start and stop
// delays and picture sizes: wild, repeated and backward times reach the timeline's choice of
// which unit is out of place, and every caption it gives is written as display sets.
#include <cstring>

#include "formats/caption_timeline.h"
#include "formats/pgs_writer.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kavrel::formats;
    kavrel::fuzz::Input in{data, size};
    uint64_t written = 0;
    PgsWriter pgs(
        1920, 1080, [&](std::span<const uint8_t> set) { written += set.size(); }, nullptr);
    CaptionTimeline timeline([&](Caption&& c) { pgs.caption(c); }, nullptr);
    // Each unit: flags, a 32-bit PTS, start and stop delays, position and size of its picture.
    while (in.size >= 12) {
        const uint8_t flags = in.take();
        uint32_t pts = 0;
        std::memcpy(&pts, in.data, 4);
        in.data += 4;
        in.size -= 4;
        DecodedUnit unit;
        uint16_t delays[2];
        for (uint16_t& delay : delays) {
            const int high = in.take();
            delay = static_cast<uint16_t>(high << 8 | in.take());
        }
        if (flags & 1) unit.start = delays[0];
        if (flags & 2) unit.stop = delays[1];
        unit.forced = flags & 4;
        unit.bitmap.x = static_cast<uint16_t>(in.take() * 8);
        unit.bitmap.y = static_cast<uint16_t>(in.take() * 4);
        unit.bitmap.width = static_cast<uint16_t>(1 + in.take() % 64);
        unit.bitmap.height = static_cast<uint16_t>(1 + (flags >> 3) % 16);
        unit.bitmap.pixels.assign(std::size_t{unit.bitmap.width} * unit.bitmap.height, flags);
        timeline.unit(std::move(unit), pts);
    }
    timeline.finish();
    return 0;
}
