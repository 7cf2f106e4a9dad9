// The DVD-Video reader over arbitrary IFO files: the input is split into VIDEO_TS.IFO (its
// length in the first two bytes, big-endian) and VTS_01_0.IFO, written into a disc folder whose
// title set has a small VOB, and the disc is read as a player would.
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "dvdvideo/video_disc.h"
#include "fuzz/fuzz_input.h"

namespace {

namespace fs = std::filesystem;

void put(const fs::path& file, const uint8_t* data, std::size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

const fs::path& discFolder() {
    static const fs::path disc = [] {
        const fs::path dir =
            fs::temp_directory_path() / ("kavrel-fuzz-dvd-" + std::to_string(getpid()));
        fs::create_directories(dir / "VIDEO_TS");
        const std::string vob(64 * 2048, '\0');
        put(dir / "VIDEO_TS" / "VTS_01_1.VOB", reinterpret_cast<const uint8_t*>(vob.data()),
            vob.size());
        return dir;
    }();
    return disc;
}

}  // namespace

// libdvdread runs in a child process of the reader; when it fails on damaged tables the child
// dies and the reader says so. That is no crash of this process: no report is written for it.
static void quietChild() {
    __sanitizer_set_death_callback(nullptr);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kavrel::dvdvideo::setReaderChildStart(quietChild);
    kavrel::fuzz::Input input{data, size};
    std::size_t first = std::size_t{input.take()} << 8;
    first |= input.take();
    first = std::min(first, input.size);
    const fs::path videoTs = discFolder() / "VIDEO_TS";
    put(videoTs / "VIDEO_TS.IFO", input.data, first);
    put(videoTs / "VTS_01_0.IFO", input.data + first, input.size - first);
    for (int angle : {1, 2}) {
        std::string problem;
        kavrel::dvdvideo::readVideoDisc(discFolder(), angle, problem);
    }
    return 0;
}
