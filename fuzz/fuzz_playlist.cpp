// The playlist scan, attribute extraction, title cut and track offers over arbitrary text.
#include <string_view>

#include "playlist/playlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    kavrel::playlist::scanPlaylist(text, "FEATURE_1");
    return 0;
}
