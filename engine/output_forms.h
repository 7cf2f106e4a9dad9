#pragma once
// The forms a stream can be written in besides its kind's own, one descriptor each: how the
// command line chooses it, the window's stored setting and Options-page box, the extension of
// its file, and the sink that writes it. The command line, the window and the sink factory all
// list from here, so a new form (VobSub next) is one descriptor and one sink.
#include <memory>
#include <span>

#include "engine/runs.h"
#include "engine/sinks.h"

namespace kavrel {

struct OutputForm {
    StreamKind kind;
    const char* option;       // the command-line option of the kind's forms: "--lpcm"
    const char* value;        // this form's value: "wav"
    const char* plainValue;   // the value of the kind's own form: "raw"
    const char* optionHelp;   // the option's help text
    const char* settingsKey;  // the window's stored setting; its box is "cb" + the key
    const char* label;        // the box's caption on the Options page
    const char* toolTip;
    const char* extension;     // the file's extension; nullptr: the run's extension for the kind
    bool RunOptions::*chosen;  // the run option that asks for it
    // Whether the form takes a stream of this key (DVD-Audio input: aob).
    bool (*takes)(int32_t streamKey, bool aob);
    // Makes the stream's sink, creating its output.
    std::unique_ptr<StreamSink> (*make)(const SinkRequest& request, const SinkContext& context,
                                        const OutputOpener& open);
};

std::span<const OutputForm> outputForms();

// The form a run writes a stream in: the first one the options ask for that takes the stream;
// nullptr for the kind's own form.
const OutputForm* chosenForm(StreamKind kind, int32_t streamKey, const RunOptions& options,
                             bool aob);

}  // namespace kavrel
