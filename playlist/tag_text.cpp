#include "playlist/tag_text.h"

#include <charconv>
#include <cstdint>

namespace kavrel::playlist {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ';  // the scan folds every other control byte into a blank
}

bool isNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c == '-';
}

// Ends an element or attribute name.
bool endsName(char c) {
    return isBlank(c) || c == '=' || c == '>' || c == '/' || c == '"' || c == '\'';
}

std::string_view localName(std::string_view name) {
    auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a named reference stands for, or 0 when the name is not one of XML's five.
char namedReference(std::string_view name) {
    static constexpr struct {
        std::string_view name;
        char value;
    } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& named : kNamed)
        if (name == named.name) return named.value;
    return 0;
}

// The code point of a character reference body ("#233", "#xE9"), or 0 when it is not a valid
// one: no digits, trailing text, NUL, a surrogate or past U+10FFFF.
uint32_t numericReference(std::string_view body) {
    if (body.size() < 2 || body[0] != '#') return 0;
    int base = 10;
    std::string_view digits = body.substr(1);
    if (digits[0] == 'x' || digits[0] == 'X') {
        base = 16;
        digits = digits.substr(1);
    }
    uint32_t code = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
    bool valid = ec == std::errc() && end == digits.data() + digits.size() && code != 0 &&
                 code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return valid ? code : 0;
}

// Decodes one reference "&…;" at the start of text into out; returns its length, or 0 when it
// is not a reference this reader knows (the "&" is then kept as it stands).
std::size_t decodeReference(std::string_view text, std::string& out) {
    auto semi = text.find(';');
    if (semi == std::string_view::npos || semi > 10) return 0;
    std::string_view body = text.substr(1, semi - 1);
    if (char named = namedReference(body)) {
        out += named;
        return semi + 1;
    }
    uint32_t code = numericReference(body);
    if (code == 0) return 0;
    appendUtf8(out, code);
    return semi + 1;
}

// The value as shown: references decoded, at most kMaxAttributeLength bytes, never ending
// inside a UTF-8 sequence.
std::string decodeValue(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size() && out.size() <= kMaxAttributeLength;) {
        if (raw[i] == '&') {
            if (std::size_t used = decodeReference(raw.substr(i), out)) {
                i += used;
                continue;
            }
        }
        out += raw[i++];
    }
    if (out.size() > kMaxAttributeLength) {
        std::size_t cut = kMaxAttributeLength;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    return pos;
}

std::size_t skipName(std::string_view text, std::size_t pos) {
    while (pos < text.size() && !endsName(text[pos])) ++pos;
    return pos;
}

// A value in quotes, from the quote at pos. When the closing quote is missing the value runs
// to the end of the tag line, less the tag's own ending.
std::string_view readQuotedValue(std::string_view tag, std::size_t& pos) {
    char quote = tag[pos++];
    std::size_t end = tag.find(quote, pos);
    if (end != std::string_view::npos) {
        std::string_view value = tag.substr(pos, end - pos);
        pos = end + 1;
        return value;
    }
    std::string_view value = tag.substr(pos);
    pos = tag.size();
    while (value.ends_with(" ")) value.remove_suffix(1);
    if (value.ends_with(">")) value.remove_suffix(1);
    if (value.ends_with("/")) value.remove_suffix(1);
    return value;
}

// A value without quotes runs to the next blank or ">"; in "a=b/>" the slash closes the tag.
std::string_view readBareValue(std::string_view tag, std::size_t& pos) {
    std::size_t start = pos;
    while (pos < tag.size() && !isBlank(tag[pos]) && tag[pos] != '>') ++pos;
    std::string_view value = tag.substr(start, pos - start);
    if (pos < tag.size() && tag[pos] == '>' && value.ends_with("/")) value.remove_suffix(1);
    return value;
}

// The value after the "=" at pos; pos moves past it.
std::string_view readValue(std::string_view tag, std::size_t& pos) {
    pos = skipBlanks(tag, pos + 1);
    if (pos < tag.size() && (tag[pos] == '"' || tag[pos] == '\'')) return readQuotedValue(tag, pos);
    return readBareValue(tag, pos);
}

// A quote where an attribute name belongs: steps over the quoted text to stay in step.
std::size_t skipStrayQuoted(std::string_view tag, std::size_t pos) {
    std::size_t end = tag.find(tag[pos], pos + 1);
    return end == std::string_view::npos ? tag.size() : end + 1;
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool containsName(std::string_view text, std::string_view name) {
    if (name.empty() || name.size() > text.size()) return false;
    for (std::size_t at = 0; at + name.size() <= text.size(); ++at) {
        if (!equalsIgnoreCase(text.substr(at, name.size()), name)) continue;
        bool startsWord = at == 0 || !isNameChar(text[at - 1]);
        std::size_t after = at + name.size();
        bool endsWord = after == text.size() || !isNameChar(text[after]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

TagName tagName(std::string_view line) {
    TagName tag;
    std::size_t pos = skipBlanks(line, 0);
    if (pos >= line.size() || line[pos] != '<') return tag;
    ++pos;
    if (pos < line.size() && line[pos] == '/') {
        tag.closing = true;
        ++pos;
    }
    std::size_t start = pos;
    pos = skipName(line, pos);
    std::string_view name = line.substr(start, pos - start);
    if (!name.empty() && (name[0] == '!' || name[0] == '?')) return {};
    tag.name = localName(name);
    return tag;
}

bool isOpeningTag(std::string_view line, std::string_view name) {
    TagName tag = tagName(line);
    return !tag.closing && equalsIgnoreCase(tag.name, name);
}

bool isClosingTag(std::string_view line, std::string_view name) {
    TagName tag = tagName(line);
    return tag.closing && equalsIgnoreCase(tag.name, name);
}

bool isSelfClosing(std::string_view line) {
    return line.ends_with("/>");
}

std::optional<std::string> attributeText(std::string_view tag, std::string_view name) {
    std::size_t pos = skipBlanks(tag, 0);
    if (pos >= tag.size() || tag[pos] != '<') return std::nullopt;
    pos = skipName(tag, pos + 1);  // the element name
    while (pos < tag.size()) {
        pos = skipBlanks(tag, pos);
        if (pos >= tag.size() || tag[pos] == '>') break;
        if (tag[pos] == '/' || tag[pos] == '=') {  // stray characters between attributes
            ++pos;
            continue;
        }
        std::size_t nameStart = pos;
        pos = skipName(tag, pos);
        std::string_view attribute = tag.substr(nameStart, pos - nameStart);
        pos = skipBlanks(tag, pos);
        std::string_view value;
        if (pos < tag.size() && tag[pos] == '=') {
            value = readValue(tag, pos);
        } else if (attribute.empty()) {
            pos = skipStrayQuoted(tag, pos);
            continue;
        }
        if (!attribute.empty() && equalsIgnoreCase(localName(attribute), name))
            return decodeValue(value);
    }
    return std::nullopt;
}

int attributeNumber(std::string_view tag, std::string_view name) {
    std::optional<std::string> text = attributeText(tag, name);
    if (!text) return 0;
    std::string_view digits = *text;
    std::size_t first = digits.find_first_not_of(' ');
    if (first == std::string_view::npos) return 0;
    digits = digits.substr(first, digits.find_last_not_of(' ') - first + 1);
    int number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size()) return 0;
    return number;
}

}  // namespace kavrel::playlist
