#include "playlist/demux_chapters.h"

#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "formats/chapter_file.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"
#include "playlist/title_chapters.h"
#include "playlist/titles.h"

namespace kavrel::playlist {

namespace fs = std::filesystem;

fs::path demuxChaptersPath(const fs::path& input, const RunOptions& options) {
    // The demux run names its outputs from this prefix too.
    const fs::path second = options.cont ? getsecond(input) : fs::path();
    fs::path path = outputFolder(input, options.workdir) / runBaseName(input, second);
    path += ".chapters.xml";
    return path;
}

void writeChapterFile(const fs::path& path, std::string_view text,
                      std::initializer_list<fs::path> sources) {
    for (const fs::path& source : sources) {
        if (sameFile(path, source))
            throw IoError("Cannot create " + path.string() + ": it is an input file");
    }
    OutputFile out(path);
    out.write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    out.close();
}

bool writeDemuxChapters(const fs::path& input, const fs::path& playlist, const RunOptions& options,
                        EngineHost& host, RunResult* result) {
    const std::string inputName = markupLiteral(input.filename().string());
    if (playlist.empty()) {
        host.log("No chapters: no playlist beside " + inputName + ".");
        return true;
    }
    TitleSet set;
    try {
        set = readTitleSet(loadPlaylistText(playlist), discFolderOf(playlist),
                           titleLookupName(input));
    } catch (const IoError& error) {
        host.log("No chapters: " + markupLiteral(error.what()));
        return true;
    }
    if (!set.playing) {
        host.log("No chapters: no title of the playlist plays " +
                 markupLiteral(titleLookupName(input)) + ".");
        return true;
    }
    const Title& title = set.titles[*set.playing];
    std::vector<fs::path> files{input};
    if (fs::path second = options.cont ? getsecond(input) : fs::path(); !second.empty())
        files.push_back(second);
    std::vector<std::string> dropped;
    const auto marks = chapterMarks(set, title, spanOfFiles(title, files), &dropped);
    for (const std::string& line : dropped) host.log(markupLiteral(line));
    const std::string titleText = markupLiteral(titleCaption(title));  // the playlist's text
    if (marks.empty()) {
        host.log("No chapters: " + titleText + " has none in " + inputName + ".");
        return true;
    }

    const fs::path path = demuxChaptersPath(input, options);
    const std::string xml = formats::matroskaChapterXml(marks);
    try {
        writeChapterFile(path, xml, {input, playlist});
    } catch (const IoError& error) {
        host.log("[re]Error: " + markupLiteral(error.what()) + "[/re]");
        if (result) result->error = error.what();
        return false;
    }
    if (result) result->outputs.push_back({path, xml.size()});
    host.log(std::to_string(marks.size()) + " chapters of " + titleText + " written to " +
             markupLiteral(path.string()));
    return true;
}

}  // namespace kavrel::playlist
