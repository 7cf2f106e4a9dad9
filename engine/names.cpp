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

fs::path getsecond(const fs::path& input) {
    const std::string name = input.filename().string();
    const auto u = name.find('_');
    if (u == std::string::npos) return {};
    auto isLowDigit = [](char c) { return c >= '0' && c <= '8'; };  // 9 would carry: never
    std::string candidate;
    if (u + 1 < name.size() && isLowDigit(name[u + 1])) {
        std::string rest = name.substr(u + 2, 255);
        candidate = name.substr(0, u + 1) + static_cast<char>(name[u + 1] + 1) + rest;
    } else if (u > 0 && isLowDigit(name[u - 1])) {
        candidate = name.substr(0, u - 1) + static_cast<char>(name[u - 1] + 1) + name.substr(u);
    } else {
        return {};
    }
    fs::path second = input.parent_path() / candidate;
    std::error_code ec;
    return fs::is_regular_file(second, ec) ? second : fs::path();
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
