#include "engine/markup.h"

#include <gtest/gtest.h>

#include <random>

namespace kavrel {
namespace {

using Effect = MarkupRun::Effect;

// Every run's text, joined, must give the plain line.
std::string joined(const MarkupLine& line) {
    std::string text;
    for (const auto& run : line.runs) text += run.text;
    return text;
}

TEST(Markup, PlainTextAndEmptyMessage) {
    MarkupLine empty = parseMarkup("");
    EXPECT_EQ(empty.plain, "");
    EXPECT_TRUE(empty.runs.empty());

    MarkupLine plain = parseMarkup("File size: 5 Mbytes.");
    EXPECT_EQ(plain.plain, "File size: 5 Mbytes.");
    ASSERT_EQ(plain.runs.size(), 1u);
    EXPECT_EQ(plain.runs[0].effect, Effect::Plain);
}

TEST(Markup, TagsGiveTheirEffects) {
    MarkupLine line = parseMarkup("[b]Dolby Digital[/b] audio stream 0 found!");
    EXPECT_EQ(line.plain, "Dolby Digital audio stream 0 found!");
    ASSERT_EQ(line.runs.size(), 2u);
    EXPECT_EQ(line.runs[0].text, "Dolby Digital");
    EXPECT_EQ(line.runs[0].effect, Effect::Bold);
    EXPECT_EQ(line.runs[1].effect, Effect::Plain);

    struct Case {
        const char* tag;
        Effect effect;
        int size;
        uint32_t bgr;
    };
    const Case cases[] = {
        {"i", Effect::Italic, 0, 0},         {"u", Effect::Underline, 0, 0},
        {"s1", Effect::Size, 10, 0},         {"s2", Effect::Size, 12, 0},
        {"bl", Effect::Colour, 0, 0xFF0000}, {"re", Effect::Colour, 0, 0x0000FF},
        {"zz", Effect::Default, 0, 0},       {"c:00FF00", Effect::Colour, 0, 0x00FF00},
    };
    for (const Case& c : cases) {
        std::string message = std::string("   First PTS = [") + c.tag + "]0001E2A0[/" + c.tag + "]";
        MarkupLine tagged = parseMarkup(message);
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(tagged.plain, "   First PTS = 0001E2A0");
        ASSERT_EQ(tagged.runs.size(), 2u);
        EXPECT_EQ(tagged.runs[1].text, "0001E2A0");
        EXPECT_EQ(tagged.runs[1].effect, c.effect);
        if (c.effect == Effect::Size) {
            EXPECT_EQ(tagged.runs[1].pointSize, c.size);
        }
        if (c.effect == Effect::Colour) {
            EXPECT_EQ(tagged.runs[1].bgr, c.bgr);
        }
    }
}

TEST(Markup, SeveralTagsInOneLine) {
    MarkupLine line = parseMarkup("It contains [b]1[/b] video stream and [b]2[/b] audio streams.");
    EXPECT_EQ(line.plain, "It contains 1 video stream and 2 audio streams.");
    EXPECT_EQ(joined(line), line.plain);
    ASSERT_EQ(line.runs.size(), 5u);
    EXPECT_EQ(line.runs[1].effect, Effect::Bold);
    EXPECT_EQ(line.runs[3].text, "2");
    EXPECT_EQ(line.runs[4].text, " audio streams.");
}

TEST(Markup, HexDigitsReader) {
    EXPECT_EQ(readHexDigits("ff"), 0xFFu);
    EXPECT_EQ(readHexDigits("FF"), 0xFFu);
    EXPECT_EQ(readHexDigits("1x2"), 0x12u);
    EXPECT_EQ(readHexDigits(""), 0u);
    EXPECT_EQ(readHexDigits("zz"), 0u);
    EXPECT_EQ(readHexDigits("0000FF"), 0x0000FFu);
    // More digits than 32 bits hold keep the low ones instead of failing.
    EXPECT_EQ(readHexDigits("123456789"), 0x23456789u);
    EXPECT_EQ(parseMarkup("[c:ff]x[/c:ff]").runs[0].bgr, parseMarkup("[c:FF]x[/c:FF]").runs[0].bgr);
}

TEST(Markup, BracketsThatAreNotTagsShowLiterally) {
    MarkupLine name = parseMarkup("Opening file [b]Movie [1080p].EVO[/b]");
    EXPECT_EQ(name.plain, "Opening file Movie [1080p].EVO");
    ASSERT_EQ(name.runs.size(), 2u);
    EXPECT_EQ(name.runs[1].text, "Movie [1080p].EVO");
    EXPECT_EQ(name.runs[1].effect, Effect::Bold);

    EXPECT_EQ(parseMarkup("Opening file Movie [1080p].EVO").plain,
              "Opening file Movie [1080p].EVO");
    EXPECT_EQ(parseMarkup("[").plain, "[");
    EXPECT_EQ(parseMarkup("]").plain, "]");
    EXPECT_EQ(parseMarkup("a ] b [ c").plain, "a ] b [ c");
    EXPECT_EQ(parseMarkup("[b]never closed").plain, "[b]never closed");
    EXPECT_EQ(parseMarkup("[]x[/]").plain, "[]x[/]");
    EXPECT_EQ(parseMarkup("[/b]stray close").plain, "[/b]stray close");
    // A "[" inside the name: the tag begins at the last "[" before the "]".
    MarkupLine inner = parseMarkup("[[b]x[/b]");
    EXPECT_EQ(inner.plain, "[x");
    EXPECT_EQ(inner.runs.back().effect, Effect::Bold);
    // Tags do not nest: an opening tag inside a run is its text.
    EXPECT_EQ(parseMarkup("[b]a[i]b[/i][/b]").plain, "a[i]b[/i]");
}

TEST(Markup, AlwaysEndsAndKeepsEveryCharacter) {
    std::mt19937 random(7);
    const std::string alphabet = "[]/bcire:0F x";
    for (int round = 0; round < 2000; ++round) {
        std::string message;
        auto length = random() % 40;
        for (unsigned i = 0; i < length; ++i) message += alphabet[random() % alphabet.size()];
        MarkupLine line = parseMarkup(message);
        ASSERT_EQ(joined(line), line.plain) << message;
        ASSERT_LE(line.plain.size(), message.size()) << message;
        for (const auto& run : line.runs) ASSERT_FALSE(run.text.empty()) << message;
    }
}

TEST(MarkupLiteral, NamesShowAsTheyAreWhateverTheyHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"mk/[re]o[/re]", "mk/[re]o[/re]"},
        {"[b]x[/b] a[c:FF]b", "[b]x[/b] a[c:FF]b"},
        {"two\nlines\r\t", "two\\nlines\\r\\t"},
        {std::string("\x1b[31m\0\x7f", 7), "\\x1b[31m\\x00\\x7f"},
        {"nel\xC2\x85" "csi\xC2\x9B", "nel\\u0085csi\\u009b"},
        {"ls\xE2\x80\xA8ps\xE2\x80\xA9", "ls\\u2028ps\\u2029"},
        {"caf\xC3\xA9 \xE2\x80\x94 cut\xE2\x80", "caf\xC3\xA9 \xE2\x80\x94 cut\xE2\x80"},
    };
    for (const auto& [name, shown] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(escapeControls(name), shown);  // status texts
        // Alone, and as the whole run of the message's own tag.
        MarkupLine alone = parseMarkup("Creating " + markupLiteral(name));
        EXPECT_EQ(alone.plain, "Creating " + shown);
        EXPECT_EQ(alone.runs.size(), 1u);
        MarkupLine bold = parseMarkup("Opening file [b]" + markupLiteral(name) + "[/b]");
        ASSERT_EQ(bold.runs.size(), 2u);
        EXPECT_EQ(bold.runs[1].effect, Effect::Bold);
        EXPECT_EQ(bold.runs[1].text, shown);
    }
}

}  // namespace
}  // namespace kavrel
