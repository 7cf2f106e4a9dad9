// The title cut, the tree and the track offers, over small playlists and the sample disc's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run_state.h"
#include "playlist/playlist.h"
#include "tools/mkdisc/sample_playlist.h"

namespace kavrel::playlist {
namespace {

using Lines = std::vector<std::string>;

const Lines& childrenOf(const Playlist& playlist, std::string_view node) {
    for (const TreeNode& top : playlist.tree)
        if (top.text == node) return top.children;
    static const Lines kNone;
    ADD_FAILURE() << "no node " << node;
    return kNone;
}

// A playlist whose single title plays FEATURE_1 and declares the given track tags.
std::string withTracks(std::string_view attributeItems, std::string_view tracks) {
    return "<?xml version=\"1.0\"?>\n<Playlist displayName=\"P\">\n<MediaAttributeList>\n" +
           std::string(attributeItems) +
           "</MediaAttributeList>\n<TitleSet>\n<Title displayName=\"T\" titleDuration=\"1\">\n"
           "<PrimaryAudioVideoClip src=\"file:///dvddisc/HVDVD_TS/FEATURE_1.MAP\">\n" +
           std::string(tracks) + "</PrimaryAudioVideoClip>\n</Title>\n</TitleSet>\n</Playlist>\n";
}

TEST(PlaylistTitle, LabelsTracksFromTheMediaAttributeList) {
    Playlist p = scanPlaylist(
        withTracks("<VideoAttributeItem index=\"2\" codec=\"VC-1\"/>"
                   "<AudioAttributeItem index=\"1\" codec=\"DD+\" channels=\"6\"/>"
                   "<AudioAttributeItem index=\"2\" codec=\"LPCM\"/>"
                   "<SubpictureAttributeItem index=\"8\" codec=\"2bitRLE\"/>",
                   "<Video track=\"1\" mediaAttr=\"2\"/>"
                   "<Audio track=\"1\" streamNumber=\"3\" mediaAttr=\"1\" description=\"en\"/>"
                   "<Audio track=\"2\" streamNumber=\"12\" mediaAttr=\"2\" description=\"de\"/>"
                   "<Subtitle track=\"1\" streamNumber=\"16\" mediaAttr=\"8\" description=\"\"/>"),
        "FEATURE_1");
    ASSERT_TRUE(p.titleFound);
    EXPECT_EQ(childrenOf(p, "Video"), (Lines{"VC-1.stream.0"}));
    EXPECT_EQ(childrenOf(p, "Audio"), (Lines{"DD+.6ch.stream.02.en", "LPCM.stream.11.de"}));
    EXPECT_EQ(childrenOf(p, "Subtitle"), (Lines{"2bitRLE.stream.15"}));
    ASSERT_EQ(p.offers.size(), 4u);
    EXPECT_EQ(p.offers[0].slot, videoSlot(0));
    EXPECT_EQ(p.offers[1].slot, audioSlot(2));
    EXPECT_EQ(p.offers[1].label, "DD+.6ch.stream.02.en");
    EXPECT_EQ(p.offers[2].slot, audioSlot(11));
    EXPECT_EQ(p.offers[3].slot, subSlot(15));
    EXPECT_EQ(p.messages, (Lines{"VC-1.stream.0 found!", "DD+.6ch.stream.02.en found!",
                                 "LPCM.stream.11.de found!", "2bitRLE.stream.15 found!"}));
}

TEST(PlaylistTitle, TrackNamedTwiceIsListedOnce) {
    Playlist p = scanPlaylist(
        withTracks("<AudioAttributeItem index=\"1\" codec=\"DTS-HD\" channels=\"6\"/>",
                   "<Audio streamNumber=\"2\" mediaAttr=\"1\" description=\"en\"/>"
                   "<Video track=\"1\" mediaAttr=\"1\"/><Video track=\"1\" mediaAttr=\"1\"/>"
                   "<Audio streamNumber=\"2\" mediaAttr=\"1\" description=\"fr\"/>"
                   "<Subtitle streamNumber=\"2\"/><Subtitle streamNumber=\"2\"/>"),
        "FEATURE_1");
    EXPECT_EQ(childrenOf(p, "Audio"), (Lines{"DTS-HD.6ch.stream.01.en"}));
    EXPECT_EQ(childrenOf(p, "Video").size(), 1u);
    EXPECT_EQ(childrenOf(p, "Subtitle").size(), 1u);
    EXPECT_EQ(p.offers.size(), 3u);
    EXPECT_EQ(p.messages.size(), 3u);
}

TEST(PlaylistTitle, NumbersOutsideTheirTablesAreIgnored) {
    Playlist p = scanPlaylist(
        withTracks("<AudioAttributeItem index=\"0\" codec=\"A0\"/>"
                   "<AudioAttributeItem index=\"9\" codec=\"A9\"/>"
                   "<AudioAttributeItem index=\"-1\" codec=\"Aneg\"/>"
                   "<AudioAttributeItem index=\"99\" codec=\"A99\"/>"
                   "<AudioAttributeItem index=\"8\" codec=\"A8\"/>",
                   "<Audio streamNumber=\"0\" mediaAttr=\"8\"/>"
                   "<Audio streamNumber=\"17\" mediaAttr=\"8\"/>"
                   "<Audio streamNumber=\"-1\" mediaAttr=\"8\"/>"
                   "<Audio streamNumber=\"4294967297\" mediaAttr=\"8\"/>"
                   "<Video track=\"17\"/><Video track=\"0\"/><Subtitle streamNumber=\"99\"/>"
                   "<Video track=\"2\" mediaAttr=\"1\"/>"
                   "<Audio streamNumber=\"1\" mediaAttr=\"9\"/>"
                   "<Audio streamNumber=\"2\" mediaAttr=\"0\"/>"
                   "<Audio streamNumber=\"16\" mediaAttr=\"8\"/>"),
        "FEATURE_1");
    // Attribute items outside 1..8 fill nothing; a mediaAttr outside 1..8 gives no codec.
    EXPECT_EQ(childrenOf(p, "Audio"), (Lines{".stream.00", ".stream.01", "A8.stream.15"}));
    EXPECT_EQ(childrenOf(p, "Video"), (Lines{".stream.1"}));  // listed, but only track 1 is offered
    EXPECT_TRUE(childrenOf(p, "Subtitle").empty());
    ASSERT_EQ(p.offers.size(), 3u);
    EXPECT_EQ(p.offers.back().slot, audioSlot(15));
}

TEST(PlaylistTitle, AttributesAreReadByWholeNameAndNeverInherited) {
    Playlist p =
        scanPlaylist(withTracks("<AudioAttributeItem audioIndex=\"2\" index=\"1\" subCodec=\"no\" "
                                "codec=\"DD+\" channels=\"6\"/>"
                                "<AudioAttributeItem index=\"2\" codec=\"LPCM\"/>",
                                "<Audio streamNumber=\"1\" mediaAttr=\"1\" description=\"en\"/>"
                                "<Audio streamNumber=\"2\" mediaAttr=\"2\"/>"),
                     "FEATURE_1");
    // The second item has no channels and the second track no description: nothing carries
    // over from the tags before them.
    EXPECT_EQ(childrenOf(p, "Audio"), (Lines{"DD+.6ch.stream.00.en", "LPCM.stream.01"}));
}

TEST(PlaylistTitle, AMissingQuoteDoesNotHideLaterTracks) {
    Playlist p =
        scanPlaylist(withTracks("<AudioAttributeItem index=\"1\" codec=\"DD+\" channels=\"6\"/>\n",
                                "<Audio streamNumber=\"1\" mediaAttr=\"1\" description=\"en/>\n"
                                "<Audio streamNumber=\"2\" mediaAttr=\"1\" description=\"fr\"/>\n"),
                     "FEATURE_1");
    ASSERT_TRUE(p.titleFound);
    EXPECT_EQ(childrenOf(p, "Audio"), (Lines{"DD+.6ch.stream.00.en", "DD+.6ch.stream.01.fr"}));
    EXPECT_EQ(p.memo.back(), "    </Title>");
}

TEST(PlaylistTitle, CutToTheTitleThatPlaysTheInput) {
    const std::string text =
        "<Playlist displayName=\"Disc\">\n"
        "<Title displayName=\"Intro\" titleDuration=\"00:00:10:00\">\n"
        "<PrimaryAudioVideoClip src=\"INTRO_1.MAP\"/>\n<Chapter titleTimeBegin=\"0\" "
        "displayName=\"x\"/>\n</Title>\n"
        "<title DisplayName=\"Main\" TITLEDURATION=\"01:00:00:00\">\n"
        "<PrimaryAudioVideoClip src=\"file:///dvddisc/HVDVD_TS/FEATURE_1.MAP\"/>\n"
        "<ChapterList>\n<Chapter titleTimeBegin=\"00:00:00:00\" displayName=\"Start\"/>\n"
        "<Chapter titleTimeBegin=\"00:30:00:00\" displayName=\"Middle &amp; more\"/>\n"
        "</ChapterList>\n</title>\n"
        "<Title displayName=\"Bonus\"><PrimaryAudioVideoClip src=\"FEATURE_1X.MAP\"/></Title>\n"
        "</Playlist>\n";
    Playlist p = scanPlaylist(text, "feature_1");
    ASSERT_TRUE(p.titleFound);
    EXPECT_EQ(p.memo.front(), "  <title DisplayName=\"Main\" TITLEDURATION=\"01:00:00:00\">");
    EXPECT_EQ(p.memo.back(), "  </title>");
    EXPECT_EQ(p.memo.size(), 7u);
    EXPECT_EQ(childrenOf(p, "Info"), (Lines{"Title: Disc", "Name: Main", "Duration: 01:00:00:00"}));
    EXPECT_EQ(childrenOf(p, "Chapter"),
              (Lines{"00:00:00:00: Start", "00:30:00:00: Middle & more"}));
    ASSERT_EQ(p.tree.size(), 5u);
    EXPECT_EQ(p.tree[0].text, "Info");
    EXPECT_EQ(p.tree[4].text, "Chapter");
}

TEST(PlaylistTitle, NoTitleKeepsTheWholePlaylist) {
    const std::string text =
        "<Playlist>\n<!-- FEATURE_1 is named here, outside any title -->\n"
        "<Title displayName=\"Intro\"><Clip src=\"INTRO.MAP\"/></Title>\n"
        "<Clip src=\"FEATURE_1.MAP\"/>\n</Playlist>\n";
    for (std::string_view base : {"FEATURE_1", "FEATURE_9", "", "Playlist"}) {
        Playlist p = scanPlaylist(text, base);
        EXPECT_FALSE(p.titleFound) << base;
        EXPECT_TRUE(p.tree.empty());
        EXPECT_TRUE(p.offers.empty());
        EXPECT_EQ(p.memo.size(), 7u);
    }
    // Named on the first line only: that is not a title's clip either.
    EXPECT_FALSE(scanPlaylist("<Title src=\"FEATURE_1.MAP\"></Title>", "FEATURE_1").titleFound);
}

TEST(PlaylistTitle, TitleWithoutItsClosingTagRunsToTheEnd) {
    Playlist p = scanPlaylist(
        "<Playlist>\n<Title displayName=\"A\">\n<Clip src=\"FEATURE_1.MAP\"/>\n"
        "<Chapter titleTimeBegin=\"1\" displayName=\"c\"/>\n<Clip src=\"cut short",
        "FEATURE_1");
    ASSERT_TRUE(p.titleFound);
    EXPECT_TRUE(p.endedInsideTag);
    EXPECT_EQ(p.memo.size(), 4u);
    EXPECT_EQ(childrenOf(p, "Chapter"), (Lines{"1: c"}));
}

TEST(PlaylistTitle, SamplePlaylistMemoAndTree) {
    const std::string sample = mkdisc::samplePlaylist();
    Playlist whole = scanPlaylist(sample, "");
    EXPECT_FALSE(whole.titleFound);
    EXPECT_FALSE(whole.endedInsideTag);
    EXPECT_EQ(whole.playlistTitle, "Kavrel Sample Disc");
    ASSERT_GE(whole.memo.size(), 4u);
    EXPECT_EQ(whole.memo[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    EXPECT_EQ(whole.memo[1].substr(0, 4), "<!--");
    EXPECT_EQ(whole.memo[3], "  <Configuration>");
    EXPECT_EQ(whole.memo.back(), "</Playlist>");
    // The menu title's tag runs over tab-indented lines: it reads as one line.
    EXPECT_NE(std::find(whole.memo.begin(), whole.memo.end(),
                        "    <Title id=\"Menu\" titleNumber=\"1\" titleDuration=\"00:01:30:00\" "
                        "displayName=\"Main Menu\" onEnd=\"Menu\">"),
              whole.memo.end());

    // FEATURE_1 and FEATURE_2 both play the feature title; the run's joined output name
    // FEATURE_1_FEATURE_2 names no file of the playlist.
    for (const char* input : {"/disc/HVDVD_TS/FEATURE_1.EVO", "/disc/HVDVD_TS/feature_2.evo"}) {
        Playlist p = scanPlaylist(sample, titleLookupName(input));
        ASSERT_TRUE(p.titleFound) << input;
        EXPECT_EQ(p.memo.front().find("<Title id=\"Feature\""), 4u);
        EXPECT_EQ(p.memo.back(), "    </Title>");
        EXPECT_EQ(childrenOf(p, "Info"), (Lines{"Title: Kavrel Sample Disc", "Name: The Feature",
                                                "Duration: 01:52:10:12"}));
        EXPECT_EQ(childrenOf(p, "Video"), (Lines{"VC-1.stream.0"}));
        EXPECT_EQ(
            childrenOf(p, "Audio"),
            (Lines{"DD+.6ch.stream.00.en", "DTS-HD.6ch.stream.01.de", "LPCM.2ch.stream.02.Score",
                   "MLP.8ch.stream.03.Commentary", "DD.6ch.stream.04.fr"}));
        EXPECT_EQ(childrenOf(p, "Subtitle"),
                  (Lines{"2bitRLE.stream.00.en", "8bitRLE.stream.01.fr"}));
        EXPECT_EQ(childrenOf(p, "Chapter").size(), 8u);
        EXPECT_EQ(childrenOf(p, "Chapter")[6], "01:29:58:22: Reunion & Return");
        EXPECT_EQ(p.offers.size(), 8u);
    }
    EXPECT_FALSE(scanPlaylist(sample, "FEATURE_1_FEATURE_2").titleFound);

    Playlist bonus = scanPlaylist(sample, "H264_1");
    ASSERT_TRUE(bonus.titleFound);
    EXPECT_EQ(childrenOf(bonus, "Info")[1], "Name: Making of > Behind the Scenes & more > extras");
    EXPECT_EQ(childrenOf(bonus, "Video"), (Lines{"MPEG-4 AVC.stream.0"}));
    EXPECT_EQ(childrenOf(bonus, "Audio"), (Lines{"DD+.6ch.stream.00.en", "DD.6ch.stream.01.en"}));
}

}  // namespace
}  // namespace kavrel::playlist
