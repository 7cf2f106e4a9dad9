#pragma once
// The sink that writes a DVD subpicture stream as VobSub: the .sub file of its units and, when
// the run ends, the .idx beside it.
#include <memory>
#include <string>

#include "engine/sinks.h"

namespace kavrel {

// Gathers the stream's units from its payload runs and writes each whole unit into `sub`; at
// finish the .idx text goes to `idx`. Times are relative to the context's minimum first PTS.
// The frame size, palette and language come from the context's disc title when it has one
// (the language of the title's track with the stream's key), else the video frame and grey.
std::unique_ptr<StreamSink> makeVobsubSink(std::unique_ptr<ByteOutput> sub,
                                           std::unique_ptr<ByteOutput> idx,
                                           const SinkContext& context, int32_t streamKey,
                                           std::string streamName);

}  // namespace kavrel
