#include "engine/pes_header.h"

namespace kavrel {

namespace {

// PES flags (the second fixed header byte).
constexpr uint8_t kEscrFlag = 0x20;
constexpr uint8_t kEsRateFlag = 0x10;
constexpr uint8_t kTrickModeFlag = 0x08;
constexpr uint8_t kCopyInfoFlag = 0x04;
constexpr uint8_t kCrcFlag = 0x02;
constexpr uint8_t kExtensionFlag = 0x01;
// PES extension flags.
constexpr uint8_t kPrivateDataFlag = 0x80;
constexpr uint8_t kPackHeaderFieldFlag = 0x40;
constexpr uint8_t kSequenceCounterFlag = 0x20;
constexpr uint8_t kPstdBufferFlag = 0x10;
constexpr uint8_t kExtension2Flag = 0x01;

}  // namespace

PesHeaderFields parsePesHeaderData(uint8_t flags, std::span<const uint8_t> data) {
    PesHeaderFields fields;
    const std::size_t length = data.size();
    std::size_t at = 0;
    const int ptsDts = flags >> 6;
    if (ptsDts >= 2) {
        if (at + 5 > length) return fields;
        fields.pts = decodeTimeStamp(data.data() + at);
        fields.hasPts = true;
        at += 5;
        if (ptsDts == 3) {
            if (at + 5 > length) return fields;
            fields.dts = decodeTimeStamp(data.data() + at);
            fields.hasDts = true;
            at += 5;
        }
    }
    if (!(flags & kExtensionFlag)) return fields;
    if (flags & kEscrFlag) at += 6;
    if (flags & kEsRateFlag) at += 3;
    if (flags & kTrickModeFlag) at += 1;
    if (flags & kCopyInfoFlag) at += 1;
    if (flags & kCrcFlag) at += 2;  // previous PES packet CRC
    if (at >= length) return fields;
    const uint8_t extension = data[at++];
    if (extension & kPrivateDataFlag) at += 16;
    if (extension & kPackHeaderFieldFlag) {  // a length byte, then a pack header
        if (at >= length) return fields;
        at += 1 + std::size_t{data[at]};
    }
    if (extension & kSequenceCounterFlag) at += 2;
    if (extension & kPstdBufferFlag) at += 2;
    // PES_extension_field_length (after a marker bit), then stream_id_extension.
    if ((extension & kExtension2Flag) && at + 2 <= length)
        fields.streamIdExtensionAt = static_cast<int>(at + 1);
    return fields;
}

}  // namespace kavrel
