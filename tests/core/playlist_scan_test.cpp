// The re-indenting tag scan and the reading of tag lines.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "playlist/memo_scanner.h"
#include "playlist/tag_text.h"

namespace kavrel::playlist {
namespace {

using Lines = std::vector<std::string>;

Lines asLines(const Memo& memo) {
    return Lines(memo.begin(), memo.end());
}

Lines memoOf(std::string_view text) {
    MemoScanner scanner;
    scanner.feed(text);
    scanner.finish();
    return asLines(scanner.lines());
}

// Indented by nesting, closing tags one level out; self-closing tags, declarations and comments
// do not deepen; control bytes inside tags fold into one blank (blanks are kept as they stand)
// and text between tags is dropped; quoted values and comments may hold tag characters; a
// missing closing quote ends its tag at the next tag; stray closing tags keep their text.
TEST(MemoScan, TagsOneALineIndentedByNesting) {
    struct Case {
        std::string_view text;
        Lines memo;
    };
    const Case cases[] = {
        {"<a><b><c x=\"1\"></c></b></a>",
         {"<a>", "  <b>", "    <c x=\"1\">", "    </c>", "  </b>", "</a>"}},
        {"<?xml version=\"1.0\"?><!-- note --><a><b/><!-- inner --><c/></a><d/>",
         {"<?xml version=\"1.0\"?>", "<!-- note -->", "<a>", "  <b/>", "  <!-- inner -->", "  <c/>",
          "</a>", "<d/>"}},
        {"<!DOCTYPE x><a/>", {"<!DOCTYPE x>", "<a/>"}},
        {"<a\r\n\t\tx=\"1\"\n  y=\"2\">text > here\n<b\x01\x02/>tail</a>",
         {"<a x=\"1\"   y=\"2\">", "  <b />", "</a>"}},
        {"<a n=\"Caf\xC3\xA9\x7F\"/>", {"<a n=\"Caf\xC3\xA9\x7F\"/>"}},
        {"<a n=\"x > y\" m='/>' k=\"it's\"><!-- a > b -- c <d> --><b/></a>",
         {"<a n=\"x > y\" m='/>' k=\"it's\">", "  <!-- a > b -- c <d> -->", "  <b/>", "</a>"}},
        {"<a>\n<b n=\"en/>\n<c x=\"1\"/>\n<d n=\"open>\n<e/>\n</d></a>",
         {"<a>", "  <b n=\"en/>", "  <c x=\"1\"/>", "  <d n=\"open>", "    <e/>", "  </d>",
          "</a>"}},
        {"</x></y><a/>", {"</x>", "</y>", "<a/>"}},
        {"", {}},
        {"plain text > with no tags", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(memoOf(c.text), c.memo) << c.text;
}

TEST(MemoScan, ChunkBoundariesDoNotMatter) {
    const std::string text =
        "<?xml v=\"1\"?>\n<!-- c --><a x=\"1>2\">\r\n<b/></a><c\ty='q'/><!--->-->";
    const Lines whole = memoOf(text);
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        MemoScanner scanner;
        scanner.feed(std::string_view(text).substr(0, cut));
        scanner.feed(std::string_view(text).substr(cut));
        scanner.finish();
        EXPECT_EQ(asLines(scanner.lines()), whole) << "cut at " << cut;
    }
}

TEST(MemoScan, DataEndingInsideATagKeepsThePartialTag) {
    MemoScanner scanner;
    scanner.feed("<a><b x=\"unterminated > still value");
    scanner.finish();
    EXPECT_TRUE(scanner.endedInsideTag());
    EXPECT_EQ(asLines(scanner.lines()), (Lines{"<a>", "  <b x=\"unterminated > still value"}));

    MemoScanner comment;
    comment.feed("<a/><!-- never closed >");
    comment.finish();
    EXPECT_TRUE(comment.endedInsideTag());
    EXPECT_EQ(comment.lines().back(), "<!-- never closed >");
}

TEST(MemoScan, HostileNestingIsDrawnAtABoundedDepth) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<a>";
    Lines lines = memoOf(deep);
    ASSERT_EQ(lines.size(), 5000u);
    EXPECT_EQ(lines.back(), std::string(2 * kMaxIndentUnits, ' ') + "<a>");
}

TEST(MemoScan, RandomBytesNeverFailAndKeepEveryTagByte) {
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) {
            // Bias towards the structural characters so the state machine is exercised.
            static const char kBias[] = "<>/?-!\"' \n";
            auto value = static_cast<unsigned>(random() % 300);
            c = value < 256 ? static_cast<char>(value) : kBias[value % (sizeof kBias - 1)];
        }
        Lines lines = memoOf(bytes);
        for (const std::string& line : lines) {
            EXPECT_LE(line.find_first_not_of(' '), 2 * kMaxIndentUnits);
            for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 32u);
        }
    }
}

TEST(TagText, ElementNames) {
    EXPECT_EQ(tagName("    <Audio track=\"1\"/>").name, "Audio");
    EXPECT_EQ(tagName("<pl:Title id=\"x\">").name, "Title");
    EXPECT_TRUE(tagName("  </Title>").closing);
    EXPECT_TRUE(isOpeningTag("<TITLE id=\"1\">", "Title"));
    EXPECT_FALSE(isOpeningTag("<TitleSet>", "Title"));
    EXPECT_FALSE(isOpeningTag("</Title>", "Title"));
    EXPECT_TRUE(isClosingTag("</title>", "Title"));
    EXPECT_FALSE(isClosingTag("</TitleSet>", "Title"));
    EXPECT_TRUE(tagName("<!-- <Title id=\"x\"> -->").name.empty());
    EXPECT_TRUE(tagName("<?xml version=\"1.0\"?>").name.empty());
    EXPECT_TRUE(tagName("no tag").name.empty());
}

// Attributes match whole names without regard to case, never inside another value; values keep
// tag characters and decode references; broken values stay inside the tag; a tag whose quote
// is missing still gives the value it began.
TEST(TagText, AttributeValues) {
    const std::string audio =
        "<Audio audioIndex=\"7\" subCodec=\"X\" INDEX=\"3\" Codec = 'DD+' channels=\"6\"/>";
    struct Case {
        std::string tag, name;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {audio, "index", "3"},
        {audio, "codec", "DD+"},
        {audio, "Channels", "6"},
        {audio, "dex", std::nullopt},
        {audio, "Audio", std::nullopt},  // the element name is no attribute
        {"<a note='codec=\"x\"' codec=\"y\">", "codec", "y"},
        {"<a note='codec=\"x\"'>", "codec", std::nullopt},
        {"<a n=\"x > y\" m=\"2\">", "n", "x > y"},
        {"<a n=\"x > y\" m=\"2\">", "m", "2"},
        {"<a n=\"Q&amp;A &lt;1&gt; &quot;&apos; &#65;&#x42; &bogus; &\"/>", "n",
         "Q&A <1> \"' AB &bogus; &"},
        {"<a n=\"&#233;\"/>", "n", "\xC3\xA9"},
        {"<a n=\"&#0;&#xD800;&#x110000;\"/>", "n", "&#0;&#xD800;&#x110000;"},
        {"<a n=x/>", "n", "x"},
        {"<a flag n=\"1\">", "flag", ""},
        {"  <b n=\"en/> ", "n", "en"},
        {"  <d n=\"open> ", "n", "open"},
        {"<a n=\"never closed", "n", "never closed"},
        {"<a n='x/>", "n", "x"},
        {"<a n=", "n", ""},
        {"<a n", "n", ""},
        {"<a \"stray\" n=\"1\">", "n", "1"},
        {"<a \"unbalanced n=\"1\">", "n", std::nullopt},
        {"", "n", std::nullopt},
        {"<a n=\"" + std::string(1000, 'x') + "\"/>", "n", std::string(kMaxAttributeLength, 'x')},
        // Cut back to a whole character: 254 ASCII bytes then a two-byte character at 255.
        {"<a n=\"" + std::string(254, 'x') + "\xC3\xA9tail\"/>", "n", std::string(254, 'x')},
    };
    for (const Case& c : cases) EXPECT_EQ(attributeText(c.tag, c.name), c.value) << c.tag;
}

TEST(TagText, NumbersAreDecimalOrZero) {
    EXPECT_EQ(attributeNumber("<a n=\"12\"/>", "n"), 12);
    EXPECT_EQ(attributeNumber("<a n=\" 7 \"/>", "n"), 7);
    EXPECT_EQ(attributeNumber("<a n=\"-1\"/>", "n"), -1);
    EXPECT_EQ(attributeNumber("<a n=\"3x\"/>", "n"), 0);
    EXPECT_EQ(attributeNumber("<a n=\"\"/>", "n"), 0);
    EXPECT_EQ(attributeNumber("<a n=\"99999999999999999999\"/>", "n"), 0);
    EXPECT_EQ(attributeNumber("<a/>", "n"), 0);
}

TEST(TagText, InputNamesMatchAsWholeFileNames) {
    const std::string src = "<Clip src=\"file:///dvddisc/HVDVD_TS/FEATURE_1.MAP\"/>";
    EXPECT_TRUE(containsName(src, "FEATURE_1"));
    EXPECT_TRUE(containsName(src, "feature_1"));
    EXPECT_FALSE(containsName("<Clip src=\"FEATURE_10.MAP\"/>", "FEATURE_1"));
    EXPECT_FALSE(containsName("<Clip src=\"MY_FEATURE_1.MAP\"/>", "FEATURE_1"));
    EXPECT_FALSE(containsName(src, "FEATURE_1_FEATURE_2"));
    EXPECT_FALSE(containsName(src, ""));
}

}  // namespace
}  // namespace kavrel::playlist
