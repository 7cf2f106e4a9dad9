#pragma once
// The log's inline markup: "[b]bold[/b]", "[bl]blue[/bl]", "[c:0000FF]red[/c:0000FF]" …
// A message becomes its plain line and a list of runs, each with the one effect of its tag.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

struct MarkupRun {
    enum class Effect { Plain, Bold, Italic, Underline, Size, Colour, Default };
    std::string text;
    Effect effect = Effect::Plain;
    int pointSize = 0;  // Size: 10 for "s1", 12 for "s2"
    uint32_t bgr = 0;   // Colour: 0xBBGGRR (lowest byte red)
};

struct MarkupLine {
    std::string plain;            // the line as shown, without tags
    std::vector<MarkupRun> runs;  // concatenated, the runs' texts give plain
};

MarkupLine parseMarkup(std::string_view message);

// Text from outside (a file name, a playlist's text) to be shown exactly as it is: control
// characters and line separators become visible escapes ("\n", "\x1b", "\u2028"), so the text
// cannot break a log line or fake one, nor drive a terminal.
std::string escapeControls(std::string_view text);

// escapeControls, and a "[" in the text can no longer open a tag: "mk/[re]o[/re]" shows as it
// is. Every name that goes into a markup message goes through here.
std::string markupLiteral(std::string_view text);

// The log line of an error: "Error: " and the plain text, shown literally, in red.
std::string errorLine(std::string_view plain);

// The hexadecimal-digits reader of the colour tag: other characters are skipped.
uint32_t readHexDigits(std::string_view text);

}  // namespace kavrel
