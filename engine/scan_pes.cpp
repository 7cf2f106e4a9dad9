#include "engine/scan_pes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysers/analysers.h"
#include "engine/io.h"
#include "engine/pes_header.h"
#include "engine/scan_frames.h"
#include "engine/sink.h"

namespace kavrel {

namespace {

std::string hex(uint32_t value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

PesScanner::PesScanner(RunState& state, const ScanOptions& options, EngineHost& host, ScanMode mode)
    : state_(state),
      options_(options),
      host_(host),
      reading_(mode == ScanMode::Read),
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
            case Phase::PrivateHeader:
                at = privateHeader(data, at, size);
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
        case kExtendedStreamId:
            // An extended stream is video only when its stream_id_extension says VC-1.
            kind_ = Kind::Ignored;
            videoKind_ = VideoKind::Vc1;
            break;
        case kProgramStreamMapId:
        case kPaddingStreamId:
            kind_ = Kind::Skipped;
            break;
        case kPrivateStream1Id:
            kind_ = Kind::Private1;
            break;
        case kPrivateStream2Id:
            kind_ = Kind::Private2;
            break;
        default: {
            const IdFamily* family = findFamily(IdSpace::StreamId, id);
            if (!family || !family->scanned) return false;
            if (family->kind == StreamKind::Video) {
                kind_ = Kind::Video;
                videoKind_ = family->video;
                announceVideo(*family, id);
            } else {
                kind_ = Kind::MpegAudio;
            }
            break;
        }
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
    firstRun_ = true;
    return true;
}

// The first packet of a video stream number announces it (read scans) and records its id.
void PesScanner::announceVideo(const IdFamily& family, uint8_t id) {
    const int number = family.number(id);
    state_.curVideo = number;
    videoId_ = id;
    if (state_.foundVideo[number] != -1) return;
    state_.foundVideo[number] = id;
    if (reading_) host_.log(family.message + std::to_string(number) + " found!");
    if (family.firstPtsFromLastHeader) state_.videoFirstPts = currentPts_;
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
            if (subHave_ == 1) subFamily_ = findFamily(IdSpace::Private1, byte);
            if (subHave_ == 1 && subFamily_ && subFamily_->kind == StreamKind::Subpicture)
                subpictureHeader(*subFamily_, byte);
            else if (subHave_ == sub_.size())
                audioHeader(sub_[0]);
            break;
        case Phase::Private2Id:
            phase_ = Phase::Payload;
            if (byte == kNavigationSubstream && navigationPending_) {
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
    // header_ holds the three fixed bytes, then the header data.
    const std::span<const uint8_t> data(header_.data() + 3, headerNeed_ - 3);
    const PesHeaderFields fields = parsePesHeaderData(header_[1], data);
    if (fields.hasPts) {
        currentPts_ = fields.pts;
        // Without a DTS the decoding time is the presentation time.
        currentDts_ = fields.hasDts ? fields.dts : fields.pts;
        packetPts_ = fields.pts;
        packetHasPts_ = true;
    }
    if (streamId_ == kExtendedStreamId && fields.streamIdExtensionAt >= 0) {
        const auto extension = static_cast<uint8_t>(data[fields.streamIdExtensionAt] & 0x7F);
        const IdFamily* family = findFamily(IdSpace::Extension, extension);
        if (family && family->kind == StreamKind::Video) {
            kind_ = Kind::Video;
            videoKind_ = family->video;
            announceVideo(*family, extension);
        }
    }
    // The first PTS reported for a video stream is that of its own packet.
    if (kind_ == Kind::Video && fields.hasPts) state_.videoFirstPts = fields.pts;
    phase_ = kind_ == Kind::Private1 ? Phase::SubHeader : Phase::Payload;
}

void PesScanner::subpictureHeader(const IdFamily& family, uint8_t id) {
    const int number = family.number(id);
    kind_ = Kind::Subpicture;
    subId_ = id;
    state_.curSub = number;
    if (state_.foundSub[number] == -1) {
        state_.foundSub[number] = id;
        if (reading_) host_.log(family.message + std::to_string(number) + " found!");
        state_.subPts = currentPts_;
    }
    // A read scan does not carry a plain subpicture's PTS over to the next first sighting.
    if (reading_ && family.first == kPlainSubpictureId) currentPts_ = 0;
    phase_ = Phase::Payload;
}

void PesScanner::audioHeader(uint8_t id) {
    const IdFamily* family = subFamily_;
    if (!family || family->kind != StreamKind::Audio) {
        kind_ = Kind::Ignored;  // an unknown sub-stream: its payload is passed over
        phase_ = Phase::Payload;
        return;
    }
    const int number = family->number(id);
    const bool mlp = aob_ && id == kAobMlpId;
    kind_ = Kind::Audio;
    audioClass_ = family->audio;
    mlp_ = mlp;
    subId_ = id;
    state_.curAudio = number;
    if (state_.foundAudio[number] == -1) {
        state_.foundAudio[number] = id;
        if (reading_)
            host_.log((mlp ? kAobMlpMessage : family->message) + std::to_string(number) +
                      " found!");
        state_.audioPts = currentPts_;
    }
    currentPts_ = 0;
    std::size_t need = family->privateHeader;
    if (aob_ && family->audio == AudioClass::Lpcm) {
        // A DVD-Audio packet says how long its header is: LPCM in the 16 bits after the
        // continuity counter, MLP in the byte before its header.
        need = mlp ? sub_[3] : std::size_t{sub_[2]} << 8 | sub_[3];
        if (need > static_cast<std::size_t>(bytesLeft_)) {
            // A header that runs past the packet is damage: the payload is not known.
            kind_ = Kind::Ignored;
            phase_ = Phase::Payload;
            return;
        }
    }
    if (private_.size() < need) private_.resize(need);
    privateNeed_ = need;
    phase_ = need ? Phase::PrivateHeader : Phase::Payload;
}

// The audio header bytes after the sub-stream header, taken as a block like the PES header.
std::size_t PesScanner::privateHeader(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n =
        std::min({privateNeed_ - privateHave_, size - at, static_cast<std::size_t>(bytesLeft_)});
    std::memcpy(private_.data() + privateHave_, data + at, n);
    for (std::size_t i = n > 4 ? n - 4 : 0; i < n; ++i) register_ = register_ << 8 | data[at + i];
    privateHave_ += n;
    bytesLeft_ -= static_cast<int32_t>(n);
    if (privateHave_ == privateNeed_) phase_ = Phase::Payload;
    if (bytesLeft_ <= 0) endPacket();
    return at + n;
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
    firstRun_ = false;
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
            if (options_.countFrames && (reading_ || options_.checked[videoSlot(number)])) {
                const int64_t total =
                    int64_t{state_.frameCounters[number]} + countFrameStarts(bytes, videoKind_);
                state_.frameCounters[number] =
                    static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
            }
            if (reading_) {
                if (!state_.videoReported[number]) reportVideo(bytes);
            } else {
                deliver(videoSlot(number), run, size);
            }
            break;
        }
        case Kind::Audio:
            if (reading_) {
                if (!state_.audioReported[state_.curAudio]) reportAudio(bytes);
            } else {
                deliver(audioSlot(state_.curAudio), run, size);
            }
            break;
        case Kind::MpegAudio:
            // MPEG audio follows the audio number last set by a private stream 1 header.
            if (!reading_ && state_.curAudio >= 0 && state_.curAudio < 16)
                deliver(audioSlot(state_.curAudio), run, size);
            break;
        case Kind::Subpicture:
            if (state_.curSub >= 16) break;  // announced only: no report, no output
            if (reading_) {
                if (!state_.subReported[state_.curSub]) reportSubpicture(bytes);
            } else {
                deliver(subSlot(state_.curSub), run, size);
            }
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
    // The first video frame size found is the canvas of subtitle outputs.
    const auto& facts = analysis.facts;
    if (state_.videoFrame.width == 0 && facts.width && facts.height && *facts.width > 0 &&
        *facts.height > 0)
        state_.videoFrame = {*facts.width, *facts.height};
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

// The payload run of a selected stream goes to its sink, with what the sink may need of the
// packet's headers.
void PesScanner::deliver(int slot, const uint8_t* data, std::size_t size) {
    const auto s = static_cast<std::size_t>(slot);
    StreamSink* sink = state_.sinks[s];
    if (!sink || !options_.checked[s]) return;
    PayloadRun run;
    run.bytes = std::span(data, size);
    run.packetStart = firstRun_;
    run.hasPts = packetHasPts_;
    run.pts = packetPts_;
    if (kind_ == Kind::Audio) run.privateHeader = std::span(private_.data(), privateNeed_);
    sink->packet(run);
}

}  // namespace kavrel
