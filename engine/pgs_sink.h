#pragma once
// The sink that writes a subpicture stream as a Blu-ray PGS file instead of "SP" entries.
#include <memory>
#include <string>

#include "engine/sinks.h"

namespace kavrel {

// Gathers the stream's units from its payload runs, decodes them, puts them on the stream's
// time line and writes each caption as whole PGS display sets on a canvas of the context's
// video frame size. Times are relative to the context's minimum first PTS, the same instant an
// "SP" entry holds. A damaged unit is skipped with one log line, prefixed with streamName, in
// the context's host (nothing is logged without one).
std::unique_ptr<StreamSink> makePgsSink(std::unique_ptr<ByteOutput> output,
                                        const SinkContext& context, std::string streamName);

}  // namespace kavrel
