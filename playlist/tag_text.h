#pragma once
// Reading one tag line of the re-indented playlist: its element name and its attribute values.
// Names are compared without regard to case and as whole names, so "index" never matches
// "audioIndex"; a namespace prefix ("pl:Title") is not part of the name.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel::playlist {

// Longest attribute value kept, in bytes: values become captions and tree texts.
inline constexpr std::size_t kMaxAttributeLength = 255;

struct TagName {
    std::string_view name;  // local name; empty for comments, declarations and non-tags
    bool closing = false;   // "</name>"
};

// The element name of a tag line such as "    <Audio track=\"1\"/>" (leading blanks allowed).
TagName tagName(std::string_view line);

// Whether the line opens (or is a self-closing) element of this name.
bool isOpeningTag(std::string_view line, std::string_view name);
// Whether the line closes an element of this name ("</Title>").
bool isClosingTag(std::string_view line, std::string_view name);
// Whether the tag line ends its element itself ("<Chapter …/>").
bool isSelfClosing(std::string_view line);

// The value of the attribute of exactly this name, with XML character references decoded and
// cut to kMaxAttributeLength bytes; nullopt when the tag has no such attribute. Values in
// double or single quotes are read; a value whose closing quote is missing runs to the end of
// the line, less the "/>" or ">" that ends the tag.
std::optional<std::string> attributeText(std::string_view tag, std::string_view name);

// The attribute as a decimal integer; 0 when it is absent or not a number.
int attributeNumber(std::string_view tag, std::string_view name);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Whether name occurs in text as a whole file name or word (case-insensitive): the characters
// around it are not letters, digits, "_" or "-", so FEATURE_1 is not found in FEATURE_10.MAP.
bool containsName(std::string_view text, std::string_view name);

}  // namespace kavrel::playlist
