// The log markup parser over arbitrary text: it must always end and give back every
// character outside well-formed tags; a name made literal shows as itself, on one line.
#include <string>
#include <string_view>

#include "engine/markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    kavrel::MarkupLine line = kavrel::parseMarkup(text);
    std::string joined;
    for (const auto& run : line.runs) joined += run.text;
    if (joined != line.plain) __builtin_trap();
    if (line.plain.size() > text.size()) __builtin_trap();
    const std::string shown = kavrel::escapeControls(text);
    if (kavrel::parseMarkup("[b]" + kavrel::markupLiteral(text) + "[/b]").plain != shown)
        __builtin_trap();
    if (shown.find('\n') != std::string::npos) __builtin_trap();
    return 0;
}
