// Every stream header analyser over arbitrary payload runs.
#include "analysers/analysers.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::fuzz::Input in{data, size};
    const uint8_t which = in.take();
    const uint8_t headerLength = in.take() & 15;
    const uint8_t* header = in.data;
    const std::size_t taken = headerLength < in.size ? headerLength : in.size;
    in.data += taken;
    in.size -= taken;
    std::span<const uint8_t> run(in.data, in.size);
    std::span<const uint8_t> privateHeader(header, taken);

    if (which & 0x80) {
        const auto kind = static_cast<kavrel::VideoKind>(which % 3);
        kavrel::analysers::analyseVideo(kind, run, which & 1);
    } else {
        const auto audioClass = static_cast<kavrel::AudioClass>(which % 6);
        const auto carriage = static_cast<kavrel::analysers::LpcmCarriage>((which >> 5) % 3);
        kavrel::analysers::analyseAudio(audioClass, carriage, run, which & 15, privateHeader);
        kavrel::analysers::audioBytesWanted(audioClass, run);
    }
    return 0;
}
