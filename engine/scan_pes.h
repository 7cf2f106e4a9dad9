#pragma once
// The byte step of the program-stream scanner: finds PES packets by their start codes, reads
// their headers and time stamps, classifies the private stream 1 sub-streams, announces streams,
// and hands payload runs to frame counting, the first-header reports and the streams' sinks.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "analysers/analysers.h"
#include "engine/demux.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/scan_nav.h"
#include "engine/stream_ids.h"

namespace kavrel {

class PesScanner {
  public:
    PesScanner(RunState& state, const ScanOptions& options, EngineHost& host, ScanMode mode);

    // Scans one chunk. A packet, header or skip that runs past the chunk's end carries on in
    // the next call; nothing outside data[0, size) is read.
    void scan(const uint8_t* data, std::size_t size);

    // Analyses, with what was gathered, the first bytes of the streams whose analysis waits for
    // more; called when the file ends or the scan stops.
    void finish();

    // Video and audio stream counts of the first system header, used by the navigation report.
    void setStreamCounts(int video, int audio) {
        videoCount_ = video;
        audioCount_ = audio;
    }

    // What the packet in hand is; Video, Audio and Subpicture payload is used. MPEG audio
    // becomes Audio once its PES header is read.
    enum class Kind : uint8_t {
        Video = 0,
        Audio = 1,
        Ignored = 2,
        Skipped = 3,
        MpegAudio = 4,
        Private1 = 5,
        Subpicture = 6,
        Private2 = 7,
        None = 8,
    };

  private:
    enum class Phase : uint8_t {
        Seek,           // outside any packet: the start-code register looks for a packet
        Length,         // the two PES_packet_length bytes
        Header,         // the three fixed header bytes and the header data
        SubHeader,      // the private stream 1 sub-stream id and the three bytes after it
        PrivateHeader,  // the audio header bytes after the sub-stream header (LPCM 3, TrueHD 1;
                        // on DVD-Audio as many as the packet says)
        Private2Id,     // the sub-stream id of a private stream 2 packet
        Navigation,     // the bytes of the navigation packet that its report reads
        Payload,        // the rest of the packet, used or passed over by kind
    };

    std::size_t seek(const uint8_t* data, std::size_t at, std::size_t size);
    std::size_t payload(const uint8_t* data, std::size_t at, std::size_t size);
    std::size_t navigation(const uint8_t* data, std::size_t at, std::size_t size);
    std::size_t header(const uint8_t* data, std::size_t at, std::size_t size);
    std::size_t privateHeader(const uint8_t* data, std::size_t at, std::size_t size);
    // Copies into `to` + have as much of a header block as the chunk and the packet hold, passes
    // its last bytes through the register and returns how many were taken.
    std::size_t takeBlock(uint8_t* to, std::size_t& have, std::size_t need, const uint8_t* data,
                          std::size_t at, std::size_t size);
    void headerByte(uint8_t byte);
    bool startPacket(uint8_t id);
    void endPacket() { phase_ = Phase::Seek; }
    void headerDone();
    void subpictureHeader(const IdFamily& family, uint8_t id);
    void audioHeader(uint8_t id);
    void mpegAudioHeader(const IdFamily& family);
    void announceVideo(const IdFamily& family, uint8_t id);
    int meet(const IdFamily& family, uint8_t id);
    bool announceOnce(int stream, const IdFamily& family, const char* message);
    void noteFirstPts(int stream);

    // The first bytes of an audio stream, gathered across its packets until its analyser has
    // what it wants to see.
    struct Gathering {
        int stream = -1;
        AudioClass audioClass = AudioClass::DolbyDigital;
        analysers::LpcmCarriage carriage = analysers::LpcmCarriage::Video;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> privateHeader;
        bool log = false;  // its lines go to the log
    };

    void usePayload(const uint8_t* run, std::size_t size);
    void reportVideo(std::span<const uint8_t> run);
    void reportAudio(std::span<const uint8_t> run);
    void reportSubpicture(std::span<const uint8_t> run);
    void gatherMore(std::span<const uint8_t> run);
    bool analyseWhenReady(Gathering& gathering);
    void analyseAudio(const Gathering& gathering);
    void deliver(int slot, const uint8_t* data, std::size_t size);
    void lowerMinFirstPts(uint32_t pts);
    void reportAobFormat();

    RunState& state_;
    const ScanOptions& options_;
    EngineHost& host_;
    const bool reading_;  // ScanMode::Read; else the payload goes to the sinks
    const bool aob_;
    const bool vob_;

    uint32_t register_ = 0;  // the last four bytes scanned, newest lowest
    Phase phase_ = Phase::Seek;
    Kind kind_ = Kind::None;
    uint8_t streamId_ = 0;
    int32_t bytesLeft_ = 0;  // of the packet in hand, counted from PES_packet_length

    int lengthRead_ = 0;
    std::array<uint8_t, 3 + 255> header_{};  // fixed bytes, then PES_header_data_length bytes
    std::size_t headerHave_ = 0;
    std::size_t headerNeed_ = 3;
    std::array<uint8_t, 4> sub_{};
    std::size_t subHave_ = 0;
    std::vector<uint8_t> private_ = std::vector<uint8_t>(16);  // grows for long headers
    std::size_t privateHave_ = 0;
    std::size_t privateNeed_ = 0;

    uint32_t currentPts_ = 0;
    uint32_t currentDts_ = 0;
    uint32_t packetPts_ = 0;
    bool packetHasPts_ = false;  // the packet in hand carries its own PTS
    bool firstRun_ = false;      // no payload run of the packet in hand was handed on yet

    VideoKind videoKind_ = VideoKind::Mpeg2;
    int32_t videoId_ = 0;
    AudioClass audioClass_ = AudioClass::DolbyDigital;
    bool mlp_ = false;
    bool damagedHeader_ = false;  // a DVD-Audio LPCM header that runs past its packet
    uint8_t subId_ = 0;
    const IdFamily* subFamily_ = nullptr;   // of the private stream 1 packet in hand
    const IdFamily* mpegFamily_ = nullptr;  // of the MPEG audio packet in hand
    // The stream table's entries of the video, audio and subpicture streams in hand (-1: none).
    int videoStream_ = -1;
    int audioStream_ = -1;
    int subStream_ = -1;
    std::vector<Gathering> gathering_;
    // The format bytes (depths, rates, channel assignment) each DVD-Audio LPCM stream last gave,
    // by stream table index.
    std::map<int, std::array<uint8_t, 3>> aobFormats_;

    bool navigationPending_ = true;
    std::array<uint8_t, kNavigationBytesMax> navigation_{};
    std::size_t navigationHave_ = 0;
    std::size_t navigationWant_ = 0;
    int videoCount_ = 0;
    int audioCount_ = 0;
};

}  // namespace kavrel
