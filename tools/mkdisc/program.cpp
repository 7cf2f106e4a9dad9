#include "tools/mkdisc/program.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tools/mkdisc/pack.h"

namespace kavrel::mkdisc {

namespace {

constexpr std::size_t kPackRoom = kPackSize - kPackHeaderSize;  // bytes after the pack header
constexpr std::size_t kFileAlignment = 256 * 1024;  // a file size that is a multiple of this
                                                    // would hide chunk-boundary faults
constexpr uint64_t kScrLead = 27000;                // packs arrive 0.3 s before their time

// Sub-stream header bytes after the id: frame count and first access unit pointer, then the
// LPCM audio frame information or the TrueHD extra byte.
std::size_t extraHeaderBytes(Codec codec) {
    switch (codec) {
        case Codec::Lpcm:
        case Codec::Mlp:
            return 3;
        case Codec::TrueHd:
            return 1;
        default:
            return 0;
    }
}

// The whole sub-stream header of an audio packet, its id included. A DVD-Audio header states
// its length: LPCM 4 + L, with L = 11 in a title's first packet and a few bytes of padding more
// in later ones; MLP 4 + 6.
std::size_t audioHeaderBytes(Codec codec, bool dvdAudio, uint64_t packet) {
    if (dvdAudio && codec == Codec::Lpcm) return 4 + 11 + (packet == 0 ? 0 : 1 + packet % 3);
    if (dvdAudio && codec == Codec::Mlp) return 10;
    return 4 + extraHeaderBytes(codec);
}

// Codes of the DVD-Audio header: bit depth and sampling rate.
uint8_t depthCode(int bits) {
    return static_cast<uint8_t>((bits - 16) / 4);
}
uint8_t rateCode(uint32_t rate) {
    const bool cd = rate % 44100 == 0;  // the 44.1 kHz family: 0x8, 0x9, 0xA
    const uint32_t multiple = rate / (cd ? 44100 : 48000);
    return static_cast<uint8_t>((cd ? 8 : 0) + (multiple == 4 ? 2 : multiple - 1));
}

// DVD-Audio LPCM: continuity counter, header length, first access unit pointer, the
// stereo/surround byte, depths, rates, channel assignment.
void fillDvdAudioLpcmHeader(std::vector<uint8_t>& h, const LpcmFormat& f, uint64_t packet,
                            uint32_t pointer) {
    h[1] = static_cast<uint8_t>(packet % 32);
    put16(h.data() + 2, static_cast<uint32_t>(h.size() - 4));
    put16(h.data() + 4, pointer);
    h[6] = f.channels[0] + f.channels[1] == 2 ? 0x10 : 0x00;
    const bool two = f.channels[1] != 0;
    h[7] = static_cast<uint8_t>(depthCode(f.bits[0]) << 4 | (two ? depthCode(f.bits[1]) : 0xF));
    h[8] = static_cast<uint8_t>(rateCode(f.sampleRate[0]) << 4 |
                                (two ? rateCode(f.sampleRate[1]) : 0xF));
    h[9] = 0x00;
    h[10] = static_cast<uint8_t>(f.assignment);
    h[11] = 0x80;
}

}  // namespace

Program::Program(const ProgramPlan& plan, std::vector<StreamPlan> streams)
    : plan_(plan), plans_(std::move(streams)), states_(plans_.size()) {
    for (const auto& s : plans_) {
        if (isVideo(s.codec))
            ++videoCount_;
        else if (isSubpicture(s.codec))
            ++subpictureCount_;
        else
            ++audioCount_;
    }
    scr27_ = (plan_.startPts - kScrLead) * 300;
}

Program::~Program() = default;

uint64_t Program::tickPts(uint64_t tick) const {
    return plan_.startPts + tick * plan_.frameNum / plan_.frameDen;
}

uint64_t Program::unitPts(std::size_t stream, uint64_t unit) const {
    const auto& s = plans_[stream];
    return plan_.startPts + s.delay + unit * s.periodNum / s.periodDen;
}

uint32_t Program::minFirstPts() const {
    uint64_t least = UINT64_MAX;
    for (const auto& s : plans_) least = std::min(least, s.delay);
    return static_cast<uint32_t>(plan_.startPts + least);
}

void Program::queueUnit(std::size_t stream) {
    auto& st = states_[stream];
    if (st.head > (1u << 20)) {  // drop what was already sent
        st.pending.erase(st.pending.begin(), st.pending.begin() + static_cast<long>(st.head));
        for (auto& start : st.starts) start.offset -= st.head;
        st.head = 0;
    }
    st.starts.push_back({st.pending.size(), unitPts(stream, st.nextUnit)});
    plans_[stream].builder->build(st.nextUnit, st.pending);
    ++st.nextUnit;
    ++(*report_)[stream].units;
}

uint8_t* Program::newPack() {
    // The clock advances by the transmission time of a pack at the mux rate, and never falls
    // behind the schedule so that the packs arrive a little before their time stamps.
    uint64_t packTime27 = 27000000ull * kPackSize / (uint64_t{plan_.muxRate} * 50);
    scr27_ = std::max(scr27_ + packTime27, scrFloor27_);
    uint8_t* pack = file_->newPack();
    writePackHeader(pack, scr27_, plan_.muxRate);
    return pack;
}

void Program::appendSystemHeader(std::vector<uint8_t>& out) const {
    std::vector<SystemHeaderEntry> entries;
    for (const auto& s : plans_) {
        if (!isVideo(s.codec)) continue;
        uint8_t id = s.codec == Codec::Vc1 ? 0xFD : s.id;
        entries.push_back({id, true, static_cast<uint16_t>(s.codec == Codec::Mpeg2 ? 232 : 2048)});
        break;
    }
    entries.push_back({0xBD, true, 58});
    if (plan_.navigationPacks) entries.push_back({0xBF, true, 2});
    mkdisc::appendSystemHeader(out, plan_.muxRate, audioCount_, videoCount_, entries);
}

void Program::writeSystemHeaderPack() {
    std::vector<uint8_t> header;
    appendSystemHeader(header);
    uint8_t* pack = newPack();
    std::memcpy(pack + kPackHeaderSize, header.data(), header.size());
    writePadding(pack + kPackHeaderSize + header.size(), kPackRoom - header.size());
}

// System header, then private stream 2 packets with the presentation control information
// (sub-stream 0x00) and the data search information (sub-stream 0x01).
void Program::writeNavigationPack(uint64_t fileStartPts, uint16_t vobNumber) {
    std::vector<uint8_t> header;
    appendSystemHeader(header);
    uint64_t packNumber = file_->size() / kPackSize;
    uint8_t* pack = newPack();
    uint8_t* p = pack + kPackHeaderSize;
    std::memcpy(p, header.data(), header.size());
    p += header.size();

    constexpr std::size_t kPciLength = 980;
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = 0xBF;
    put16(p + 4, kPciLength);
    uint8_t* pci = p + 7;  // after the sub-stream id
    p[6] = 0x00;
    put32(pci + 0, static_cast<uint32_t>(packNumber));
    put32(pci + 12, static_cast<uint32_t>(tickPts(tick_)));  // this group's first and end time
    put32(pci + 16, static_cast<uint32_t>(tickPts(tick_ + plan_.gopLength)));
    p += 6 + kPciLength;

    std::size_t dsiLength = static_cast<std::size_t>(pack + kPackSize - p) - 6;
    p[0] = 0x00;
    p[1] = 0x00;
    p[2] = 0x01;
    p[3] = 0xBF;
    put16(p + 4, static_cast<uint32_t>(dsiLength));
    p[6] = 0x01;
    uint8_t* dsi = p + 7;
    put32(dsi + 0, static_cast<uint32_t>(scr27_ / 300));
    put32(dsi + 4, static_cast<uint32_t>(packNumber));
    put16(dsi + 24, vobNumber);
    put32(dsi + 44, static_cast<uint32_t>(fileStartPts));  // first video frame of the file
    lastPtmOffsets_.push_back(file_->size() - kPackSize + static_cast<uint64_t>(dsi + 48 - pack));
    // Synchronisation lists: one non-zero entry per audio and per subpicture stream.
    std::size_t lists = plan_.dvdVideoLists ? 402 : 530;
    for (uint32_t i = 0; i < audioCount_ && i < 8; ++i)
        put16(dsi + lists + 2 * i, 0x8000 | (i + 1));
    for (uint32_t i = 0; i < subpictureCount_ && i < 32; ++i)
        put32(dsi + lists + 16 + 4 * i, 0x80000000u | (i + 1));
}

void Program::writePacket(std::size_t stream) {
    const auto& plan = plans_[stream];
    auto& st = states_[stream];
    const bool video = isVideo(plan.codec);
    const uint8_t* data = st.pending.data() + st.head;
    const std::size_t available = st.pending.size() - st.head;
    // 16-bit LPCM packets of DVD-Video and HD DVD hold whole sample frames; 20- and 24-bit
    // groups and DVD-Audio blocks may straddle two packets.
    const std::size_t sampleBytes =
        plan.codec == Codec::Lpcm && !plan.lpcm.dvdAudio() && plan.lpcm.bits[0] == 16
            ? 2 * static_cast<std::size_t>(plan.lpcm.channels[0])
            : 1;

    PesHeader h;
    if (video) {
        h.streamId = plan.codec == Codec::Vc1 ? 0xFD : plan.id;
        if (plan.codec == Codec::Vc1) h.streamIdExtension = plan.id;
        // The first packet of a video stream tells the decoder buffer size.
        if (st.packets == 0)
            h.pstdBuffer =
                static_cast<uint16_t>(0x2000 | (plan.codec == Codec::Mpeg2 ? 232 : 2048));
    } else {
        h.streamId = 0xBD;
        h.subHeader.push_back(plan.id);
        if (!isSubpicture(plan.codec))
            h.subHeader.resize(audioHeaderBytes(plan.codec, plan_.dvdAudio, st.packets));
    }
    auto fit = [&](const PesHeader& header) {
        std::size_t n = std::min(available, kPackRoom - pesOverhead(header));
        return n - n % sampleBytes;
    };

    // A packet carries a PTS when an access unit begins in it.
    PesHeader timed = h;
    timed.pts = 0;
    if (video) timed.dts = 0;
    std::size_t n = fit(timed);
    if (!st.starts.empty() && st.starts.front().offset < st.head + n) {
        uint64_t pts = st.starts.front().pts;
        h = timed;
        h.pts = pts;
        // No reordered frames: each frame is decoded one frame period before it is shown.
        if (video) h.dts = pts - (plan_.frameNum + plan_.frameDen - 1) / plan_.frameDen;
    } else {
        n = fit(h);
    }
    if (n == 0) throw std::logic_error("no payload fits the packet");

    // Frame count and first access unit pointer of the audio sub-stream header.
    std::size_t frames = 0;
    std::size_t firstOffset = 0;
    while (!st.starts.empty() && st.starts.front().offset < st.head + n) {
        if (frames++ == 0) firstOffset = st.starts.front().offset - st.head;
        st.starts.pop_front();
    }
    if (h.subHeader.size() >= 4) {
        // The pointer counts from its own last byte to the first byte of the first access unit.
        const std::size_t pointerAt = plan_.dvdAudio ? 4 : 2;
        const auto pointer =
            static_cast<uint32_t>(frames ? firstOffset + h.subHeader.size() - pointerAt - 1 : 0);
        if (plan_.dvdAudio && plan.codec == Codec::Lpcm) {
            fillDvdAudioLpcmHeader(h.subHeader, plan.lpcm, st.packets, pointer);
        } else if (plan_.dvdAudio && plan.codec == Codec::Mlp) {
            h.subHeader[1] = static_cast<uint8_t>(st.packets % 32);  // continuity counter
            h.subHeader[3] = 6;                                      // header length
            put16(h.subHeader.data() + 4, pointer);
        } else {
            h.subHeader[1] = static_cast<uint8_t>(std::min<std::size_t>(frames, 255));
            put16(h.subHeader.data() + 2, pointer);
        }
        if (plan.codec == Codec::Lpcm && !plan_.dvdAudio) {
            const LpcmFormat& f = plan.lpcm;
            h.subHeader[4] = static_cast<uint8_t>(frames % 20);  // audio frame number
            // Quantisation, sampling frequency (48, 96, 192 kHz), channel count minus one.
            h.subHeader[5] =
                static_cast<uint8_t>(depthCode(f.bits[0]) << 6 | (f.sampleRate[0] / 96000) << 4 |
                                     ((f.channels[0] - 1) & 0x07));
            h.subHeader[6] = 0x80;  // dynamic range control: none
        }
    }

    // Fill the pack: a few spare bytes become header stuffing, more a padding packet.
    std::size_t gap = kPackRoom - pesOverhead(h) - n;
    if (gap > 0 && gap < 7) {
        h.stuffing = gap;
        gap = 0;
    }
    uint8_t* pack = newPack();
    std::size_t used = writePes(pack + kPackHeaderSize, h, data, n);
    if (gap) writePadding(pack + kPackHeaderSize + used, gap);

    if (auto* sink = (*sinks_)[stream]) sink->payload(data, n, h.pts);
    auto& report = (*report_)[stream];
    if (!report.firstPts && h.pts) report.firstPts = h.pts;
    st.head += n;
    ++st.packets;
}

std::vector<StreamInFile> Program::writeFile(const std::filesystem::path& path,
                                             uint64_t targetBytes, uint16_t vobNumber,
                                             const std::vector<ExpectedOutput*>& sinks) {
    PackFile file(path);
    std::vector<StreamInFile> report(plans_.size());
    file_ = &file;
    sinks_ = &sinks;
    report_ = &report;
    lastPtmOffsets_.clear();

    const uint64_t firstTick = tick_;
    const uint64_t fileStartPts = tickPts(firstTick);
    if (!plan_.navigationPacks) writeSystemHeaderPack();
    for (;; ++tick_) {
        if (tick_ % plan_.gopLength == 0) {
            if (tick_ > firstTick && file.size() >= targetBytes) break;
            if (plan_.navigationPacks) writeNavigationPack(fileStartPts, vobNumber);
        }
        const uint64_t tickEnd = tickPts(tick_ + 1);
        scrFloor27_ = (tickPts(tick_) - kScrLead) * 300;
        for (std::size_t i = 0; i < plans_.size(); ++i) {
            auto& st = states_[i];
            const Codec codec = plans_[i].codec;
            if (isVideo(codec)) {
                // Every frame begins a packet, so its PTS belongs to that packet.
                queueUnit(i);
                while (st.head < st.pending.size()) writePacket(i);
            } else if (isSubpicture(codec)) {
                // A unit begins a packet; its continuation packets go one per frame, between
                // the packets of the other streams.
                if (st.head == st.pending.size() && unitPts(i, st.nextUnit) < tickEnd) queueUnit(i);
                if (st.head < st.pending.size()) writePacket(i);
            } else {
                while (unitPts(i, st.nextUnit) < tickEnd) queueUnit(i);
                while (st.pending.size() - st.head >= kPackRoom) writePacket(i);
            }
        }
    }
    // Close the file on whole access units: what is pending goes out now.
    for (std::size_t i = 0; i < plans_.size(); ++i)
        while (states_[i].head < states_[i].pending.size()) writePacket(i);
    if (file.size() % kFileAlignment == 0) {
        uint8_t* pack = newPack();
        writePadding(pack + kPackHeaderSize, kPackRoom);
    }
    for (uint64_t offset : lastPtmOffsets_)
        file.patch32(offset, static_cast<uint32_t>(tickPts(tick_)));
    file.close();
    file_ = nullptr;
    return report;
}

}  // namespace kavrel::mkdisc
