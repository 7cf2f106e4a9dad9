// The rebuild filter over arbitrary packs of any length, with arbitrary stream lists.
#include <array>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "rebuild/rebuild.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::fuzz::Input in{data, size};
    kavrel::StreamLists lists;
    std::array<bool, kavrel::kSlotCount> checked{};
    for (auto& id : lists.video) id = (in.take() & 1) ? 0xE0 + (in.take() & 3) : -1;
    for (auto& id : lists.audio) id = (in.take() & 1) ? in.take() : -1;
    for (auto& id : lists.sub) id = (in.take() & 1) ? in.take() : -1;
    for (auto& box : checked) box = (in.take() & 1) != 0;

    kavrel::Renumbering renumbering;
    while (in.size > 0) {
        std::size_t length = in.size < 2048 ? in.size : 2048;
        // An exact-size copy, so that any read past the pack's end is caught.
        std::vector<uint8_t> pack(in.data, in.data + length);
        kavrel::filterPack(pack.data(), pack.size(), lists, checked, renumbering);
        in.data += length;
        in.size -= length;
    }
    return 0;
}
