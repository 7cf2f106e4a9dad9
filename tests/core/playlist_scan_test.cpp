// The re-indenting tag scan and the reading of tag lines.
#include <gtest/gtest.h>

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

TEST(MemoScan, IndentsByNestingWithClosingTagsOneLevelOut) {
    EXPECT_EQ(memoOf("<a><b><c x=\"1\"></c></b></a>"),
              (Lines{"<a>", "  <b>", "    <c x=\"1\">", "    </c>", "  </b>", "</a>"}));
}

TEST(MemoScan, SelfClosingDeclarationAndCommentDoNotDeepen) {
    EXPECT_EQ(memoOf("<?xml version=\"1.0\"?><!-- note --><a><b/><!-- inner --><c/></a><d/>"),
              (Lines{"<?xml version=\"1.0\"?>", "<!-- note -->", "<a>", "  <b/>",
                     "  <!-- inner -->", "  <c/>", "</a>", "<d/>"}));
    EXPECT_EQ(memoOf("<!DOCTYPE x><a/>"), (Lines{"<!DOCTYPE x>", "<a/>"}));
}

TEST(MemoScan, FoldsControlBytesInsideTagsAndDropsTextBetweenThem) {
    // Line ends and tabs fold into one blank; blanks themselves are kept as they stand.
    EXPECT_EQ(memoOf("<a\r\n\t\tx=\"1\"\n  y=\"2\">text > here\n<b\x01\x02/>tail</a>"),
              (Lines{"<a x=\"1\"   y=\"2\">", "  <b />", "</a>"}));
    EXPECT_EQ(memoOf("<a n=\"Caf\xC3\xA9\x7F\"/>"), (Lines{"<a n=\"Caf\xC3\xA9\x7F\"/>"}));
}

TEST(MemoScan, QuotedValuesAndCommentsMayHoldTagCharacters) {
    EXPECT_EQ(memoOf("<a n=\"x > y\" m='/>' k=\"it's\"><!-- a > b -- c <d> --><b/></a>"),
              (Lines{"<a n=\"x > y\" m='/>' k=\"it's\">", "  <!-- a > b -- c <d> -->", "  <b/>",
                     "</a>"}));
}

TEST(MemoScan, AMissingClosingQuoteEndsItsTagAtTheNextTag) {
    EXPECT_EQ(memoOf("<a>\n<b n=\"en/>\n<c x=\"1\"/>\n<d n=\"open>\n<e/>\n</d></a>"),
              (Lines{"<a>", "  <b n=\"en/>", "  <c x=\"1\"/>", "  <d n=\"open>", "    <e/>",
                     "  </d>", "</a>"}));
    EXPECT_EQ(attributeText("  <b n=\"en/> ", "n"), "en");
    EXPECT_EQ(attributeText("  <d n=\"open> ", "n"), "open");
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

    EXPECT_TRUE(memoOf("").empty());
    EXPECT_TRUE(memoOf("plain text > with no tags").empty());
}

TEST(MemoScan, StrayClosingTagsKeepTheirText) {
    // More closing than opening tags: the tag text itself is never cut.
    EXPECT_EQ(memoOf("</x></y><a/>"), (Lines{"</x>", "</y>", "<a/>"}));
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

TEST(TagText, AttributesMatchWholeNamesWithoutRegardToCase) {
    const std::string tag =
        "<Audio audioIndex=\"7\" subCodec=\"X\" INDEX=\"3\" Codec = 'DD+' channels=\"6\"/>";
    EXPECT_EQ(attributeText(tag, "index"), "3");
    EXPECT_EQ(attributeText(tag, "codec"), "DD+");
    EXPECT_EQ(attributeText(tag, "Channels"), "6");
    EXPECT_EQ(attributeText(tag, "dex"), std::nullopt);
    EXPECT_EQ(attributeText(tag, "Audio"), std::nullopt);  // the element name is no attribute
    // A name inside another attribute's value is not an attribute.
    EXPECT_EQ(attributeText("<a note='codec=\"x\"' codec=\"y\">", "codec"), "y");
    EXPECT_EQ(attributeText("<a note='codec=\"x\"'>", "codec"), std::nullopt);
}

TEST(TagText, ValuesKeepTagCharactersAndDecodeReferences) {
    EXPECT_EQ(attributeText("<a n=\"x > y\" m=\"2\">", "n"), "x > y");
    EXPECT_EQ(attributeText("<a n=\"x > y\" m=\"2\">", "m"), "2");
    EXPECT_EQ(attributeText("<a n=\"Q&amp;A &lt;1&gt; &quot;&apos; &#65;&#x42; &bogus; &\"/>", "n"),
              "Q&A <1> \"' AB &bogus; &");
    EXPECT_EQ(attributeText("<a n=\"&#233;\"/>", "n"), "\xC3\xA9");
    EXPECT_EQ(attributeText("<a n=\"&#0;&#xD800;&#x110000;\"/>", "n"), "&#0;&#xD800;&#x110000;");
    EXPECT_EQ(attributeText("<a n=x/>", "n"), "x");
    EXPECT_EQ(attributeText("<a flag n=\"1\">", "flag"), "");
}

TEST(TagText, BrokenAndOversizedValuesStayInsideTheTag) {
    EXPECT_EQ(attributeText("<a n=\"never closed", "n"), "never closed");
    EXPECT_EQ(attributeText("<a n='x/>", "n"), "x");
    EXPECT_EQ(attributeText("<a n=", "n"), "");
    EXPECT_EQ(attributeText("<a n", "n"), "");
    EXPECT_EQ(attributeText("<a \"stray\" n=\"1\">", "n"), "1");
    EXPECT_EQ(attributeText("<a \"unbalanced n=\"1\">", "n"), std::nullopt);
    EXPECT_EQ(attributeText("", "n"), std::nullopt);

    std::string longValue(1000, 'x');
    EXPECT_EQ(attributeText("<a n=\"" + longValue + "\"/>", "n"),
              std::string(kMaxAttributeLength, 'x'));
    // Cut back to a whole character: 254 ASCII bytes then a two-byte character at 255.
    std::string utf8 = std::string(254, 'x') + "\xC3\xA9" + "tail";
    EXPECT_EQ(attributeText("<a n=\"" + utf8 + "\"/>", "n"), std::string(254, 'x'));
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
