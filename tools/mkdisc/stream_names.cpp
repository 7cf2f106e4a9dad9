#include "tools/mkdisc/stream_names.h"

#include <cstdio>

namespace kavrel::mkdisc {

int streamNumber(Codec codec, uint8_t id) {
    switch (codec) {
        case Codec::Vc1:
            return id - 0x55;  // stream id extensions 0x55 and 0x56
        case Codec::H264:
        case Codec::Mpeg2:
            return id & 0x01;
        case Codec::Ac3:
        case Codec::Dts:
        case Codec::TrueHd:
            return id & 0x07;
        case Codec::Eac3:
        case Codec::Lpcm:
        case Codec::Mlp:
            return id & 0x0F;
        case Codec::Subpicture:
        case Codec::ExtSubpicture:
            return id & 0x1F;
    }
    return -1;
}

std::string streamKind(Codec codec) {
    if (isVideo(codec)) return "video";
    if (isSubpicture(codec)) return "subpicture";
    return "audio";
}

namespace {
const char* label(Codec codec) {
    switch (codec) {
        case Codec::Vc1:
            return "VC-1.stream";
        case Codec::H264:
            return "H.264.stream";
        case Codec::Mpeg2:
            return "MPEG-2.stream";
        case Codec::Ac3:
            return "DD.stream";
        case Codec::Eac3:
            return "DD+.stream";
        case Codec::Dts:
            return "DTSHD.stream";
        case Codec::Lpcm:
        case Codec::Mlp:
            return "LPCM.stream";  // the label follows the id range 0xA0-0xA7
        case Codec::TrueHd:
            return "MLP.stream";
        case Codec::Subpicture:
            return "Subpicture";
        case Codec::ExtSubpicture:
            return "Ext.Subpicture";
    }
    return "";
}
}  // namespace

std::string streamCaption(Codec codec, uint8_t id) {
    char suffix[8];
    if (isVideo(codec))
        std::snprintf(suffix, sizeof suffix, ".%d", streamNumber(codec, id));
    else
        std::snprintf(suffix, sizeof suffix, ".%02d", streamNumber(codec, id));
    return label(codec) + std::string(suffix);
}

std::string outputExtension(Codec codec) {
    if (isVideo(codec)) return "mpv";
    if (isSubpicture(codec)) return "sup";
    return "mpa";
}

}  // namespace kavrel::mkdisc
