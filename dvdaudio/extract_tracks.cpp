#include "dvdaudio/extract_tracks.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "dvdaudio/aob_packets.h"
#include "engine/io.h"
#include "engine/lpcm_wav_sink.h"
#include "engine/markup.h"
#include "engine/pes_header.h"
#include "engine/runs.h"
#include "engine/timefmt.h"
#include "formats/aob_lpcm.h"

namespace kavrel::dvdaudio {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadBytes = 128 * kPackSize;

std::string twoDigits(int n) {
    return std::string(n < 10 ? "0" : "") + std::to_string(n);
}

std::string trackName(const DiscAudioTitle& title, std::size_t index) {
    return "title " + std::to_string(title.number) + " track " +
           std::to_string(title.tracks[index].track.number);
}

bool sameFormat(const TrackFormat& table, const formats::AobLpcmFormat& packet) {
    return table.bits == packet.bits && table.sampleRate == packet.sampleRate &&
           table.assignment == packet.assignment;
}

// The files of one title's chosen tracks, fed with the title's audio as it is read.
class TitleWriter {
  public:
    TitleWriter(const DiscAudioTitle& title, const ExtractOptions& options,
                const std::vector<fs::path>& inputs, EngineHost& host, RunResult& result)
        : title_(title), options_(options), inputs_(inputs), host_(host), result_(result) {
        uint64_t at = 0;
        for (const DiscTrack& track : title.tracks) {
            trackStart_.push_back(at);
            for (const ByteRange& range : track.ranges) at += range.length;
        }
        closed_.assign(title.tracks.size(), false);
    }

    bool chosen(std::size_t index) const {
        return options_.tracks.empty() ||
               options_.tracks.count({title_.number, title_.tracks[index].track.number});
    }
    // Whether every chosen track is written, so the rest of the title need not be read.
    bool complete() const {
        for (std::size_t k = 0; k < title_.tracks.size(); ++k)
            if (chosen(k) && !closed_[k]) return false;
        return true;
    }

    // One pack's audio; `at` is the pack's place in the title's bytes.
    void packet(const AudioPacket& packet, uint64_t at) {
        if (packet.substream == kMlpSubstream) return mlp(packet, at);
        const auto format = formats::aobLpcmFormat(packet.privateHeader);
        if (!format && !converter_) return;                                // nothing to go by yet
        if (converter_ && trackIndex_[0] >= title_.tracks.size()) return;  // past the last track
        if (format && converter_ && *format != format_) {
            // A new format can only begin the next track, in the format the table gives it;
            // any other is a damaged header, and the packet's audio goes on in the format in use.
            const std::size_t next = trackIndex_[0] + 1;
            if (next < title_.tracks.size() &&
                sameFormat(title_.tracks[next].track.format, *format)) {
                host_.log("The LPCM format changes inside " + trackName(title_, trackIndex_[0]) +
                          "; the next track begins there.");
                close(trackIndex_[0]);
                converter_.reset();
                base_ = next;
            }
        }
        if (!converter_) start(*format);
        for (auto& samples : samples_) samples.clear();
        converter_->convert(packet.audio, samples_);
        for (std::size_t o = 0; o < converter_->outputCount(); ++o) distribute(o, samples_[o]);
    }

    // The title's audio ended: the chosen tracks not complete are closed with what they hold.
    void end() {
        if (!converter_ && !mlpSeen_)
            throw IoError("Title " + std::to_string(title_.number) +
                          " holds no LPCM or MLP audio in its sectors");
        for (std::size_t k = 0; k < title_.tracks.size(); ++k) {
            if (!chosen(k) || closed_[k]) continue;
            if (converter_ && k >= base_) {
                open(k);
                const uint64_t start = k > base_ ? ends_[0][k - 1] : 0;
                const uint64_t have =
                    seen_[0] > start ? std::min(seen_[0], ends_[0][k]) - start : 0;
                if (have < ends_[0][k] - start)
                    host_.log("The audio of " + trackName(title_, k) + " ends " +
                              std::to_string(ends_[0][k] - start - have) +
                              " sample frames before its length.");
            }
            close(k);
        }
    }

    // A stop: the files of the tracks not complete are removed.
    void discard() {
        for (auto& [k, files] : open_) {
            for (std::size_t o = 0; o < files.size(); ++o) {
                if (!files[o]) continue;
                const fs::path path = paths_[k][o];
                files[o].reset();
                std::error_code ec;
                fs::remove(path, ec);
            }
        }
        open_.clear();
    }

    // After a failure: what the open files hold is kept and completed where it can be.
    void keepOpen() {
        for (std::size_t k = 0; k < title_.tracks.size(); ++k) {
            try {
                close(k);
            } catch (const std::exception&) {
            }
        }
    }

  private:
    using Files = std::array<std::unique_ptr<TrackFile>, 2>;

    void start(const formats::AobLpcmFormat& format) {
        format_ = format;
        converter_.emplace(format);
        seen_ = {0, 0};
        // Where each track ends, in sample frames of each output from the new format's start.
        for (std::size_t o = 0; o < converter_->outputCount(); ++o) {
            ends_[o].assign(title_.tracks.size(), 0);
            uint64_t end = 0;
            for (std::size_t k = base_; k < title_.tracks.size(); ++k) {
                end += title_.tracks[k].track.frames(converter_->wav(o).sampleRate);
                ends_[o][k] = end;
            }
            trackIndex_[o] = base_;
        }
    }

    void distribute(std::size_t o, const std::vector<uint8_t>& samples) {
        const std::size_t stride = converter_->wav(o).blockAlign();
        std::size_t frames = samples.size() / stride;
        const uint8_t* data = samples.data();
        while (frames > 0 && trackIndex_[o] < title_.tracks.size()) {
            const std::size_t k = trackIndex_[o];
            const uint64_t n = std::min<uint64_t>(frames, ends_[o][k] - seen_[o]);
            if (n > 0 && chosen(k)) {
                open(k);
                open_[k][o]->append({data, static_cast<std::size_t>(n) * stride});
            }
            data += n * stride;
            frames -= static_cast<std::size_t>(n);
            seen_[o] += n;
            if (seen_[o] == ends_[o][k]) {
                ++trackIndex_[o];
                // A track is complete when every output has passed it.
                bool all = true;
                for (std::size_t p = 0; p < converter_->outputCount(); ++p)
                    all = all && trackIndex_[p] > k;
                if (all) close(k);
            }
        }
    }

    void mlp(const AudioPacket& packet, uint64_t at) {
        mlpSeen_ = true;
        const auto later = std::upper_bound(trackStart_.begin(), trackStart_.end(), at);
        const auto k = static_cast<std::size_t>(later - trackStart_.begin()) - 1;
        for (std::size_t before = 0; before < k; ++before) close(before);
        if (!chosen(k)) return;
        open(k, true);
        open_[k][0]->append(packet.audio);
    }

    void open(std::size_t k, bool raw = false) {
        if (open_.count(k) || closed_[k]) return;
        const DiscTrack& track = title_.tracks[k];
        const std::string stem = trackFileStem(title_.number, track.track.number);
        const bool flac = options_.format == TrackFileFormat::Flac;
        fs::path path = options_.folder / (stem + (raw ? ".mlp" : flac ? ".flac" : ".wav"));
        const std::size_t outputs = raw ? 1 : converter_->outputCount();
        const TrackTags tags{track.track.number, static_cast<int>(title_.tracks.size()),
                             title_.group};
        Files& files = open_[k];  // held at once, so that a failure closes what was made
        for (std::size_t o = 0; o < outputs; ++o) {
            const fs::path file = o == 0 ? path : group2Path(path);
            for (const fs::path& input : inputs_)
                if (sameFile(file, input))
                    throw IoError("Cannot create " + file.string() + ": it is an input file");
            host_.log("Creating " + markupLiteral(file.string()));
            host_.slog("Writing " + escapeControls(file.filename().string()), 0);
            paths_[k][o] = file;
            if (raw)
                files[o] = createRawTrack(file);
            else if (flac)
                files[o] = createFlacTrack(file, converter_->wav(o), tags);
            else
                files[o] = createWavTrack(file, converter_->wav(o));
        }
    }

    void close(std::size_t k) {
        closed_[k] = true;
        const auto it = open_.find(k);
        if (it == open_.end()) return;
        Files files = std::move(it->second);
        open_.erase(it);
        std::string firstError;
        for (std::size_t o = 0; o < files.size(); ++o) {
            if (!files[o]) continue;
            try {
                files[o]->finish();
            } catch (const std::exception& e) {
                if (firstError.empty()) firstError = e.what();
            }
            result_.outputs.push_back({paths_[k][o], files[o]->written()});
        }
        if (!firstError.empty()) throw IoError(firstError);
    }

    const DiscAudioTitle& title_;
    const ExtractOptions& options_;
    const std::vector<fs::path>& inputs_;
    EngineHost& host_;
    RunResult& result_;
    std::vector<uint64_t> trackStart_;  // each track's first byte in the title
    std::optional<formats::AobLpcmToWav> converter_;
    formats::AobLpcmFormat format_;
    std::array<std::vector<uint8_t>, 2> samples_;
    std::size_t base_ = 0;  // the track the format in use began with
    std::array<std::vector<uint64_t>, 2> ends_;
    std::array<uint64_t, 2> seen_{};
    std::array<std::size_t, 2> trackIndex_{};
    bool mlpSeen_ = false;
    std::map<std::size_t, Files> open_;
    std::map<std::size_t, std::array<fs::path, 2>> paths_;
    std::vector<bool> closed_;  // by track: done with
};

// The audio objects of a title set without a usable track table, demuxed whole as a plain
// demux writes them: every stream, LPCM as WAV (a new file at each change of format).
RunOutcome writeWholeSet(const DamagedTitleSet& set, const ExtractOptions& options, RunState& state,
                         EngineHost& host, RunResult& result) {
    const bool flac = options.format == TrackFileFormat::Flac;
    if (set.objects.empty()) {
        host.log(set.problem + ", and the title set has no AOB file: nothing of it is written.");
        return RunOutcome::Done;
    }
    host.log(set.problem + "; the AOB files are written whole" + (flac ? ", as WAV." : "."));
    DiscTitle whole;
    whole.ranges = set.objects;
    RunOptions run;
    run.workdir = options.folder;
    // Outputs are named after the first file read: in an image, that is the image for every
    // title set, so each set's go to a folder of its own.
    if (set.objects.front().file.filename().string().rfind("ATS_", 0) != 0) {
        run.workdir /= "ATS_" + twoDigits(set.number);
        std::error_code ec;
        fs::create_directories(run.workdir, ec);
    }
    run.lpcmAsWav = true;
    run.everyStream = true;
    run.closeRun = false;  // "Done." closes the whole run
    const RunResult part = demuxRun(whole, state, run, {}, host);
    for (const fs::path& input : part.inputs) result.inputs.push_back(input);
    for (const OutputWritten& output : part.outputs) result.outputs.push_back(output);
    for (const StreamProblem& problem : part.problems) result.problems.push_back(problem);
    if (part.outcome == RunOutcome::Failed) {
        result.outcome = RunOutcome::Failed;
        result.error = part.error;
    }
    return part.outcome;
}

}  // namespace

std::string trackFileStem(int title, int track) {
    return "Title" + twoDigits(title) + "-Track" + twoDigits(track);
}

RunResult extractTracks(const AudioDisc& disc, const ExtractOptions& options, RunState& state,
                        EngineHost& host) {
    RunResult result;
    state.cancelLogged = false;
    std::vector<const DiscAudioTitle*> titles;
    uint64_t total = 0;
    for (const DiscAudioTitle& title : disc.titles) {
        bool any = false;
        for (const DiscTrack& track : title.tracks)
            any = any || options.tracks.empty() ||
                  options.tracks.count({title.number, track.track.number});
        if (!any) continue;
        titles.push_back(&title);
        total += title.discTitle().totalBytes();
        for (const fs::path& file : title.discTitle().files())
            if (std::find(result.inputs.begin(), result.inputs.end(), file) == result.inputs.end())
                result.inputs.push_back(file);
    }
    // The whole disc: the title sets without a usable track table too.
    const std::size_t wholeSets = options.tracks.empty() ? disc.damaged.size() : 0;
    bool cancelled = false;
    bool endLogged = false;  // the demux of a whole title set closed the run itself
    std::unique_ptr<TitleWriter> writer;
    try {
        if (titles.empty() && wholeSets == 0) throw IoError("No track of the disc is chosen");
        host.log("Opening disc [b]" + markupLiteral(disc.source.filename().string()) + "[/b]");
        std::vector<uint8_t> buffer;
        uint8_t* chunk = pageAlignedBlock(buffer, kReadBytes);
        host.setCancelEnabled(true);
        uint64_t done = 0;
        for (const DiscAudioTitle* title : titles) {
            host.log("Title " + std::to_string(title->number) + ": " +
                     std::to_string(title->tracks.size()) +
                     (title->tracks.size() == 1 ? " track, " : " tracks, ") +
                     formatDuration(title->seconds()));
            writer = std::make_unique<TitleWriter>(*title, options, result.inputs, host, result);
            InputFile input(title->discTitle().ranges);
            uint64_t at = 0;
            while (!writer->complete()) {
                if (state.stopFlag.load()) {
                    cancelled = true;
                    break;
                }
                const std::size_t got = input.read(chunk, kReadBytes);
                if (got == 0) break;
                for (std::size_t p = 0; p < got; p += kPackSize) {
                    const uint64_t packAt = at + p;
                    forEachAudioPacket(
                        {chunk + p, std::min(kPackSize, got - p)},
                        [&](const AudioPacket& packet) { writer->packet(packet, packAt); });
                }
                at += got;
                done += got;
                host.progress(done, total);
                host.pump();
            }
            if (cancelled) {
                writer->discard();
                break;
            }
            writer->end();
            writer.reset();
        }
        for (std::size_t s = 0; s < wholeSets && !cancelled; ++s) {
            const RunOutcome outcome = writeWholeSet(disc.damaged[s], options, state, host, result);
            if (outcome == RunOutcome::Failed) {
                host.setCancelEnabled(false);
                return result;  // the demux logged why
            }
            cancelled = outcome == RunOutcome::Cancelled;
            endLogged = cancelled;
        }
        if (!cancelled && result.outputs.empty())
            throw IoError("Nothing was written: the disc holds no audio that can be read");
        host.setCancelEnabled(false);
        if (!endLogged) {
            for (const StreamProblem& problem : result.problems) host.log(problemLine(problem));
            endRun(host, state, cancelled);
        }
        result.outcome = cancelled ? RunOutcome::Cancelled : RunOutcome::Done;
    } catch (const std::exception& e) {
        host.setCancelEnabled(false);
        if (writer) writer->keepOpen();
        result.outcome = RunOutcome::Failed;
        result.error = dynamic_cast<const std::bad_alloc*>(&e) ? "not enough memory" : e.what();
        host.log("[re]Error: " + markupLiteral(result.error) + "[/re]");
        host.slog("Ready", 0);
        host.slog("", 1);
    }
    return result;
}

}  // namespace kavrel::dvdaudio
