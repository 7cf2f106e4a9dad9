#include "engine/scan_pes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysers/analysers.h"
#include "engine/io.h"
#include "engine/scan_frames.h"

namespace kavrel {

namespace {

std::string hex(uint32_t value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The low 32 bits of a 33-bit time stamp coded in five bytes with marker bits.
uint32_t decodeTimeStamp(const uint8_t* b) {
    return (static_cast<uint32_t>(b[0] & 0x06) << 29) | (static_cast<uint32_t>(b[1]) << 22) |
           (static_cast<uint32_t>(b[2] >> 1) << 15) | (static_cast<uint32_t>(b[3]) << 7) |
           static_cast<uint32_t>(b[4] >> 1);
}

// What the optional parts of a PES header gave.
struct HeaderFields {
    bool hasPts = false;
    bool hasDts = false;
    uint32_t pts = 0;
    uint32_t dts = 0;
    int streamIdExtension = -1;  // -1: no extension field
};

// Reads the PES header data (after the three fixed bytes) as the MPEG-2 systems standard lays
// it out. A field that PES_header_data_length does not hold is not read.
HeaderFields parseHeaderData(uint8_t flags, const uint8_t* data, std::size_t length) {
    HeaderFields fields;
    std::size_t at = 0;
    const int ptsDts = flags >> 6;
    if (ptsDts >= 2) {
        if (at + 5 > length) return fields;
        fields.pts = decodeTimeStamp(data + at);
        fields.hasPts = true;
        at += 5;
        if (ptsDts == 3) {
            if (at + 5 > length) return fields;
            fields.dts = decodeTimeStamp(data + at);
            fields.hasDts = true;
            at += 5;
        }
    }
    if (!(flags & 0x01)) return fields;
    if (flags & 0x20) at += 6;  // ESCR
    if (flags & 0x10) at += 3;  // ES_rate
    if (flags & 0x08) at += 1;  // DSM trick mode
    if (flags & 0x04) at += 1;  // additional copy info
    if (flags & 0x02) at += 2;  // previous PES CRC
    if (at >= length) return fields;
    const uint8_t extension = data[at++];
    if (extension & 0x80) at += 16;  // PES private data
    if (extension & 0x40) {          // pack header field, with its own length byte
        if (at >= length) return fields;
        at += 1 + data[at];
    }
    if (extension & 0x20) at += 2;  // program packet sequence counter
    if (extension & 0x10) at += 2;  // P-STD buffer
    if ((extension & 0x01) && at + 2 <= length) fields.streamIdExtension = data[at + 1] & 0x7F;
    return fields;
}

// Subpictures 0x20-0x3F, extended subpictures 0x60-0x7F.
constexpr bool isSubpicture(uint8_t id) {
    return (id >= 0x20 && id <= 0x3F) || (id >= 0x60 && id <= 0x7F);
}

}  // namespace

PesScanner::PesScanner(RunState& state, const ScanOptions& options, EngineHost& host, int mode)
    : state_(state),
      options_(options),
      host_(host),
      mode_(mode),
      aob_(options.extension == ".AOB"),
      vob_(options.extension == ".VOB") {}

void PesScanner::scan(const uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        switch (phase_) {
            case Phase::Seek:
                at = seek(data, at, size);
                break;
            case Phase::Payload:
                at = payload(data, at, size);
                break;
            case Phase::Navigation:
                at = navigation(data, at, size);
                break;
            case Phase::Header:
                at = header(data, at, size);
                break;
            default:
                headerByte(data[at++]);
                break;
        }
    }
}

std::size_t PesScanner::seek(const uint8_t* data, std::size_t at, std::size_t size) {
    uint32_t reg = register_;  // kept local: stores through data could alias a member
    while (at < size) {
        reg = reg << 8 | data[at++];
        if ((reg & 0xFFFFFF00u) == 0x00000100u) {
            register_ = reg;
            if (startPacket(static_cast<uint8_t>(reg))) return at;
        }
    }
    register_ = reg;
    return at;
}

bool PesScanner::startPacket(uint8_t id) {
    switch (id) {
        case 0xE0:
        case 0xE1:
            kind_ = Kind::Video;
            videoKind_ = VideoKind::Mpeg2;
            announceVideo(id & 1, id, "MPEG-2", true);
            break;
        case 0xE2:
        case 0xE3:
            kind_ = Kind::Video;
            videoKind_ = VideoKind::H264;
            announceVideo(id & 1, id, "H.264 (AVC)", false);
            break;
        case 0xFD:
            // An extended stream is video only when its stream_id_extension says VC-1.
            kind_ = Kind::Ignored;
            videoKind_ = VideoKind::Vc1;
            break;
        case 0xBC:
        case 0xBE:
            kind_ = Kind::Skipped;
            break;
        case 0xBD:
            kind_ = Kind::Private1;
            break;
        case 0xBF:
            kind_ = Kind::Private2;
            break;
        default:
            if (id < 0xC0 || id > 0xCF) return false;
            kind_ = Kind::MpegAudio;
            break;
    }
    streamId_ = id;
    phase_ = Phase::Length;
    lengthRead_ = 0;
    bytesLeft_ = 0;
    headerHave_ = 0;
    headerNeed_ = 3;
    subHave_ = 0;
    privateHave_ = 0;
    privateNeed_ = 0;
    packetHasPts_ = false;
    spPending_ = false;
    return true;
}

// The first packet of a video stream number announces it (mode 0) and records its id.
void PesScanner::announceVideo(int number, int32_t id, const char* format, bool takesPts) {
    state_.curVideo = number;
    videoId_ = id;
    if (state_.foundVideo[number] != -1) return;
    state_.foundVideo[number] = id;
    if (mode_ == 0)
        host_.log(std::string("[b]") + format + "[/b] video stream " + std::to_string(number) +
                  " found!");
    if (takesPts) state_.videoFirstPts = currentPts_;
}

void PesScanner::headerByte(uint8_t byte) {
    register_ = register_ << 8 | byte;
    if (phase_ == Phase::Length) {
        bytesLeft_ = bytesLeft_ << 8 | byte;
        if (++lengthRead_ < 2) return;
        if (kind_ == Kind::Skipped)
            phase_ = Phase::Payload;
        else if (kind_ == Kind::Private2)
            phase_ = Phase::Private2Id;
        else
            phase_ = Phase::Header;
        if (bytesLeft_ == 0) endPacket();
        return;
    }

    --bytesLeft_;
    switch (phase_) {
        case Phase::SubHeader:
            sub_[subHave_++] = byte;
            if (subHave_ == 1 && isSubpicture(byte))
                subpictureHeader(byte);
            else if (subHave_ == sub_.size())
                audioHeader(sub_[0]);
            break;
        case Phase::PrivateHeader:
            private_[privateHave_++] = byte;
            if (privateHave_ == privateNeed_) phase_ = Phase::Payload;
            break;
        case Phase::Private2Id:
            phase_ = Phase::Payload;
            if (byte == 0x01 && navigationPending_) {
                navigationWant_ =
                    std::min(static_cast<std::size_t>(bytesLeft_), navigationBytesRead(vob_));
                navigationHave_ = 0;
                // A packet too short for the VOB number and times is no navigation packet.
                if (navigationWant_ >= kNavigationMinBytes) phase_ = Phase::Navigation;
            }
            break;
        default:
            break;
    }
    if (bytesLeft_ <= 0) endPacket();
}

// The fixed header bytes and the header data are taken as a block, as much as the chunk and the
// packet hold; PES_header_data_length is known once the first three bytes are in.
std::size_t PesScanner::header(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n =
        std::min({headerNeed_ - headerHave_, size - at, static_cast<std::size_t>(bytesLeft_)});
    std::memcpy(header_.data() + headerHave_, data + at, n);
    for (std::size_t i = n > 4 ? n - 4 : 0; i < n; ++i) register_ = register_ << 8 | data[at + i];
    headerHave_ += n;
    bytesLeft_ -= static_cast<int32_t>(n);
    if (headerHave_ == 3) headerNeed_ = 3 + std::size_t{header_[2]};
    if (headerHave_ == headerNeed_) headerDone();
    if (bytesLeft_ <= 0) endPacket();
    return at + n;
}

void PesScanner::headerDone() {
    const HeaderFields fields = parseHeaderData(header_[1], header_.data() + 3, headerNeed_ - 3);
    if (fields.hasPts) {
        currentPts_ = fields.pts;
        // Without a DTS the decoding time is the presentation time.
        currentDts_ = fields.hasDts ? fields.dts : fields.pts;
        packetPts_ = fields.pts;
        packetHasPts_ = true;
    }
    if (streamId_ == 0xFD &&
        (fields.streamIdExtension == 0x55 || fields.streamIdExtension == 0x56)) {
        kind_ = Kind::Video;
        announceVideo(fields.streamIdExtension == 0x55 ? 0 : 1, fields.streamIdExtension, "VC-1",
                      true);
    }
    // The first PTS reported for a video stream is that of its own packet.
    if (kind_ == Kind::Video && fields.hasPts) state_.videoFirstPts = fields.pts;
    phase_ = kind_ == Kind::Private1 ? Phase::SubHeader : Phase::Payload;
}

void PesScanner::subpictureHeader(uint8_t id) {
    const int number = id & 0x1F;
    kind_ = Kind::Subpicture;
    subId_ = id;
    state_.curSub = number;
    if (state_.foundSub[number] == -1) {
        state_.foundSub[number] = id;
        if (mode_ == 0)
            host_.log(std::string(id < 0x40 ? "[b]Subpicture[/b] stream "
                                            : "[b]Extended subpicture[/b] stream ") +
                      std::to_string(number) + " found!");
        state_.subPts = currentPts_;
    }
    if (mode_ == 0 && id < 0x40) currentPts_ = 0;
    spPending_ = packetHasPts_;
    phase_ = Phase::Payload;
}

void PesScanner::audioHeader(uint8_t id) {
    int number = 0;
    const char* message = nullptr;
    AudioClass audioClass = AudioClass::DolbyDigital;
    bool mlp = false;
    if (id >= 0x80 && id <= 0x87) {
        number = id & 0x07;
        message = "[b]Dolby Digital[/b] audio stream ";
    } else if (id >= 0x88 && id <= 0x8F) {
        audioClass = AudioClass::Dts;
        number = id & 0x07;
        message = "[b]DTS HD (DTS)[/b] audio stream ";
    } else if (id >= 0xC0 && id <= 0xCF) {
        audioClass = AudioClass::DolbyDigitalPlus;
        number = id & 0x0F;
        message = "[b]Dolby Digital[/b] Plus audio stream ";
    } else if (id >= 0xA0 && id <= 0xA7) {
        audioClass = AudioClass::Lpcm;
        number = id & 0x0F;
        mlp = aob_ && id == 0xA1;
        message = mlp ? "[b]MLP[/b] audio stream " : "[b]LPCM[/b] audio stream ";
    } else if (id >= 0xB0 && id <= 0xB7) {
        audioClass = AudioClass::TrueHd;
        number = id & 0x07;
        message = "[b]Dolby TrueHD[/b] audio stream ";
    } else {
        kind_ = Kind::Ignored;  // an unknown sub-stream: its payload is passed over
        phase_ = Phase::Payload;
        return;
    }
    kind_ = Kind::Audio;
    audioClass_ = audioClass;
    mlp_ = mlp;
    subId_ = id;
    state_.curAudio = number;
    if (state_.foundAudio[number] == -1) {
        state_.foundAudio[number] = id;
        if (mode_ == 0) host_.log(message + std::to_string(number) + " found!");
        state_.audioPts = currentPts_;
    }
    currentPts_ = 0;
    // LPCM and MLP carry three more header bytes, TrueHD one, before their payload.
    privateNeed_ = audioClass == AudioClass::Lpcm ? 3 : audioClass == AudioClass::TrueHd ? 1 : 0;
    phase_ = privateNeed_ ? Phase::PrivateHeader : Phase::Payload;
}

std::size_t PesScanner::payload(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = std::min(static_cast<std::size_t>(bytesLeft_), size - at);
    register_ = register_ << 8 | data[at];  // the run's first byte passes the register
    switch (kind_) {
        case Kind::Video:
        case Kind::Audio:
        case Kind::MpegAudio:
        case Kind::Subpicture:
            usePayload(data + at, n);
            break;
        default:
            break;
    }
    bytesLeft_ -= static_cast<int32_t>(n);
    if (bytesLeft_ <= 0) endPacket();
    return at + n;
}

std::size_t PesScanner::navigation(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = std::min(navigationWant_ - navigationHave_, size - at);
    register_ = register_ << 8 | data[at];
    std::memcpy(navigation_.data() + navigationHave_, data + at, n);
    navigationHave_ += n;
    bytesLeft_ -= static_cast<int32_t>(n);
    if (navigationHave_ == navigationWant_) {
        navigationPending_ = false;
        phase_ = Phase::Payload;  // the rest of the packet is passed over
        for (const std::string& line :
             navigationReport(std::span(navigation_.data(), navigationHave_), vob_, videoCount_,
                              audioCount_, state_.measuredDuration))
            host_.log(line);
    }
    if (bytesLeft_ <= 0) endPacket();
    return at + n;
}

void PesScanner::usePayload(const uint8_t* run, std::size_t size) {
    const std::span<const uint8_t> bytes(run, size);
    switch (kind_) {
        case Kind::Video: {
            const int number = state_.curVideo;
            if (options_.countFrames && (mode_ == 0 || options_.checked[videoSlot(number)])) {
                const int64_t total =
                    int64_t{state_.frameCounters[number]} + countFrameStarts(bytes, videoKind_);
                state_.frameCounters[number] =
                    static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
            }
            if (mode_ == 0 && !state_.videoReported[number]) reportVideo(bytes);
            if (mode_ == 1) write(videoSlot(number), run, size);
            break;
        }
        case Kind::Audio:
            if (mode_ == 0 && !state_.audioReported[state_.curAudio]) reportAudio(bytes);
            if (mode_ == 1) write(audioSlot(state_.curAudio), run, size);
            break;
        case Kind::MpegAudio:
            // MPEG audio follows the audio number last set by a private stream 1 header.
            if (mode_ == 1 && state_.curAudio >= 0 && state_.curAudio < 16)
                write(audioSlot(state_.curAudio), run, size);
            break;
        case Kind::Subpicture:
            if (state_.curSub >= 16) break;  // announced only: no report, no output slot
            if (mode_ == 0 && !state_.subReported[state_.curSub]) reportSubpicture(bytes);
            if (mode_ == 1) writeSubpicture(run, size);
            break;
        default:
            break;
    }
}

void PesScanner::lowerMinFirstPts(uint32_t pts) {
    if (state_.minFirstPts == kNoPts || pts < state_.minFirstPts) state_.minFirstPts = pts;
}

void PesScanner::reportVideo(std::span<const uint8_t> run) {
    const int number = state_.curVideo;
    state_.videoReported[number] = true;
    lowerMinFirstPts(state_.videoFirstPts);
    if (!options_.details) return;
    host_.log("   First PTS = [re]" + hex(state_.videoFirstPts, 8) + "[/re]");
    host_.log("   Substream id = " + hex(static_cast<uint32_t>(videoId_), 2));
    const analysers::Analysis analysis = analysers::analyseVideo(videoKind_, run, number);
    for (const std::string& line : analysis.lines) host_.log(line);
    if (analysis.frameRate > 0) state_.frameRates[number] = analysis.frameRate;
}

void PesScanner::reportAudio(std::span<const uint8_t> run) {
    const int number = state_.curAudio;
    state_.audioReported[number] = true;
    lowerMinFirstPts(state_.audioPts);
    if (!options_.details) return;
    host_.log("   First PTS = [re]" + hex(state_.audioPts, 8) + "[/re]");
    host_.log("   Substream id = " + hex(subId_, 2));
    const auto carriage = mlp_   ? analysers::LpcmCarriage::DvdAudioMlp
                          : aob_ ? analysers::LpcmCarriage::DvdAudio
                                 : analysers::LpcmCarriage::Video;
    const analysers::Analysis analysis = analysers::analyseAudio(
        audioClass_, carriage, run, number, std::span(private_.data(), privateNeed_));
    for (const std::string& line : analysis.lines) host_.log(line);
}

void PesScanner::reportSubpicture(std::span<const uint8_t> run) {
    state_.subReported[state_.curSub] = true;
    if (!options_.details) return;
    host_.log("   First PTS = [re]" + hex(state_.subPts, 8) + "[/re]");
    host_.log("   Substream id = " + hex(subId_, 2));
    const bool eightBit = run.size() >= 2 && run[0] == 0 && run[1] == 0;
    host_.log(eightBit ? "   Format = [bl]8bitRLE[/bl]" : "   Format = [bl]2bitRLE[/bl]");
}

bool PesScanner::writable(int slot) const {
    return options_.checked[slot] && state_.outputs && state_.outputs->isOpen(slot);
}

void PesScanner::write(int slot, const uint8_t* data, std::size_t size) {
    if (writable(slot)) state_.outputs->write(slot, data, size);
}

// Each subpicture packet that carries a PTS starts a unit: "SP", its time relative to the
// earliest first PTS of the run (least significant byte first), four zero bytes. The packets
// that continue the unit carry no PTS and get no header.
void PesScanner::writeSubpicture(const uint8_t* run, std::size_t size) {
    const int slot = subSlot(state_.curSub);
    if (!writable(slot)) return;
    if (spPending_) {
        spPending_ = false;
        uint32_t time = packetPts_;
        if (state_.minFirstPts != kNoPts)
            time = time >= state_.minFirstPts ? time - state_.minFirstPts : 0;
        const uint8_t header[10] = {static_cast<uint8_t>(RunState::kSpTag[0]),
                                    static_cast<uint8_t>(RunState::kSpTag[1]),
                                    static_cast<uint8_t>(time),
                                    static_cast<uint8_t>(time >> 8),
                                    static_cast<uint8_t>(time >> 16),
                                    static_cast<uint8_t>(time >> 24),
                                    0,
                                    0,
                                    0,
                                    0};
        state_.outputs->write(slot, header, sizeof header);
    }
    state_.outputs->write(slot, run, size);
}

}  // namespace kavrel
