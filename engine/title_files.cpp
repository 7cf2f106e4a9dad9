#include "engine/title_files.h"

#include <system_error>

#include "engine/names.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

uint64_t sizeNow(const fs::path& file) {
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

DiscTitle titleOfFiles(const std::vector<fs::path>& files) {
    DiscTitle title;
    title.number = 1;
    for (const fs::path& file : files) title.ranges.push_back(ByteRange{file, 0, sizeNow(file)});
    return title;
}

DiscTitle followOnTitle(const fs::path& input, bool cont) {
    std::vector<fs::path> files{input};
    if (cont) {
        const std::vector<fs::path> more = followOnChain(input);
        files.insert(files.end(), more.begin(), more.end());
    }
    return titleOfFiles(files);
}

bool TitlePart::wholeFile() const {
    if (ranges.size() != 1 || ranges.front().offset != 0) return false;
    const uint64_t now = sizeNow(file);
    // A file that cannot be read is opened whole, so that the run names the reason.
    return now == 0 || ranges.front().length == now;
}

std::vector<TitlePart> titleParts(const DiscTitle& title) {
    std::vector<TitlePart> parts;
    for (const ByteRange& range : title.ranges) {
        if (parts.empty() || parts.back().file != range.file) parts.push_back({range.file, {}});
        parts.back().ranges.push_back(range);
    }
    return parts;
}

InputKind partKind(const TitlePart& part) {
    if (part.wholeFile()) return inputKindOf(part.file);
    const InputKind hint = inputKindOfName(part.file);
    return inputKindOf(part.ranges, hint == InputKind::Evo ? InputKind::Vob : hint);
}

std::string titleBaseName(const DiscTitle& title) {
    const std::vector<fs::path> files = title.files();
    if (files.empty()) return {};
    return runBaseName(files.front(), files.size() > 1 ? files[1] : fs::path());
}

fs::path titleOutputFolder(const DiscTitle& title, const fs::path& workdir) {
    if (!workdir.empty()) return workdir;
    const std::vector<fs::path> files = title.files();
    // Without a work folder the outputs go beside the input, never into the process's folder.
    return files.empty() ? fs::path() : files.front().parent_path();
}

}  // namespace kavrel
