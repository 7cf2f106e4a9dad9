#include "formats/chapter_file.h"

#include <cstdio>

namespace kavrel::formats {

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

// The length of the valid UTF-8 sequence at text[at], or 0 when the bytes there are not one
// (a stray continuation byte, a cut or overlong sequence, a surrogate, past U+10FFFF).
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// A name as both chapter forms can carry it: valid UTF-8 (a bad byte becomes U+FFFD), control
// characters (a line end would break the OGM form, and XML 1.0 forbids most) as blanks.
std::string cleanName(std::string_view name) {
    std::string out;
    for (std::size_t at = 0; at < name.size();) {
        std::size_t length = utf8Length(name, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else if (length == 1 &&
                   (static_cast<unsigned char>(name[at]) < 0x20 || name[at] == 0x7F)) {
            out += ' ';
            ++at;
        } else {
            out.append(name.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string xmlEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// HH:MM:SS and the fraction in `digits` decimal places, rounded to them.
std::string clockTime(int64_t nanoseconds, int digits) {
    int64_t unit = kNsPerSecond;
    for (int i = 0; i < digits; ++i) unit /= 10;
    if (nanoseconds < 0) nanoseconds = 0;
    const int64_t units = (nanoseconds + unit / 2) / unit;
    const int64_t perSecond = kNsPerSecond / unit;
    const int64_t seconds = units / perSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%0*lld",
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60), digits,
                  static_cast<long long>(units % perSecond));
    return text;
}

// "01" … "99", then as many digits as the number needs.
std::string chapterNumber(std::size_t n) {
    char text[24];
    std::snprintf(text, sizeof text, "%02zu", n);
    return text;
}

}  // namespace

std::string matroskaTime(int64_t nanoseconds) {
    return clockTime(nanoseconds, 9);
}

std::string ogmTime(int64_t nanoseconds) {
    return clockTime(nanoseconds, 3);
}

std::string matroskaChapterXml(std::span<const ChapterMark> marks, std::string_view language) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Chapters>\n"
        "  <EditionEntry>\n";
    for (const ChapterMark& mark : marks) {
        xml += "    <ChapterAtom>\n";
        xml += "      <ChapterTimeStart>" + matroskaTime(mark.start) + "</ChapterTimeStart>\n";
        xml += "      <ChapterDisplay>\n";
        xml += "        <ChapterString>" + xmlEscaped(cleanName(mark.name)) + "</ChapterString>\n";
        xml +=
            "        <ChapterLanguage>" + xmlEscaped(cleanName(language)) + "</ChapterLanguage>\n";
        xml += "      </ChapterDisplay>\n";
        xml += "    </ChapterAtom>\n";
    }
    xml +=
        "  </EditionEntry>\n"
        "</Chapters>\n";
    return xml;
}

std::string ogmChapters(std::span<const ChapterMark> marks) {
    std::string text;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const std::string key = "CHAPTER" + chapterNumber(i + 1);
        text += key + "=" + ogmTime(marks[i].start) + "\n";
        text += key + "NAME=" + cleanName(marks[i].name) + "\n";
    }
    return text;
}

}  // namespace kavrel::formats
