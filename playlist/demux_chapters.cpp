#include "playlist/demux_chapters.h"

#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "engine/title_files.h"
#include "formats/chapter_file.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"
#include "playlist/title_chapters.h"
#include "playlist/titles.h"

namespace kavrel::playlist {

namespace fs = std::filesystem;

fs::path demuxChaptersPath(const DiscTitle& title, const RunOptions& options) {
    // The demux run names its outputs from this prefix too.
    fs::path path = titleOutputFolder(title, options.workdir) / titleBaseName(title);
    path += ".chapters.xml";
    return path;
}

void writeChapterFile(const fs::path& path, std::string_view text,
                      const std::vector<fs::path>& sources) {
    if (isRunInput(path, sources))
        throw IoError("Cannot create " + path.string() + ": it is an input file");
    OutputFile out(path);
    out.write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    out.close();
}

bool writeDemuxChapters(const DiscTitle& disc, const fs::path& playlist, const RunOptions& options,
                        EngineHost& host, RunResult* result) {
    const std::vector<fs::path> files = disc.files();
    if (files.empty()) return true;
    const fs::path& input = files.front();
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
    std::vector<std::string> dropped;
    const auto marks = chapterMarks(set, title, spanOfFiles(title, files), &dropped);
    for (const std::string& line : dropped) host.log(markupLiteral(line));
    const std::string titleText = markupLiteral(titleCaption(title));  // the playlist's text
    if (marks.empty()) {
        host.log("No chapters: " + titleText + " has none in " + inputName + ".");
        return true;
    }

    const fs::path path = demuxChaptersPath(disc, options);
    const std::string xml = formats::matroskaChapterXml(marks);
    try {
        std::vector<fs::path> sources = files;
        sources.push_back(playlist);
        writeChapterFile(path, xml, sources);
    } catch (const IoError& error) {
        host.log(errorLine(error.what()));
        if (result) result->error = error.what();
        return false;
    }
    if (result) result->outputs.push_back({path, xml.size()});
    host.log(std::to_string(marks.size()) + " chapters of " + titleText + " written to " +
             markupLiteral(path.string()));
    return true;
}

}  // namespace kavrel::playlist
