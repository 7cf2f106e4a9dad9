// Writes the seed corpus of the fuzz targets from a generated sample disc:
// make_seeds WORKDIR -> WORKDIR/disc and WORKDIR/corpus/<target>/.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/mkdisc/mkdisc.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> slice(const fs::path& file, std::size_t offset, std::size_t length) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes(length);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

void put(const fs::path& dir, const std::string& name, uint8_t prefix,
         const std::vector<uint8_t>& bytes, bool withPrefix = true) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    if (withPrefix) out.put(static_cast<char>(prefix));
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds WORKDIR\n");
        return 2;
    }
    try {
        const fs::path work = argv[1];
        const fs::path corpus = work / "corpus";
        kavrel::mkdisc::Options options;
        options.featureBytes = 1 << 20;
        const auto disc = kavrel::mkdisc::writeSampleDisc(work / "disc", options);

        const fs::path inputs[] = {disc.feature1, disc.feature2, disc.vob, disc.aob};
        const uint8_t extensionFlag[] = {0, 0, 1, 2};
        int n = 0;
        for (int i = 0; i < 4; ++i) {
            auto head = slice(inputs[i], 0, 96 * 1024);
            put(corpus / "fuzz_demux", "seed" + std::to_string(n++), extensionFlag[i], head);
            put(corpus / "fuzz_demux", "seed" + std::to_string(n++),
                static_cast<uint8_t>(extensionFlag[i] | 0x40), head);  // mode 1
            put(corpus / "fuzz_rebuild", "seed" + std::to_string(i), 0,
                slice(inputs[i], 0, 32 * 1024), false);
        }
        int a = 0;
        for (const auto& entry : fs::directory_iterator(disc.expectedDir)) {
            auto head = slice(entry.path(), 0, 4096);
            for (int selector : {0, 1, 2, 3, 4, 0x23, 0x43, 0x80, 0x81, 0x82})
                put(corpus / "fuzz_analysers", "seed" + std::to_string(a++),
                    static_cast<uint8_t>(selector), head);
        }
        // Subpicture files whole (mode 0), as payload runs (mode 1), and their units one by
        // one (mode 2).
        int s = 0;
        for (const auto& e : disc.streams) {
            if (e.kind != "subpicture" || e.file.ends_with("_2.EVO")) continue;
            const auto file = slice(e.expected, 0, 256 * 1024);
            put(corpus / "fuzz_subpicture", "seed" + std::to_string(s++), 0, file);
            put(corpus / "fuzz_subpicture", "seed" + std::to_string(s++), 1 + 3 * 8, file);
            const bool hd = e.caption.starts_with("Ext.");
            for (std::size_t at = 10; at + 6 < file.size();) {
                const std::size_t unit = hd ? std::size_t{file[at + 2]} << 24 |
                                                  std::size_t{file[at + 3]} << 16 |
                                                  std::size_t{file[at + 4]} << 8 | file[at + 5]
                                            : std::size_t{file[at]} << 8 | file[at + 1];
                if (unit == 0 || at + unit > file.size()) break;
                put(corpus / "fuzz_subpicture", "seed" + std::to_string(s++), 2,
                    std::vector<uint8_t>(file.begin() + static_cast<long>(at),
                                         file.begin() + static_cast<long>(at + unit)));
                at += unit + 10;
            }
        }
        put(corpus / "fuzz_playlist", "seed0", 0, slice(disc.playlist, 0, 1 << 20), false);
        const char* messages[] = {"[b]Dolby Digital[/b] audio stream 0 found!",
                                  "   First PTS = [re]0002BF20[/re]",
                                  "Opening file [b]Movie [1080p].EVO[/b]",
                                  "[c:FF0000]blue[/c:FF0000] [s1]x[/s1][zz]y[/zz]"};
        int m = 0;
        for (const char* message : messages) {
            std::string text = message;
            put(corpus / "fuzz_markup", "seed" + std::to_string(m++), 0,
                std::vector<uint8_t>(text.begin(), text.end()), false);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
