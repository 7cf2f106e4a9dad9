#include "engine/names.h"

#include <algorithm>
#include <cctype>

#include "engine/run_state.h"

namespace kavrel {

namespace fs = std::filesystem;

std::string CutExt(std::string_view name) {
    auto dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The part digit of a title set object's name: VTS_nn_k.VOB or ATS_nn_k.AOB (any case).
std::optional<int> titleSetPart(const std::string& name) {
    if (name.size() != 12 || name[3] != '_' || name[6] != '_' || name[8] != '.' ||
        !isDigit(name[4]) || !isDigit(name[5]) || !isDigit(name[7]))
        return std::nullopt;
    const std::string_view prefix(name.data(), 3), extension(name.data() + 9, 3);
    if (!(sameLetters(prefix, "VTS") && sameLetters(extension, "VOB")) &&
        !(sameLetters(prefix, "ATS") && sameLetters(extension, "AOB")))
        return std::nullopt;
    return name[7] - '0';
}

// The name of the file that goes on after `name`, whether or not it exists; empty for none.
std::string followOnName(const std::string& name) {
    // A title set's title objects run on in parts 1-9 under one title set number; part 0 is
    // the menu, which goes on nowhere.
    if (const auto part = titleSetPart(name)) {
        if (*part == 0 || *part == 9) return {};
        std::string next = name;
        next[7] = static_cast<char>(next[7] + 1);
        return next;
    }
    const auto u = name.find('_');
    if (u == std::string::npos) return {};
    auto isLowDigit = [](char c) { return c >= '0' && c <= '8'; };  // 9 would carry: never
    if (u + 1 < name.size() && isLowDigit(name[u + 1]))
        return name.substr(0, u + 1) + static_cast<char>(name[u + 1] + 1) + name.substr(u + 2);
    if (u > 0 && isLowDigit(name[u - 1]))
        return name.substr(0, u - 1) + static_cast<char>(name[u - 1] + 1) + name.substr(u);
    return {};
}

}  // namespace

fs::path getsecond(const fs::path& input) {
    const std::string candidate = followOnName(input.filename().string());
    if (candidate.empty()) return {};
    fs::path second = input.parent_path() / candidate;
    std::error_code ec;
    return fs::is_regular_file(second, ec) ? second : fs::path();
}

std::vector<fs::path> followOnChain(const fs::path& input) {
    std::vector<fs::path> chain;
    // A feature goes on in one more file; a title set's objects in every further part on disk.
    const bool titleSet = titleSetPart(input.filename().string()).has_value();
    for (fs::path next = getsecond(input); !next.empty(); next = getsecond(next)) {
        chain.push_back(next);
        if (!titleSet) break;
    }
    return chain;
}

std::string upperExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string runBaseName(const fs::path& input, const fs::path& second) {
    std::string base = CutExt(input.filename().string());
    if (!second.empty()) base += "_" + CutExt(second.filename().string());
    return base;
}

std::optional<std::string> streamLabel(StreamKind kind, int32_t id) {
    if (id < 0) {
        switch (kind) {
            case StreamKind::Video:
                return "No video stream";
            case StreamKind::Audio:
                return "No audio stream";
            case StreamKind::Subpicture:
                return "No subpicture stream";
        }
    }
    const IdFamily* family = keyFamily(kind, id);
    if (family && family->label &&
        family->number(static_cast<uint8_t>(id & 0xFF)) < selectableNumbers(kind))
        return family->label;
    return std::nullopt;
}

StreamKind slotKind(int slot) {
    if (slot < audioSlot(0)) return StreamKind::Video;
    if (slot < subSlot(0)) return StreamKind::Audio;
    return StreamKind::Subpicture;
}

std::string slotName(int slot) {
    if (slot < audioSlot(0)) return "v" + std::to_string(slot);
    if (slot < subSlot(0)) return "a" + std::to_string(slot - audioSlot(0));
    return "s" + std::to_string(slot - subSlot(0));
}

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string boxCaption(int slot, int32_t id) {
    // An id the scanner announces always has a label; keep a readable fallback all the same.
    return slotCaption(slot, streamLabel(slotKind(slot), id).value_or(emptyCaption(slot)));
}

std::string slotCaption(int slot, std::string_view label) {
    const StreamKind kind = slotKind(slot);
    if (kind == StreamKind::Video) return std::string(label) + "." + std::to_string(slot);
    const int number = kind == StreamKind::Audio ? slot - audioSlot(0) : slot - subSlot(0);
    return std::string(label) + "." + twoDigits(number);
}

std::string emptyCaption(int slot) {
    switch (slotKind(slot)) {
        case StreamKind::Video:
            return "No video stream";
        case StreamKind::Audio:
            return "No audio stream";
        case StreamKind::Subpicture:
            break;
    }
    return "No subpicture";
}

}  // namespace kavrel
