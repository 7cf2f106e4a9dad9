#include "engine/scan_pes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "analysers/analysers.h"
#include "analysers/lpcm.h"
#include "engine/io.h"
#include "engine/pes_header.h"
#include "engine/scan_frames.h"
#include "engine/sink.h"

namespace kavrel {

namespace fs = std::filesystem;

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
      aob_(options.kind == InputKind::Aob),
      vob_(options.kind == InputKind::Vob) {}

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
                // Announced once the PES header has given the packet's time stamps.
                kind_ = Kind::MpegAudio;
                mpegFamily_ = family;
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
    damagedHeader_ = false;
    firstRun_ = true;
    return true;
}

// The stream of an id in the run's table, added with its number when it is met for the first time.
// A demux run that writes every stream opens the output of a stream the read did not meet.
int PesScanner::meet(const IdFamily& family, uint8_t id) {
    int stream = state_.streams.find(family.space, id);
    if (stream >= 0) return stream;
    stream = state_.streams.add(family, id, state_.input ? state_.input->path() : fs::path());
    const StreamInfo& info = state_.streams[stream];
    if (!reading_ && state_.openLateSink && info.selectable() &&
        !state_.sinks[static_cast<std::size_t>(info.slot())])
        state_.openLateSink(info);
    return stream;
}

namespace {

// Marks a stream in a per-file table; true the first time.
bool firstTime(std::vector<bool>& flags, int stream) {
    const auto at = static_cast<std::size_t>(stream);
    if (flags.size() <= at) flags.resize(at + 1, false);
    if (flags[at]) return false;
    flags[at] = true;
    return true;
}

const char* kindWord(StreamKind kind) {
    switch (kind) {
        case StreamKind::Video:
            return "video";
        case StreamKind::Audio:
            return "audio";
        case StreamKind::Subpicture:
            break;
    }
    return "subpicture";
}

}  // namespace

// The first packet of a stream in this file announces it (read scans) and records its id in the
// found-id table of its number. Returns whether this was that packet.
bool PesScanner::announceOnce(int stream, const IdFamily& family, const char* message) {
    if (!firstTime(state_.announced, stream)) return false;
    const StreamInfo& info = state_.streams[stream];
    if (info.number >= 0) {
        const auto n = static_cast<std::size_t>(info.number);
        switch (family.kind) {
            case StreamKind::Video:
                state_.foundVideo[n] = info.key();
                break;
            case StreamKind::Audio:
                state_.foundAudio[n] = info.key();
                break;
            case StreamKind::Subpicture:
                state_.foundSub[n] = info.key();
                break;
        }
    }
    if (!reading_) return true;
    if (info.number >= 0)
        host_.log(message + std::to_string(info.number) + " found!");
    else
        host_.log(message + std::string("found! Every ") + kindWord(family.kind) +
                  " number is taken: it cannot be chosen.");
    return true;
}

void PesScanner::announceVideo(const IdFamily& family, uint8_t id) {
    videoStream_ = meet(family, id);
    state_.curVideo = state_.streams[videoStream_].number;
    videoId_ = id;
    if (!announceOnce(videoStream_, family, family.message)) return;
    if (family.firstPtsFromLastHeader) state_.videoFirstPts = currentPts_;
}

// A stream's first PTS is that of the first of its packets that carries one.
void PesScanner::noteFirstPts(int stream) {
    if (stream < 0 || !packetHasPts_) return;
    StreamInfo& info = state_.streams[stream];
    if (!info.firstPts) info.firstPts = packetPts_;
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

std::size_t PesScanner::takeBlock(uint8_t* to, std::size_t& have, std::size_t need,
                                  const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = std::min({need - have, size - at, static_cast<std::size_t>(bytesLeft_)});
    std::memcpy(to + have, data + at, n);
    for (std::size_t i = n > 4 ? n - 4 : 0; i < n; ++i) register_ = register_ << 8 | data[at + i];
    have += n;
    bytesLeft_ -= static_cast<int32_t>(n);
    return n;
}

// The fixed header bytes and the header data are taken as a block, as much as the chunk and the
// packet hold; PES_header_data_length is known once the first three bytes are in.
std::size_t PesScanner::header(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = takeBlock(header_.data(), headerHave_, headerNeed_, data, at, size);
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
    if (kind_ == Kind::MpegAudio) mpegAudioHeader(*mpegFamily_);
    phase_ = kind_ == Kind::Private1 ? Phase::SubHeader : Phase::Payload;
}

// An MPEG audio packet is an audio stream of its own, numbered and written as the private
// stream 1 audio is; it has no sub-stream header.
void PesScanner::mpegAudioHeader(const IdFamily& family) {
    kind_ = Kind::Audio;
    audioClass_ = family.audio;
    mlp_ = false;
    subId_ = streamId_;
    audioStream_ = meet(family, streamId_);
    state_.curAudio = state_.streams[audioStream_].number;
    if (announceOnce(audioStream_, family, family.message)) state_.audioPts = currentPts_;
    privateNeed_ = 0;
}

void PesScanner::subpictureHeader(const IdFamily& family, uint8_t id) {
    subStream_ = meet(family, id);
    kind_ = Kind::Subpicture;
    subId_ = id;
    state_.curSub = state_.streams[subStream_].number;
    if (announceOnce(subStream_, family, family.message)) state_.subPts = currentPts_;
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
    const bool mlp = aob_ && id == kAobMlpId;
    kind_ = Kind::Audio;
    audioClass_ = family->audio;
    mlp_ = mlp;
    subId_ = id;
    audioStream_ = meet(*family, id);
    state_.curAudio = state_.streams[audioStream_].number;
    if (announceOnce(audioStream_, *family, mlp ? kAobMlpMessage : family->message))
        state_.audioPts = currentPts_;
    currentPts_ = 0;
    std::size_t need = family->privateHeader;
    if (aob_ && family->audio == AudioClass::Lpcm) {
        // A DVD-Audio packet says how long its header is: LPCM in the 16 bits after the
        // continuity counter, MLP in the byte before its header.
        need = mlp ? sub_[3] : std::size_t{sub_[2]} << 8 | sub_[3];
        if (need > static_cast<std::size_t>(bytesLeft_)) {
            // A header that runs past the packet is damage: the payload is not known, but the
            // sink still learns how much of the stream the packet held.
            if (mlp) {
                kind_ = Kind::Ignored;
                phase_ = Phase::Payload;
                return;
            }
            damagedHeader_ = true;
            need = 0;
        }
    }
    if (private_.size() < need) private_.resize(need);
    privateNeed_ = need;
    phase_ = need ? Phase::PrivateHeader : Phase::Payload;
}

// The audio header bytes after the sub-stream header, taken as a block like the PES header.
std::size_t PesScanner::privateHeader(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = takeBlock(private_.data(), privateHave_, privateNeed_, data, at, size);
    if (privateHave_ == privateNeed_) {
        phase_ = Phase::Payload;
        if (reading_ && aob_ && !mlp_ && audioClass_ == AudioClass::Lpcm) reportAobFormat();
    }
    if (bytesLeft_ <= 0) endPacket();
    return at + n;
}

// A DVD-Audio LPCM stream changes its format where a title of another format begins: a read
// reports each format it meets after the first (which the stream's first report gives).
void PesScanner::reportAobFormat() {
    const std::span<const uint8_t> header(private_.data(), privateNeed_);
    const auto parsed = analysers::parseAobPcmHeader(header);
    if (!parsed) return;
    const analysers::StreamFacts facts = analysers::aobPcmFacts(*parsed);
    if (!facts.sampleRate || !facts.bitsPerSample || !facts.channels) return;  // damaged
    const std::array<uint8_t, 3> format = {header[3], header[4], header[6]};
    const auto [known, first] = aobFormats_.try_emplace(audioStream_, format);
    if (first || known->second == format) return;
    known->second = format;
    const StreamInfo& info = state_.streams[audioStream_];
    if (!info.selectable() || !options_.details) return;
    host_.log("   Format change at PTS = [re]" + hex(packetPts_, 8) + "[/re]");
    for (const std::string& line : analysers::aobPcmLines(*parsed, facts, info.number))
        host_.log(line);
}

std::size_t PesScanner::payload(const uint8_t* data, std::size_t at, std::size_t size) {
    const std::size_t n = std::min(static_cast<std::size_t>(bytesLeft_), size - at);
    register_ = register_ << 8 | data[at];  // the run's first byte passes the register
    switch (kind_) {
        case Kind::Video:
        case Kind::Audio:
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
            if (firstRun_) noteFirstPts(videoStream_);
            // A stream left without a number is neither counted nor written.
            const int number = state_.curVideo;
            if (number >= 0 && options_.countFrames &&
                (reading_ || options_.checked[videoSlot(number)])) {
                const int64_t total =
                    int64_t{state_.frameCounters[number]} +
                    countFrameStarts(bytes, videoKind_, state_.frameRegisters[number]);
                state_.frameCounters[number] =
                    static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
            }
            if (firstTime(state_.reported, videoStream_)) reportVideo(bytes);
            if (!reading_ && number >= 0) deliver(videoSlot(number), run, size);
            break;
        }
        case Kind::Audio:
            if (damagedHeader_) {
                if (!reading_ && state_.curAudio >= 0)
                    deliver(audioSlot(state_.curAudio), run, size);
                break;
            }
            if (firstRun_) noteFirstPts(audioStream_);
            if (firstTime(state_.reported, audioStream_))
                reportAudio(bytes);
            else if (!gathering_.empty())
                gatherMore(bytes);
            if (!reading_ && state_.curAudio >= 0) deliver(audioSlot(state_.curAudio), run, size);
            break;
        case Kind::Subpicture: {
            if (firstRun_) noteFirstPts(subStream_);
            if (firstTime(state_.reported, subStream_)) reportSubpicture(bytes);
            const int number = state_.curSub;
            // Announced only (16-31, or none left): no output.
            if (!reading_ && number >= 0 && number < 16) deliver(subSlot(number), run, size);
            break;
        }
        default:
            break;
    }
}

void PesScanner::lowerMinFirstPts(uint32_t pts) {
    if (state_.minFirstPts == kNoPts || pts < state_.minFirstPts) state_.minFirstPts = pts;
}

// The first payload run of a video stream in this file: its report in a read scan (a stream
// without a box gets none), and its facts whenever they are not known yet.
void PesScanner::reportVideo(std::span<const uint8_t> run) {
    StreamInfo& info = state_.streams[videoStream_];
    const bool report = reading_ && info.selectable();
    if (report) lowerMinFirstPts(state_.videoFirstPts);
    const bool details = report && options_.details;
    if (details) {
        host_.log("   First PTS = [re]" + hex(state_.videoFirstPts, 8) + "[/re]");
        host_.log("   Substream id = " + hex(static_cast<uint32_t>(videoId_), 2));
    }
    if (!report && !info.facts.codecName.empty()) return;
    const analysers::Analysis analysis = analysers::analyseVideo(videoKind_, run, info.number);
    if (info.facts.codecName.empty()) info.facts = analysis.facts;
    if (details)
        for (const std::string& line : analysis.lines) host_.log(line);
    if (!report) return;
    // The frame rate and size are the stream's, whatever the log shows: the calculated frames
    // and the canvas of subtitle outputs depend on them.
    const int number = info.number;
    if (analysis.frameRate > 0) state_.frameRates[number] = analysis.frameRate;
    const auto& facts = analysis.facts;
    if (state_.videoFrame.width == 0 && facts.width && facts.height && *facts.width > 0 &&
        *facts.height > 0)
        state_.videoFrame = {*facts.width, *facts.height};
}

// The first payload run of an audio stream in this file: its report lines at once in a read
// scan, its analysis once the analyser has the first bytes it wants.
void PesScanner::reportAudio(std::span<const uint8_t> run) {
    const StreamInfo& info = state_.streams[audioStream_];
    const bool report = reading_ && info.selectable();
    if (report) lowerMinFirstPts(state_.audioPts);
    const bool details = report && options_.details;
    if (details) {
        host_.log("   First PTS = [re]" + hex(state_.audioPts, 8) + "[/re]");
        host_.log("   Substream id = " + hex(subId_, 2));
    }
    if (!details && !info.facts.codecName.empty()) return;
    Gathering gathering;
    gathering.stream = audioStream_;
    gathering.audioClass = audioClass_;
    gathering.carriage = mlp_   ? analysers::LpcmCarriage::DvdAudioMlp
                         : aob_ ? analysers::LpcmCarriage::DvdAudio
                                : analysers::LpcmCarriage::Video;
    gathering.bytes.assign(run.begin(), run.end());
    gathering.privateHeader.assign(private_.begin(),
                                   private_.begin() + static_cast<std::ptrdiff_t>(privateNeed_));
    gathering.log = details;
    if (!analyseWhenReady(gathering)) gathering_.push_back(std::move(gathering));
}

// A later payload run of an audio stream whose first bytes are still being gathered.
void PesScanner::gatherMore(std::span<const uint8_t> run) {
    for (auto it = gathering_.begin(); it != gathering_.end(); ++it) {
        if (it->stream != audioStream_) continue;
        it->bytes.insert(it->bytes.end(), run.begin(), run.end());
        if (analyseWhenReady(*it)) gathering_.erase(it);
        return;
    }
}

// Analyses the gathered bytes when they hold what the analyser wants, or as much as is ever
// gathered; returns whether it did.
bool PesScanner::analyseWhenReady(Gathering& gathering) {
    constexpr std::size_t kGatheredMax = 16 * 1024;  // beyond the largest E-AC-3 frame
    const std::size_t wanted =
        std::min(analysers::audioBytesWanted(gathering.audioClass, gathering.bytes), kGatheredMax);
    if (gathering.bytes.size() < wanted) return false;
    analyseAudio(gathering);
    return true;
}

void PesScanner::analyseAudio(const Gathering& gathering) {
    StreamInfo& info = state_.streams[gathering.stream];
    const analysers::Analysis analysis =
        analysers::analyseAudio(gathering.audioClass, gathering.carriage, gathering.bytes,
                                info.number, gathering.privateHeader);
    if (info.facts.codecName.empty()) info.facts = analysis.facts;
    if (gathering.log)
        for (const std::string& line : analysis.lines) host_.log(line);
}

void PesScanner::finish() {
    for (const Gathering& gathering : gathering_) analyseAudio(gathering);
    gathering_.clear();
}

void PesScanner::reportSubpicture(std::span<const uint8_t> run) {
    StreamInfo& info = state_.streams[subStream_];
    const bool eightBit = run.size() >= 2 && run[0] == 0 && run[1] == 0;
    if (info.facts.format.empty()) {
        // DVD subpictures are run-length coded in 2 bits a pixel, HD DVD's may be in 8.
        if (!eightBit) info.facts.codecName = "dvd_subtitle";
        info.facts.format = eightBit ? "8bitRLE" : "2bitRLE";
    }
    if (!reading_ || !info.selectable() || !options_.details) return;
    host_.log("   First PTS = [re]" + hex(state_.subPts, 8) + "[/re]");
    host_.log("   Substream id = " + hex(subId_, 2));
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
    run.damagedHeader = damagedHeader_;
    sink->packet(run);
}

}  // namespace kavrel
