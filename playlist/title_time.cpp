#include "playlist/title_time.h"

#include <array>
#include <charconv>

namespace kavrel::playlist {

namespace {

constexpr int kMaxFramesPerSecond = 240;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A field of 1 to maxDigits decimal digits, nothing else.
std::optional<int> field(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> parseTimeBase(std::string_view text) {
    text = trimmed(text);
    if (text.size() < 4) return std::nullopt;
    std::string_view unit = text.substr(text.size() - 3);
    if ((unit[0] | 0x20) != 'f' || (unit[1] | 0x20) != 'p' || (unit[2] | 0x20) != 's')
        return std::nullopt;
    std::optional<int> rate = field(text.substr(0, text.size() - 3), 3);
    if (!rate || *rate < 1 || *rate > kMaxFramesPerSecond) return std::nullopt;
    return rate;
}

std::optional<int64_t> parseTitleTime(std::string_view text, int framesPerSecond) {
    text = trimmed(text);
    std::array<int, 4> parts{};  // hours, minutes, seconds, frames
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::size_t colon = i + 1 < parts.size() ? text.find(':') : text.size();
        if (colon == std::string_view::npos) return std::nullopt;
        std::optional<int> value = field(text.substr(0, colon), i == 0 ? 3 : 2);
        if (!value) return std::nullopt;
        parts[i] = *value;
        text = colon < text.size() ? text.substr(colon + 1) : std::string_view();
    }
    const auto [hours, minutes, seconds, frames] = parts;
    if (minutes >= 60 || seconds >= 60 || frames >= framesPerSecond) return std::nullopt;
    return (int64_t{hours} * 3600 + minutes * 60 + seconds) * framesPerSecond + frames;
}

int64_t frameNanoseconds(int64_t frames, int framesPerSecond) {
    return (frames * 1'000'000'000 + framesPerSecond / 2) / framesPerSecond;
}

}  // namespace kavrel::playlist
