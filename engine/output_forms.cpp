#include "engine/output_forms.h"

#include "engine/lpcm_wav_sink.h"
#include "engine/names.h"
#include "engine/pgs_sink.h"
#include "engine/vobsub_sink.h"

namespace kavrel {

namespace {

bool isLpcm(int32_t streamKey, bool aob) {
    const IdFamily* family = keyFamily(StreamKind::Audio, streamKey);
    return family && family->audio == AudioClass::Lpcm && !(aob && streamKey == kAobMlpId);
}

bool anySubpicture(int32_t, bool) {
    return true;
}

std::unique_ptr<StreamSink> wavSink(const SinkRequest& request, const SinkContext& context,
                                    const OutputOpener& open) {
    return std::make_unique<LpcmWavSink>(request.path, context.aob, open,
                                         formats::WavWriter::kRiffSizeLimit, context.host);
}

// How the log names a subpicture stream: as its box ("Ext.Subpicture.01").
std::string subpictureName(const SinkRequest& request) {
    const std::string number = twoDigits(request.slot - subSlot(0));
    std::optional<std::string> label;
    if (request.streamKey >= 0) label = streamLabel(request.kind, request.streamKey);
    return label.value_or("Subpicture") + "." + number;
}

std::unique_ptr<StreamSink> pgsSink(const SinkRequest& request, const SinkContext& context,
                                    const OutputOpener& open) {
    return makePgsSink(open(request.path), context, subpictureName(request));
}

// The .sub file at the stream's path, its .idx beside it.
std::unique_ptr<StreamSink> vobsubSink(const SinkRequest& request, const SinkContext& context,
                                       const OutputOpener& open) {
    std::filesystem::path idx = request.path;
    idx.replace_extension(kVobsubIndexExtension);
    return makeVobsubSink(open(request.path), open(idx), context, request.streamKey,
                          subpictureName(request));
}

// clang-format off
constexpr OutputForm kForms[] = {
    {StreamKind::Audio, "--lpcm", "wav", "raw",
     "write LPCM audio as WAV files (.wav) or as the raw samples (default raw)",
     "LpcmAsWav", "LPCM as WAV",
     "Demux writes LPCM audio as WAV files a player takes, instead of the raw samples",
     kWavExtension, &RunOptions::lpcmAsWav, isLpcm, wavSink},
    {StreamKind::Subpicture, "--subs", "pgs", "sup",
     "write subpictures as Blu-ray PGS subtitles or as the disc's own\n"
     "\"SP\"-framed units (default sup); the file names stay the same",
     "SubsAsPgs", "Subtitles as PGS",
     "Demux writes subpictures as Blu-ray PGS subtitles (.sup) that players and mkvmerge take",
     nullptr, &RunOptions::subsAsPgs, anySubpicture, pgsSink},
    {StreamKind::Subpicture, "--subs", "vobsub", "sup",
     "write subpictures as Blu-ray PGS subtitles, as VobSub (.sub and .idx,\n"
     "with the DVD title's palette) or as the disc's own \"SP\"-framed units\n"
     "(default sup); PGS and sup keep the file names",
     "SubsAsVobsub", "Subtitles as VobSub",
     "Demux writes subpictures as VobSub subtitles (.sub and .idx) in the DVD title's colours",
     kVobsubExtension, &RunOptions::subsAsVobsub, anySubpicture, vobsubSink},
};
// clang-format on

}  // namespace

std::span<const OutputForm> outputForms() {
    return kForms;
}

const OutputForm* chosenForm(StreamKind kind, int32_t streamKey, const RunOptions& options,
                             bool aob) {
    for (const OutputForm& form : kForms)
        if (form.kind == kind && options.*form.chosen && form.takes(streamKey, aob)) return &form;
    return nullptr;
}

}  // namespace kavrel
