// The playlist scan, attribute extraction, title cut and track offers over arbitrary text; the
// title model and the chapter files made from it.
#include <string_view>

#include "formats/chapter_file.h"
#include "playlist/playlist.h"
#include "playlist/title_chapters.h"
#include "playlist/titles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    kavrel::playlist::scanPlaylist(text, "FEATURE_1");
    const auto set = kavrel::playlist::readTitleSet(text, {}, "FEATURE_1");
    for (const auto& title : set.titles) {
        const auto marks = kavrel::playlist::chapterMarks(set, title);
        kavrel::formats::matroskaChapterXml(marks);
        kavrel::formats::ogmChapters(marks);
    }
    return 0;
}
