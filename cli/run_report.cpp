#include "cli/run_report.h"

#include "engine/markup.h"
#include "engine/names.h"
#include "formats/json_writer.h"

namespace kavrel::cli {

using formats::JsonWriter;

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFirstPts = "   First PTS = ";
constexpr std::string_view kSubstreamId = "   Substream id = ";
constexpr std::string_view kCreating = "Creating ";

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

void writeStream(JsonWriter& json, StreamKind kind, int number, int32_t id,
                 const std::map<int32_t, uint32_t>& pts) {
    static constexpr std::string_view kKinds[] = {"video", "audio", "subpicture"};
    json.beginObject();
    json.key("kind").value(kKinds[static_cast<int>(kind)]);
    json.key("number").value(number);
    json.key("id").value(id);
    json.key("idHex").value(hexId(id));
    if (auto label = streamLabel(kind, id))
        json.key("label").value(*label);
    else
        json.key("label").null();
    int slot = kind == StreamKind::Video   ? videoSlot(number)
               : kind == StreamKind::Audio ? audioSlot(number)
                                           : subSlot(number);
    // Subpicture numbers 16-31 are announced but have no box and no output.
    if (kind != StreamKind::Subpicture || number < 16)
        json.key("caption").value(boxCaption(slot, id));
    auto found = pts.find(id);
    if (found != pts.end())
        json.key("firstPts").value(found->second);
    else
        json.key("firstPts").null();
    json.endObject();
}

}  // namespace

std::map<int32_t, uint32_t> firstPtsById(const std::vector<std::string>& messages) {
    std::map<int32_t, uint32_t> result;
    for (std::size_t i = 0; i + 1 < messages.size(); ++i) {
        const std::string& line = messages[i];
        const std::string& next = messages[i + 1];
        if (!line.starts_with(kFirstPts) || !next.starts_with(kSubstreamId)) continue;
        auto pts = readHexDigits(std::string_view(line).substr(kFirstPts.size()));
        auto id = static_cast<int32_t>(
            readHexDigits(std::string_view(next).substr(kSubstreamId.size())) & 0xFFu);
        result.emplace(id, pts);
    }
    return result;
}

std::vector<fs::path> createdOutputs(const std::vector<std::string>& messages) {
    std::vector<fs::path> outputs;
    for (const std::string& line : messages)
        if (line.starts_with(kCreating)) outputs.emplace_back(line.substr(kCreating.size()));
    return outputs;
}

std::string jsonReport(const RunReport& report, const RunState& state) {
    const auto pts = firstPtsById(report.messages);
    JsonWriter json;
    json.beginObject();
    json.key("command").value(report.command);
    json.key("outcome").value(report.interrupted ? "interrupted" : outcomeName(report.outcome));
    if (!report.error.empty()) json.key("error").value(report.error);

    json.key("inputs").beginArray();
    for (const fs::path& input : report.inputs) json.value(input.string());
    json.endArray();

    json.key("streams").beginArray();
    for (int n = 0; n < 2; ++n)
        if (state.foundVideo[n] >= 0)
            writeStream(json, StreamKind::Video, n, state.foundVideo[n], pts);
    for (int n = 0; n < 16; ++n)
        if (state.foundAudio[n] >= 0)
            writeStream(json, StreamKind::Audio, n, state.foundAudio[n], pts);
    for (int n = 0; n < 32; ++n)
        if (state.foundSub[n] >= 0)
            writeStream(json, StreamKind::Subpicture, n, state.foundSub[n], pts);
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

    if (report.command == "demux") {
        json.key("outputs").beginArray();
        for (const fs::path& output : report.outputs) {
            json.beginObject();
            json.key("path").value(output.string());
            std::error_code ec;
            auto size = fs::file_size(output, ec);
            if (ec)
                json.key("bytes").null();
            else
                json.key("bytes").value(static_cast<int64_t>(size));
            json.endObject();
        }
        json.endArray();
    }

    json.key("messages").beginArray();
    for (const std::string& line : report.messages) json.value(line);
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

}  // namespace kavrel::cli
