#include "engine/markup.h"

#include <algorithm>

namespace kavrel {

namespace {

using Effect = MarkupRun::Effect;

// markupLiteral stands this byte for a literal "[". It is a control character, which
// escapeControls has already removed from the text, so it never stands for itself.
constexpr char kLiteralBracket = '\x01';

std::string hexEscape(unsigned value, int digits, char kind) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = {'\\', kind};
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
    return text;
}

MarkupRun effectOf(std::string_view name) {
    MarkupRun run;
    if (name == "b") {
        run.effect = Effect::Bold;
    } else if (name == "i") {
        run.effect = Effect::Italic;
    } else if (name == "u") {
        run.effect = Effect::Underline;
    } else if (name == "s1") {
        run.effect = Effect::Size;
        run.pointSize = 10;
    } else if (name == "s2") {
        run.effect = Effect::Size;
        run.pointSize = 12;
    } else if (name.starts_with("c:")) {
        run.effect = Effect::Colour;
        run.bgr = readHexDigits(name.substr(2));
    } else if (name == "bl") {
        run.effect = Effect::Colour;
        run.bgr = 0xFF0000;  // blue in 0xBBGGRR
    } else if (name == "re") {
        run.effect = Effect::Colour;
        run.bgr = 0x0000FF;  // red in 0xBBGGRR
    } else {
        run.effect = Effect::Default;
    }
    return run;
}

void append(MarkupLine& line, MarkupRun run) {
    if (run.text.empty()) return;
    std::replace(run.text.begin(), run.text.end(), kLiteralBracket, '[');
    line.plain += run.text;
    line.runs.push_back(std::move(run));
}

// A well-formed tag at `open`: "[name]" with a non-empty name free of "[", followed somewhere
// later by its closing form "[/name]". Anything else is literal text, so a file name such as
// "Movie [1080p].EVO" shows as it is.
struct Tag {
    std::string_view name;
    std::size_t textBegin = 0;   // first character of the marked run
    std::size_t closeBegin = 0;  // the closing form's "["
    std::size_t end = 0;         // first character after the closing form
};

bool findTag(std::string_view message, std::size_t open, Tag& tag) {
    std::size_t close = message.find(']', open + 1);
    if (close == std::string_view::npos) return false;
    std::string_view name = message.substr(open + 1, close - open - 1);
    if (name.empty() || name.find('[') != std::string_view::npos) return false;
    std::string closing = "[/" + std::string(name) + "]";
    std::size_t closeBegin = message.find(closing, close + 1);
    if (closeBegin == std::string_view::npos) return false;
    tag.name = name;
    tag.textBegin = close + 1;
    tag.closeBegin = closeBegin;
    tag.end = closeBegin + closing.size();
    return true;
}

}  // namespace

MarkupLine parseMarkup(std::string_view message) {
    MarkupLine line;
    std::size_t plainBegin = 0;  // start of the plain run being gathered
    std::size_t search = 0;      // where to look for the next "["
    while (search < message.size()) {
        std::size_t open = message.find('[', search);
        if (open == std::string_view::npos) break;
        Tag tag;
        if (!findTag(message, open, tag)) {
            search = open + 1;  // a literal "[": part of the plain run
            continue;
        }
        MarkupRun plain;
        plain.text = std::string(message.substr(plainBegin, open - plainBegin));
        append(line, std::move(plain));
        MarkupRun marked = effectOf(tag.name);
        marked.text = std::string(message.substr(tag.textBegin, tag.closeBegin - tag.textBegin));
        append(line, std::move(marked));
        plainBegin = search = tag.end;
    }
    MarkupRun rest;
    rest.text = std::string(message.substr(std::min(plainBegin, message.size())));
    append(line, std::move(rest));
    return line;
}

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += hexEscape(c, 2, 'x');
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // A C1 control in UTF-8 (U+0085 is a line end, U+009B a terminal's CSI).
            out += hexEscape(static_cast<unsigned char>(text[i + 1]), 4, 'u');
            ++i;
        } else if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            // U+2028 and U+2029 end a line in the window's log.
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string markupLiteral(std::string_view text) {
    std::string out = escapeControls(text);
    std::replace(out.begin(), out.end(), '[', kLiteralBracket);
    return out;
}

uint32_t readHexDigits(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            continue;  // not a hexadecimal digit: skipped
        value = value * 16u + digit;
    }
    return value;
}

std::string errorLine(std::string_view plain) {
    return "[re]Error: " + markupLiteral(plain) + "[/re]";
}

}  // namespace kavrel
