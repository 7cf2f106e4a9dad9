#include "tests/support/ps_builder.h"

#include <cstdio>
#include <stdexcept>

#include "engine/names.h"
#include "engine/sinks.h"

namespace kavrel::test {

namespace {

void putLength(Bytes& out, std::size_t length) {
    if (length > 0xFFFF) throw std::length_error("PES packet too long");
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
}

}  // namespace

void putTimeStamp(Bytes& out, uint8_t prefix, uint64_t value) {
    out.push_back(static_cast<uint8_t>(prefix << 4 | ((value >> 29) & 0x0E) | 1));
    out.push_back(static_cast<uint8_t>(value >> 22));
    out.push_back(static_cast<uint8_t>(((value >> 14) & 0xFE) | 1));
    out.push_back(static_cast<uint8_t>(value >> 7));
    out.push_back(static_cast<uint8_t>(((value << 1) & 0xFE) | 1));
}

Bytes pesPacket(const Pes& pes) {
    return pes.packet();
}

Bytes Pes::packet() const {
    const Pes& pes = *this;
    Bytes header;
    uint8_t flags = 0;
    if (pes.pts_) {
        flags = pes.dts_ ? 0xC0 : 0x80;
        putTimeStamp(header, pes.dts_ ? 0x3 : 0x2, *pes.pts_);
        if (pes.dts_) putTimeStamp(header, 0x1, *pes.dts_);
    }
    if (pes.pstd_ || pes.streamIdExtension_) {
        flags = static_cast<uint8_t>(flags | 0x01);
        header.push_back(static_cast<uint8_t>(0x0E | (pes.pstd_ ? 0x10 : 0) |
                                              (pes.streamIdExtension_ ? 0x01 : 0)));
        if (pes.pstd_) {
            header.push_back(0x60);  // '01', scale 1, size
            header.push_back(0xE8);
        }
        if (pes.streamIdExtension_) {
            header.push_back(0x81);  // marker, extension field length 1
            header.push_back(*pes.streamIdExtension_);
        }
    }
    header.insert(header.end(), static_cast<std::size_t>(pes.stuffing_), 0xFF);

    Bytes out = {0x00, 0x00, 0x01, pes.streamId_};
    const std::size_t body = 3 + header.size() + pes.subHeader_.size() + pes.payload_.size();
    putLength(out, pes.length_ ? *pes.length_ : body);
    out.push_back(0x81);  // '10', original
    out.push_back(flags);
    out.push_back(static_cast<uint8_t>(header.size()));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), pes.subHeader_.begin(), pes.subHeader_.end());
    out.insert(out.end(), pes.payload_.begin(), pes.payload_.end());
    return out;
}

Bytes plainPacket(uint8_t streamId, const Bytes& body) {
    Bytes out = {0x00, 0x00, 0x01, streamId};
    putLength(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes packHeader(uint64_t scr) {
    Bytes out = {0x00, 0x00, 0x01, 0xBA};
    out.push_back(static_cast<uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)));
    out.push_back(static_cast<uint8_t>(scr >> 20));
    out.push_back(static_cast<uint8_t>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03)));
    out.push_back(static_cast<uint8_t>(scr >> 5));
    out.push_back(static_cast<uint8_t>(((scr << 3) & 0xF8) | 0x04));
    out.push_back(0x01);                        // SCR extension 0, marker
    out.insert(out.end(), {0x01, 0x89, 0xC3});  // mux rate 25200, markers
    out.push_back(0xF8);                        // no stuffing
    return out;
}

Bytes systemHeader(int audioBound, int videoBound) {
    Bytes out = {0x00, 0x00, 0x01, 0xBB, 0x00, 0x0C};
    out.insert(out.end(), {0x80, 0xC4, 0xE1});  // rate bound, markers
    out.push_back(static_cast<uint8_t>(audioBound << 2 | 0x01));
    out.push_back(static_cast<uint8_t>(0xE0 | (videoBound & 0x1F)));
    out.push_back(0x7F);
    out.insert(out.end(), {0xE0, 0xE0, 0x58, 0xBD, 0xE0, 0x20});  // two stream entries
    return out;
}

Bytes audioSubHeader(uint8_t id) {
    Bytes out = {id, 0x01, 0x00, 0x01};
    if (id >= 0xA0 && id <= 0xA7) out.insert(out.end(), {0x00, 0x0F, 0x80});
    if (id >= 0xB0 && id <= 0xB7) out.push_back(0x00);
    return out;
}

Bytes subpictureSubHeader(uint8_t id) {
    return {id};
}

Bytes navigationPacket(const Navigation& nav) {
    Bytes body(nav.bodyBytes + 1, 0);
    body[0] = 0x01;
    auto put = [&body](std::size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const std::size_t pos = 1 + at + static_cast<std::size_t>(i);
            if (pos < body.size()) body[pos] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
        }
    };
    const std::size_t shift = nav.vob ? 128 : 0;
    put(24, nav.vobNumber, 2);
    put(44, nav.firstPtm, 4);
    put(48, nav.lastPtm, 4);
    for (int i = 0; i < nav.audioEntries; ++i)
        put(530 - shift + static_cast<std::size_t>(2 * i), 0x8000u | static_cast<uint32_t>(i), 2);
    for (int i = 0; i < nav.subEntries; ++i)
        put(546 - shift + static_cast<std::size_t>(4 * i), 0x80000000u | static_cast<uint32_t>(i),
            4);
    return plainPacket(0xBF, body);
}

PsBuilder& PsBuilder::pack(const std::vector<Bytes>& packets) {
    const std::size_t start = bytes_.size();
    raw(packHeader(scr_));
    scr_ += 300;
    for (const Bytes& packet : packets) raw(packet);
    const std::size_t used = bytes_.size() - start;
    if (used + 6 <= 2048) raw(plainPacket(0xBE, Bytes(2048 - used - 6, 0xFF)));
    return *this;
}

PsBuilder& PsBuilder::raw(const Bytes& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

namespace {

class MemoryOutput : public ByteOutput {
  public:
    MemoryOutput(Bytes& data, MemorySlots& slots) : data_(data), slots_(slots) {}
    void write(const uint8_t* data, std::size_t size) override {
        if (slots_.failAfter >= 0 && slots_.writes >= slots_.failAfter)
            throw IoError("Cannot write out.mpv: No space left on device");
        data_.insert(data_.end(), data, data + size);
        ++slots_.writes;
    }
    void close() override {}
    uint64_t written() const override { return data_.size(); }

  private:
    Bytes& data_;
    MemorySlots& slots_;
};

}  // namespace

MemorySlots::~MemorySlots() {
    if (state_) state_->sinks.fill(nullptr);
}

void MemorySlots::attach(RunState& state, InputKind kind) {
    state_ = &state;
    const SinkContext context = sinkContext(state, kind);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (!open_[s] || sinks_[s]) continue;
        const SinkRequest request{slot, slotKind(slot), state.lists.ofSlot(slot),
                                  "slot" + std::to_string(slot)};
        sinks_[s] =
            makeSink(request, RunOptions{}, context, [this, s](const std::filesystem::path&) {
                return std::make_unique<MemoryOutput>(data_[s], *this);
            });
        sinks_[s]->begin();
        state.sinks[s] = sinks_[s].get();
    }
}

void MemorySlots::finish() {
    for (auto& sink : sinks_)
        if (sink) sink->finish();
}

ScanEnd ScanRun::run(InputFile& input, ScanMode mode) {
    state.input = &input;
    options.kind = inputKindOfName(input.path());
    if (mode == ScanMode::Demux) slots.attach(state, options.kind);
    ScanEnd end = ScanEnd::EndOfInput;
    try {
        end = demux(state, options, host, mode);
    } catch (...) {
        state.input = nullptr;
        throw;
    }
    state.input = nullptr;
    return end;
}

ScanEnd ScanRun::run(const std::filesystem::path& file, ScanMode mode) {
    InputFile input(file);
    return run(input, mode);
}

void ScanRun::run(const Bytes& bytes, ScanMode mode, const std::string& extension) {
    const std::string name = "input" + extension;
    if (bytes.empty()) {  // fmemopen wants at least one byte
        const std::filesystem::path file = tempDir("scan") / name;
        writeFile(file, bytes);
        run(file, mode);
        return;
    }
    memory_ = bytes;
    InputFile input(fmemopen(memory_.data(), memory_.size(), "rb"), memory_.size(), name);
    run(input, mode);
}

}  // namespace kavrel::test
