#include "cli/run_report.h"

#include <cstdio>
#include <type_traits>

#include "formats/json_writer.h"

namespace kavrel::cli {

using formats::JsonWriter;

namespace fs = std::filesystem;

namespace {

std::string_view outcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Done:
            return "done";
        case RunOutcome::Cancelled:
            return "cancelled";
        case RunOutcome::Failed:
            break;
    }
    return "failed";
}

std::string hexId(int32_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(id) & 0xFFu);
    return text;
}

template <typename T>
void optionalMember(JsonWriter& json, std::string_view name, const std::optional<T>& value) {
    if (!value) return;
    json.key(name);
    if constexpr (std::is_same_v<T, uint64_t>)
        json.value(static_cast<int64_t>(*value));
    else
        json.value(*value);
}

// What the stream's first header says, each fact only when known.
void writeProperties(JsonWriter& json, const analysers::StreamFacts& facts) {
    json.key("properties").beginObject();
    if (!facts.codecName.empty()) json.key("codec").value(facts.codecName);
    if (!facts.format.empty()) json.key("format").value(facts.format);
    optionalMember(json, "channels", facts.channels);
    optionalMember(json, "channelLayout", facts.channelLayout);
    optionalMember(json, "lfe", facts.lfe);
    optionalMember(json, "sampleRate", facts.sampleRate);
    optionalMember(json, "bitsPerSample", facts.bitsPerSample);
    optionalMember(json, "bitRate", facts.bitRate);
    optionalMember(json, "frameSize", facts.frameSize);
    optionalMember(json, "width", facts.width);
    optionalMember(json, "height", facts.height);
    optionalMember(json, "displayAspectRatio", facts.displayAspectRatio);
    optionalMember(json, "frameRate", facts.frameRate);
    optionalMember(json, "interlaced", facts.interlaced);
    optionalMember(json, "profile", facts.profile);
    optionalMember(json, "level", facts.level);
    json.endObject();
}

void nullable(JsonWriter& json, std::string_view name, const std::optional<std::string>& text) {
    json.key(name);
    if (text)
        json.value(*text);
    else
        json.null();
}

void writeStream(JsonWriter& json, const StreamInfo& stream, const TrackNames* names) {
    static constexpr std::string_view kKinds[] = {"video", "audio", "subpicture"};
    json.beginObject();
    json.key("kind").value(kKinds[static_cast<int>(stream.kind)]);
    json.key("number");
    if (stream.number >= 0)
        json.value(stream.number);
    else
        json.null();
    json.key("id").value(int{stream.id});
    json.key("idHex").value(hexId(stream.id));
    // Where the id byte stands: MPEG audio 0xC0 and Dolby Digital Plus 0xC0 are two streams.
    static constexpr std::string_view kSpaces[] = {"stream_id", "sub_stream_id",
                                                   "stream_id_extension"};
    json.key("idSpace").value(kSpaces[static_cast<int>(stream.space)]);
    if (stream.label.empty())
        json.key("label").null();
    else
        json.key("label").value(stream.label);
    // Subpictures 16-31, and streams left without a number, have no box and no output.
    if (stream.selectable()) json.key("caption").value(stream.caption);
    json.key("firstPts");
    if (stream.firstPts)
        json.value(*stream.firstPts);
    else
        json.null();
    if (stream.kind != StreamKind::Video) {
        json.key("delayMs");
        if (stream.delayMs)
            json.value(*stream.delayMs);
        else
            json.null();
    }
    json.key("file").value(stream.firstSeenIn.string());
    writeProperties(json, stream.facts);
    if (names) {
        nullable(json, "language", names->language);
        nullable(json, "description", names->description);
    }
    json.endObject();
}

}  // namespace

std::string jsonReport(const RunReport& report, const StreamFindings& state) {
    const RunResult& result = report.result;
    JsonWriter json;
    json.beginObject();
    json.key("command").value(report.command);
    json.key("outcome").value(report.interrupted ? "interrupted" : outcomeName(result.outcome));
    if (result.outcome == RunOutcome::Failed) json.key("error").value(result.error);
    json.key("fastCheckStopped").value(result.fastCheckStopped);

    json.key("inputs").beginArray();
    for (const fs::path& input : result.inputs) json.value(input.string());
    json.endArray();

    json.key("streams").beginArray();
    for (const StreamInfo* stream : state.streams.ordered()) {
        const auto index = static_cast<std::size_t>(stream - state.streams.all().data());
        const TrackNames* names =
            report.names && index < report.names->size() ? &(*report.names)[index] : nullptr;
        writeStream(json, *stream, names);
    }
    json.endArray();

    json.key("video").beginArray();
    for (int n = 0; n < 2; ++n) {
        json.beginObject();
        json.key("number").value(n);
        json.key("countedFrames").value(state.frameCounters[n]);
        if (state.frameRates[n] > 0)
            json.key("frameRate").value(state.frameRates[n]);
        else
            json.key("frameRate").null();
        json.endObject();
    }
    json.endArray();
    json.key("measuredDuration").value(state.measuredDuration);

    if (report.command != "read") {
        json.key("outputs").beginArray();
        for (const OutputWritten& output : result.outputs) {
            json.beginObject();
            json.key("path").value(output.path.string());
            json.key("bytes").value(static_cast<int64_t>(output.bytes));
            json.endObject();
        }
        json.endArray();
    }

    // What damage cost each stream that lost something.
    json.key("problems").beginArray();
    for (const StreamProblem& problem : result.problems) {
        json.beginObject();
        json.key("stream").value(problem.stream);
        json.key("count").value(static_cast<int64_t>(problem.count));
        json.key("problem").value(problem.what);
        json.endObject();
    }
    json.endArray();

    json.key("messages").beginArray();
    for (const std::string& line : report.messages) json.value(line);
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

}  // namespace kavrel::cli
