#include "tools/mkdisc/sample_playlist.h"

#include <cstdio>
#include <stdexcept>

namespace kavrel::mkdisc {

namespace {

// Fills in the time base: "{BASE}" becomes "24fps" or "60fps", and each "{HH:MM:SS:FF}", written
// at 24 frames per second with an even frame number, becomes the same instant in the time base.
std::string withTimeBase(std::string text, int framesPerSecond) {
    if (framesPerSecond != 24 && framesPerSecond != 60)
        throw std::invalid_argument("the sample playlist has a time base of 24 or 60 fps");
    const std::string base = std::to_string(framesPerSecond) + "fps";
    std::string out;
    std::size_t at = 0;
    for (std::size_t open; (open = text.find('{', at)) != std::string::npos;) {
        std::size_t close = text.find('}', open);
        out.append(text, at, open - at);
        std::string field = text.substr(open + 1, close - open - 1);
        if (field == "BASE") {
            out += base;
        } else {
            int frames = std::stoi(field.substr(9)) * framesPerSecond / 24;
            char ff[16];
            std::snprintf(ff, sizeof ff, "%02d", frames);
            out += field.substr(0, 9) + ff;
        }
        at = close + 1;
    }
    out.append(text, at);
    return out;
}

}  // namespace

// An HD DVD advanced-content playlist as a disc carries it: the media attribute list describes
// each coding format once; titles refer to it by mediaAttr. The feature title plays
// FEATURE_1.MAP and FEATURE_2.MAP and names its tracks in both clips; its streams match the
// generated feature files (VC-1 video; DD+, DTS-HD, LPCM, TrueHD and AC-3 audio numbers 0-4;
// two subpicture streams), with eight chapters and tracks in several languages, some described
// by name; the bonus and trailer titles play the H.264 and MPEG-2 files. The first title's tag
// runs over several tab-indented lines, and the bonus title's name holds a ">" and an entity
// reference.
std::string samplePlaylist(int framesPerSecond) {
    return withTimeBase(R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- Sample disc playlist: menu, feature in two parts, bonus, trailer -->
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Kavrel Sample Disc">
  <Configuration>
    <StreamingBuffer size="0"/>
    <Aperture size="1920x1080"/>
    <MainVideoDefaultColor color="108080"/>
  </Configuration>
  <MediaAttributeList>
    <VideoAttributeItem index="1" codec="VC-1" sampleAspectRatio="16:9" horizontalResolution="1920" verticalResolution="1080" encodedFrameRate="24000/1001" sourceFrameRate="24000/1001"/>
    <VideoAttributeItem index="2" codec="MPEG-4 AVC" sampleAspectRatio="16:9" horizontalResolution="1920" verticalResolution="1080" encodedFrameRate="24000/1001" sourceFrameRate="24000/1001"/>
    <VideoAttributeItem index="3" codec="MPEG-2" sampleAspectRatio="16:9" horizontalResolution="1920" verticalResolution="1080" encodedFrameRate="24000/1001" sourceFrameRate="24000/1001"/>
    <AudioAttributeItem index="1" codec="DD+" sampleFrequency="48" sampleDepth="16" channels="6" bitrate="640"/>
    <AudioAttributeItem index="2" codec="DTS-HD" sampleFrequency="48" sampleDepth="24" channels="6" bitrate="1509"/>
    <AudioAttributeItem index="3" codec="LPCM" sampleFrequency="48" sampleDepth="16" channels="2"/>
    <AudioAttributeItem index="4" codec="MLP" sampleFrequency="48" sampleDepth="24" channels="8"/>
    <AudioAttributeItem index="5" codec="DD" sampleFrequency="48" sampleDepth="16" channels="6" bitrate="448"/>
    <SubpictureAttributeItem index="1" codec="2bitRLE"/>
    <SubpictureAttributeItem index="2" codec="8bitRLE"/>
  </MediaAttributeList>
  <TitleSet timeBase="{BASE}" defaultLanguage="en">
    <Title
	id="Menu" titleNumber="1" titleDuration="{00:01:30:00}"
	displayName="Main Menu" onEnd="Menu">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/MENU.MAP" titleTimeBegin="{00:00:00:00}" titleTimeEnd="{00:01:30:00}" dataSource="Disc">
        <Video track="1" mediaAttr="1" description=""/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
      </PrimaryAudioVideoClip>
    </Title>
    <Title id="Feature" titleNumber="2" titleDuration="{01:52:10:12}" displayName="The Feature" onEnd="Menu">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeBegin="{00:00:00:00}" titleTimeEnd="{00:58:40:00}" clipTimeBegin="{00:00:00:00}" dataSource="Disc">
        <Video track="1" mediaAttr="1" description=""/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="de" langcode="de:00"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="Score" langcode="en:00"/>
        <Audio track="4" streamNumber="4" mediaAttr="4" description="Commentary" langcode="en:00"/>
        <Audio track="5" streamNumber="5" mediaAttr="5" description="fr" langcode="fr:00"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="fr" langcode="fr:00"/>
      </PrimaryAudioVideoClip>
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" titleTimeBegin="{00:58:40:00}" titleTimeEnd="{01:52:10:12}" clipTimeBegin="{00:00:00:00}" dataSource="Disc">
        <Video track="1" mediaAttr="1" description=""/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="de" langcode="de:00"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="Score" langcode="en:00"/>
        <Audio track="4" streamNumber="4" mediaAttr="4" description="Commentary" langcode="en:00"/>
        <Audio track="5" streamNumber="5" mediaAttr="5" description="fr" langcode="fr:00"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="fr" langcode="fr:00"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="{00:00:00:00}" displayName="Opening"/>
        <Chapter titleTimeBegin="{00:09:41:12}" displayName="Arrival"/>
        <Chapter titleTimeBegin="{00:21:14:08}" displayName="The Crossing"/>
        <Chapter titleTimeBegin="{00:37:05:20}" displayName="Night Watch"/>
        <Chapter titleTimeBegin="{00:58:40:00}" displayName="Part Two"/>
        <Chapter titleTimeBegin="{01:12:33:04}" displayName="The Letter"/>
        <Chapter titleTimeBegin="{01:29:58:22}" displayName="Reunion &amp; Return"/>
        <Chapter titleTimeBegin="{01:40:02:16}" displayName="Finale"/>
      </ChapterList>
    </Title>
    <Title id="Bonus" titleNumber="3" titleDuration="{00:12:00:00}" displayName="Making of &gt; Behind the Scenes &amp; more > extras" onEnd="Menu">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/H264_1.MAP" titleTimeBegin="{00:00:00:00}" titleTimeEnd="{00:12:00:00}" dataSource="Disc">
        <Video track="1" mediaAttr="2" description=""/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Audio track="2" streamNumber="2" mediaAttr="5" description="en" langcode="en:00"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
      </PrimaryAudioVideoClip>
    </Title>
    <Title id="Trailer" titleNumber="4" titleDuration="{00:02:10:00}" displayName="Trailer" onEnd="Menu">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/MPEG2_1.MAP" titleTimeBegin="{00:00:00:00}" titleTimeEnd="{00:02:10:00}" dataSource="Disc">
        <Video track="1" mediaAttr="3" description=""/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
        <Audio track="2" streamNumber="2" mediaAttr="5" description="fr" langcode="fr:00"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="en" langcode="en:00"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="{00:00:00:00}" displayName="Trailer"/>
      </ChapterList>
    </Title>
  </TitleSet>
</Playlist>
)",
                        framesPerSecond);
}

}  // namespace kavrel::mkdisc
