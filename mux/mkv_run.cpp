#include "mux/mkv_run.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include "engine/io.h"
#include "engine/lpcm_wav_sink.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "engine/sinks.h"
#include "engine/title_files.h"
#include "formats/chapter_file.h"
#include "mux/mkvmerge.h"
#include "mux/mux_plan.h"
#include "mux/track_sync.h"
#include "playlist/demux_chapters.h"
#include "playlist/disc_layout.h"
#include "playlist/disc_titles.h"
#include "playlist/playlist.h"
#include "playlist/tag_text.h"
#include "playlist/title_chapters.h"

namespace kavrel::mux {

namespace fs = std::filesystem;

namespace {

// The files of the work folder that are not demuxed streams.
constexpr const char* kChapterFile = "chapters.xml";
constexpr const char* kOptionFile = "mkvmerge.json";
constexpr const char* kMuxedFile = "muxed.mkv";

std::string literalName(const fs::path& path) {
    return markupLiteral(path.filename().string());
}

RunResult failed(EngineHost& host, RunResult result, std::string_view what) {
    host.log(errorLine(what));
    host.slog("Ready", 0);
    host.slog("", 1);
    result.outcome = RunOutcome::Failed;
    result.error = what;
    return result;
}

// The folder of the intermediate files, beside the output so that the finished file is only
// renamed into place. Removed with all it holds unless it is to be kept.
class WorkFolder {
  public:
    WorkFolder(const fs::path& output, bool keep) : keep_(keep) {
        std::string pattern = (output.parent_path() / ".kavrel-mkv-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw IoError("Cannot create a folder beside " + output.string() + ": " +
                          std::strerror(errno));
        path_ = pattern;
    }
    ~WorkFolder() {
        if (keep_) return;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
    bool keep_;
};

// The files the demux wrote for the chosen streams (a DVD-Audio stream whose channel groups
// differ has a second WAV), the main one first. Each is renamed after its stream ("a2.wav",
// "s1.sup"): the names mkvmerge is given are short and plain, whatever the input's name holds.
// Empty files are left out with a line in the log.
std::vector<MuxInput> demuxedFiles(const RunResult& demuxed, const std::string& baseName,
                                   const std::array<std::string, kSlotCount>& captions,
                                   const RunState& state, EngineHost& host) {
    const auto sync = trackSync(state);
    std::vector<MuxInput> inputs;
    for (const OutputWritten& output : demuxed.outputs) {
        if (output.slot < 0) continue;
        const auto s = static_cast<std::size_t>(output.slot);
        const std::string prefix = baseName + "." + captions[s] + ".";
        for (const fs::path& file : {output.path, group2Path(output.path)}) {
            std::error_code missing;
            const uintmax_t size = fs::file_size(file, missing);
            if (missing) continue;  // no second group
            const std::string name = file.filename().string();
            if (size == 0) {
                host.log(markupLiteral(name) + " is empty: it is left out.");
                continue;
            }
            const std::string rest =
                name.starts_with(prefix) ? name.substr(prefix.size()) : file.extension().string();
            const std::string plain = slotName(output.slot) + "." + rest;
            fs::rename(file, file.parent_path() / plain);
            fs::path muxed = fs::path(".") / plain;
            // VobSub: mkvmerge reads the index, which finds the .sub of its own name.
            if (fs::path idx = fs::path(file).replace_extension(kVobsubIndexExtension);
                file.extension() == "." + std::string(kVobsubExtension) && fs::exists(idx)) {
                muxed.replace_extension(kVobsubIndexExtension);
                fs::rename(idx, file.parent_path() / muxed.filename());
            }
            inputs.push_back(
                MuxInput{output.slot, muxed, sync[s], state.lists.ofSlot(output.slot)});
        }
    }
    return inputs;
}

// Writes the chapters a disc's own tables give a title (a DVD's program chain: "Chapter 01" …);
// returns the file, or an empty path when there are none.
fs::path writeDiscChapters(const DiscTitle& title, const fs::path& folder, EngineHost& host) {
    std::vector<formats::ChapterMark> marks;
    for (const TitleChapter& chapter : title.chapters) {
        const std::size_t n = marks.size() + 1;
        marks.push_back(
            {static_cast<int64_t>(std::llround(chapter.seconds * 1e9)),
             chapter.name.empty() ? "Chapter " + twoDigits(static_cast<int>(n)) : chapter.name});
    }
    if (marks.empty()) return {};
    playlist::writeChapterFile(folder / kChapterFile, formats::matroskaChapterXml(marks), {});
    host.log(std::to_string(marks.size()) + (marks.size() == 1 ? " chapter of " : " chapters of ") +
             "title " + std::to_string(title.number) + ".");
    return fs::path(".") / kChapterFile;
}

// Writes the chapters of the title that fall in the files read, timed from the first one's
// start; returns the file, or an empty path when there are none.
fs::path writeChapters(const FeatureSource& source, const std::vector<fs::path>& files,
                       const fs::path& folder, EngineHost& host) {
    const playlist::Title* title = source.title();
    if (!title || files.empty()) return {};
    const fs::path& input = files.front();
    std::vector<std::string> dropped;
    const auto marks = playlist::chapterMarks(*source.titles, *title,
                                              playlist::spanOfFiles(*title, files), &dropped);
    for (const std::string& line : dropped) host.log(markupLiteral(line));
    const std::string caption = markupLiteral(playlist::titleCaption(*title));
    if (marks.empty()) {
        host.log("No chapters: " + caption + " has none in " + literalName(input) + ".");
        return {};
    }
    playlist::writeChapterFile(folder / kChapterFile, formats::matroskaChapterXml(marks), {});
    host.log(std::to_string(marks.size()) + (marks.size() == 1 ? " chapter of " : " chapters of ") +
             caption + ".");
    return fs::path(".") / kChapterFile;
}

void writeText(const fs::path& path, std::string_view text) {
    OutputFile out(path);
    out.write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    out.close();
}

// Why the output cannot be written where it was asked for; empty when it can.
std::string outputProblem(const fs::path& output, const MkvJob& job) {
    if (!output.has_filename()) return "Cannot write " + output.string() + ": it names no file";
    std::error_code error;
    const fs::file_status status = fs::symlink_status(output, error);
    if (fs::exists(status) && !fs::is_regular_file(status))
        return "Cannot write " + output.string() + ": it is not a regular file";
    std::vector<fs::path> sources = job.title.files();
    sources.push_back(job.source.playlist);
    if (isRunInput(output, sources))
        return "Cannot write " + output.string() + ": it is an input file";
    return {};
}

}  // namespace

std::optional<FeatureSource> findFeature(const fs::path& input, const fs::path& playlist, bool cont,
                                         EngineHost& host, std::string& error) {
    FeatureSource source;
    source.playlist = playlist;
    if (playlist.empty()) {
        host.log("No playlist beside " + literalName(input) +
                 ": the tracks get no languages or names, the file no chapters.");
        return source;
    }
    const std::string lookup = playlist::titleLookupName(input);
    try {
        source.titles = playlist::readTitleSet(playlist::loadPlaylistText(playlist),
                                               playlist::discFolderOf(playlist), lookup);
    } catch (const IoError& problem) {
        host.log("No playlist: " + markupLiteral(problem.what()));
        return source;
    }
    source.playing = source.titles->playing;
    const playlist::Title* title = source.title();
    if (!title) {
        host.log("No title of the playlist plays " + markupLiteral(lookup) + ".");
        return source;
    }
    host.log("Title: " + markupLiteral(playlist::titleCaption(*title)));
    if (!cont) return source;
    // The input's clip, then the clips after it in playing order.
    std::size_t at = 0;
    while (at < title->clips.size() && !playlist::containsName(title->clips[at].src, lookup)) ++at;
    for (std::size_t next = at + 1; next < title->clips.size(); ++next) {
        const playlist::Clip& clip = title->clips[next];
        if (!clip.exists) {
            const std::string name = clip.file.empty() ? clip.src : clip.file.filename().string();
            error = name + ", the next clip of " + playlist::titleCaption(*title) +
                    ", is not on the disc (without the follow-on files the Matroska file holds " +
                    input.filename().string() + " alone)";
            host.log(errorLine(error));
            return std::nullopt;
        }
        source.followOn.push_back(clip.file);
    }
    return source;
}

DiscTitle featureTitle(const fs::path& input, const FeatureSource& source, bool cont) {
    const playlist::Title* title = source.title();
    if (!title) return followOnTitle(input, cont);
    std::vector<fs::path> files{input};
    files.insert(files.end(), source.followOn.begin(), source.followOn.end());
    // The title's name and tracks, over the files from the input on.
    DiscTitle feature = playlist::discTitleOf(*source.titles, *title);
    feature.ranges = titleOfFiles(files).ranges;
    return feature;
}

fs::path mkvOutputPath(const DiscTitle& title, const RunOptions& options) {
    return titleOutputFolder(title, options.workdir) / (titleBaseName(title) + ".mkv");
}

RunResult mkvRun(const MkvJob& job, RunState& state, const RunOptions& options,
                 const std::array<std::string, kSlotCount>& captions, EngineHost& host) {
    RunResult result;
    const fs::path program = findProgram(kMkvmerge);
    if (program.empty()) return failed(host, result, mkvmergeMissing());
    std::error_code error;
    // mkvmerge takes file names as given; absolute ones can never read as options.
    const fs::path output = fs::absolute(job.output, error);
    if (error)
        return failed(host, result, "Cannot use " + job.output.string() + ": " + error.message());
    if (const std::string problem = outputProblem(output, job); !problem.empty())
        return failed(host, result, problem);
    fs::create_directories(output.parent_path(), error);
    if (error)
        return failed(host, result,
                      "Cannot create the folder of " + output.string() + ": " + error.message());

    try {
        WorkFolder work(output, job.keep);
        RunOptions demux = options;
        demux.workdir = work.path();
        demux.lpcmAsWav = true;
        // A DVD title's subpictures keep the disc's own bitmaps (VobSub, in the title's
        // palette) unless PGS is asked for; HD DVD ones, which VobSub cannot hold, are PGS.
        demux.subsAsVobsub = job.title.palette.has_value() && !options.subsAsPgs;
        demux.subsAsPgs = !demux.subsAsVobsub;
        demux.closeRun = false;  // the demux is a step: "Done." comes when the file is whole
        const RunResult demuxed = demuxRun(job.title, state, demux, captions, host);
        if (demuxed.outcome != RunOutcome::Done) return demuxed;
        result.inputs = demuxed.inputs;
        result.problems = demuxed.problems;

        const auto inputs = demuxedFiles(demuxed, titleBaseName(job.title), captions, state, host);
        if (inputs.empty()) return failed(host, result, "No stream was written to mux");
        // A title from a disc's own tables (a DVD's IFO) brings its chapters and languages; a
        // file's title gets them from the HD DVD playlist that plays it.
        const bool fromTables = !job.source.title() && !job.title.tracks.empty();
        const fs::path chapters =
            fromTables ? writeDiscChapters(job.title, work.path(), host)
                       : writeChapters(job.source, job.title.files(), work.path(), host);
        const DiscTitle* named = job.source.title() || fromTables ? &job.title : nullptr;
        const MuxPlan plan = planMux(inputs, named, fs::path(".") / kMuxedFile, chapters);
        writeText(work.path() / kOptionFile, optionFile(mkvmergeArguments(plan)));

        host.log("Muxing [b]" + literalName(output) + "[/b] with mkvmerge");
        host.slog("Muxing " + escapeControls(output.filename().string()), 0);
        const MkvmergeResult muxed =
            runMkvmerge(program, work.path(), kOptionFile, host, state.stopFlag);
        if (muxed.ending == MkvmergeEnding::Stopped) {
            endRun(host, state, true);
            result.outcome = RunOutcome::Cancelled;
            return result;
        }
        if (muxed.ending == MkvmergeEnding::Failed) return failed(host, result, muxed.error);
        fs::rename(work.path() / kMuxedFile, output);  // whole: now it takes its name
        const uint64_t size = fs::file_size(output, error);
        host.log("Written " + markupLiteral(output.string()) + " (" + std::to_string(size / kMiB) +
                 " Mbytes, " + std::to_string(plan.tracks.size()) + " tracks).");
        if (muxed.warnings > 0)
            host.log("[bl]mkvmerge gave " + std::to_string(muxed.warnings) +
                     (muxed.warnings == 1 ? " warning" : " warnings") + ": check the file.[/bl]");
        if (job.keep) host.log("Intermediate files kept in " + markupLiteral(work.path().string()));
        for (const StreamProblem& problem : result.problems) host.log(problemLine(problem));
        endRun(host, state, false);
        result.outputs.push_back(OutputWritten{output, size});
        return result;
    } catch (const IoError& e) {
        return failed(host, result, e.what());
    } catch (const fs::filesystem_error& e) {
        return failed(host, result, e.what());
    }
}

}  // namespace kavrel::mux
