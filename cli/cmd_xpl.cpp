// kavrel-cli xpl: reads an HD DVD playlist, shows the title that plays the input as a tree (or
// the re-indented playlist) and lists the tracks it offers.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/standard_output.h"
#include "engine/io.h"
#include "engine/names.h"
#include "formats/chapter_file.h"
#include "formats/json_writer.h"
#include "playlist/demux_chapters.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"
#include "playlist/title_chapters.h"
#include "playlist/titles.h"

namespace kavrel::cli {

using formats::JsonWriter;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCommand = "xpl";
constexpr std::size_t kJsonPiece = 1 << 20;

struct XplOptions {
    std::optional<std::string> input;
    std::optional<std::string> chapters;  // "xml" or "ogm"
    std::optional<std::string> out;       // the chapter file; stdout without it
    std::string playlist;
    bool memo = false;
    bool quiet = false;
    bool json = false;
};

int checkChapterOptions(const XplOptions& options) {
    if (!options.chapters) {
        if (options.out) return usageError(kCommand, "option '--out' needs '--chapters'");
        return -1;
    }
    if (*options.chapters != "xml" && *options.chapters != "ogm")
        return usageError(kCommand, "--chapters takes xml or ogm");
    if (!options.input)
        return usageError(kCommand, "--chapters needs --input: the chapters are its title's");
    if (options.json || options.memo)
        return usageError(kCommand, "--chapters writes no tree, memo or JSON");
    if (options.out && options.out->empty())
        return usageError(kCommand, "the output file is empty");
    return -1;
}

// Returns -1 when the command line is usable, else the exit code.
int parseOptions(int argc, char** argv, XplOptions& options) {
    CommandLine line(kCommand,
                     "kavrel-cli xpl [--input INPUT] [--memo] PLAYLIST\n"
                     "       kavrel-cli xpl --input INPUT --chapters xml|ogm [-o FILE] PLAYLIST",
                     "Reads an HD DVD playlist (VPLST000.XPL). With --input, the playlist is cut "
                     "to the title\nthat plays INPUT (FEATURE_1.EVO plays FEATURE_1.MAP) and the "
                     "title's tracks, chapters\nand the stream boxes they offer are shown as a "
                     "tree; without it, or when no title plays\nINPUT, the re-indented playlist "
                     "is printed. INPUT need not exist: only its name counts.");
    CLI::App& app = line.app;
    std::vector<std::string> playlists;
    app.add_option("-i,--input", options.input, "the EVO file whose title to show")
        ->type_name("INPUT");
    app.add_flag("-m,--memo", options.memo, "print the re-indented lines instead of the tree");
    app.add_option("--chapters", options.chapters,
                   "write the chapters of INPUT's title instead, in the title's\ntime: xml "
                   "(Matroska chapters) or ogm (CHAPTER01=...)")
        ->type_name("FORMAT");
    app.add_option("-o,--out", options.out, "write the chapters to FILE (default: stdout)")
        ->type_name("FILE");
    app.add_flag("-q,--quiet", options.quiet, "print no log lines");
    app.add_flag("--json", options.json, "print one JSON document instead of the log");
    app.add_option("playlist", playlists, "the playlist");
    app.footer("Exit codes: 0 done, 1 the playlist cannot be read, 2 the command line is wrong.");
    if (int code = line.parse(argc, argv); code >= 0) return code;

    if (playlists.empty()) return usageError(kCommand, "no playlist given");
    if (playlists.size() > 1) return usageError(kCommand, "more than one playlist given");
    if (options.input && fs::path(*options.input).filename().empty())
        return usageError(kCommand, "the input '" + *options.input + "' has no file name");
    options.playlist = playlists.front();
    return checkChapterOptions(options);
}

void printLine(const std::string& line) {
    writeOut(line, true);
}

void printTree(const playlist::Playlist& result) {
    for (const playlist::TreeNode& node : result.tree) {
        printLine(node.text);
        for (const std::string& child : node.children) printLine("  " + child);
    }
}

void printJson(const XplOptions& options, const std::optional<playlist::Playlist>& result,
               const std::string& error, const ConsoleHost& host) {
    JsonWriter json;
    json.beginObject();
    json.key("command").value(kCommand);
    json.key("playlist").value(options.playlist);
    json.key("input");
    if (options.input)
        json.value(*options.input);
    else
        json.null();
    json.key("outcome").value(result ? "done" : "failed");
    if (result) {
        json.key("playlistTitle").value(result->playlistTitle);
        json.key("titleFound").value(result->titleFound);
        json.key("endedInsideTag").value(result->endedInsideTag);
        json.key("tree").beginArray();
        for (const playlist::TreeNode& node : result->tree) {
            json.beginObject().key("text").value(node.text).key("children").beginArray();
            for (const std::string& child : node.children) json.value(child);
            json.endArray().endObject();
        }
        json.endArray();
        json.key("offers").beginArray();
        for (const playlist::TrackOffer& offer : result->offers) {
            json.beginObject().key("stream").value(slotName(offer.slot));
            json.key("label").value(offer.label).endObject();
        }
        json.endArray();
        // A hostile playlist makes a memo of a million lines: it goes out as it is written.
        json.key("memo").beginArray();
        for (const std::string& line : result->memo) {
            json.value(line);
            if (json.text().size() >= kJsonPiece) writeOut(json.take());
        }
        json.endArray();
    } else {
        json.key("error").value(error);
    }
    json.key("messages").beginArray();
    for (const std::string& message : host.messages()) json.value(message);
    json.endArray();
    json.endObject();
    printLine(json.take());
}

// --chapters: the chapters of the title that plays the input, to the file or stdout.
int writeChapters(const XplOptions& options) {
    const fs::path playlistPath = options.playlist;
    playlist::TitleSet set;
    try {
        set = playlist::readTitleSet(playlist::loadPlaylistText(playlistPath),
                                     playlist::discFolderOf(playlistPath),
                                     playlist::titleLookupName(*options.input));
    } catch (const IoError& error) {
        return failure(kCommand, error.what());
    }
    for (const std::string& problem : set.problems)
        std::fprintf(stderr, "Problem: %s\n", problem.c_str());
    const std::string name = playlist::titleLookupName(*options.input);
    if (!set.playing) return failure(kCommand, "no title of the playlist plays " + name);
    const playlist::Title& title = set.titles[*set.playing];
    std::vector<std::string> dropped;
    const auto marks = playlist::chapterMarks(set, title, {}, &dropped);
    for (const std::string& line : dropped) std::fprintf(stderr, "%s\n", line.c_str());
    const std::string titleText = playlist::titleCaption(title);
    if (marks.empty()) return failure(kCommand, titleText + " has no chapters");
    const std::string text = *options.chapters == "xml" ? formats::matroskaChapterXml(marks)
                                                        : formats::ogmChapters(marks);
    if (!options.out) {
        writeOut(text);
        return kExitDone;
    }
    try {
        playlist::writeChapterFile(*options.out, text, {playlistPath});
    } catch (const IoError& error) {
        return failure(kCommand, error.what());
    }
    if (!options.quiet)
        printLine(std::to_string(marks.size()) + " chapters of " + titleText + " written to " +
                  *options.out);
    return kExitDone;
}

}  // namespace

int xplCommand(int argc, char** argv) {
    XplOptions options;
    if (int code = parseOptions(argc, argv, options); code >= 0) return code;
    if (options.chapters) return writeChapters(options);
    std::string baseName =
        options.input ? playlist::titleLookupName(*options.input) : std::string();

    ConsoleHost host(options.quiet || options.json);
    std::string error;
    std::optional<playlist::Playlist> result =
        playlist::readPlaylist(options.playlist, baseName, host, &error);
    host.clearStatus();
    if (options.json) printJson(options, result, error, host);
    if (!result) return failure(kCommand, error.empty() ? "the playlist cannot be read" : error);
    if (!options.json) {
        if (result->titleFound && !options.memo) {
            printTree(*result);
        } else {
            for (const std::string& line : result->memo) printLine(line);
        }
    }
    return kExitDone;
}

}  // namespace kavrel::cli
