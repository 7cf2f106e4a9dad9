// kavrel-cli subs: decodes a subpicture .sup file, prints its captions, and writes them as a
// Blu-ray PGS file and/or as PNG pictures.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/caption_png.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "engine/io.h"
#include "engine/markup.h"
#include "engine/runs.h"
#include "formats/pgs_writer.h"
#include "formats/subpicture_stream.h"
#include "formats/sup_file.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCommand = "subs";
// A whole film's subpictures take tens of megabytes; a file far larger is not a .sup file.
constexpr uintmax_t kLargestInput = uintmax_t{1} << 30;

struct SubsOptions {
    std::string input;
    std::string pgs;
    std::string png;
    std::string size = "1920x1080";
    bool quiet = false;
};

bool parseSize(const std::string& text, uint16_t& width, uint16_t& height) {
    unsigned w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X'))
        return false;
    if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF) return false;
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    return true;
}

std::optional<std::vector<uint8_t>> readInput(const fs::path& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path.string() + " is a folder";
        return std::nullopt;
    }
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        error = "cannot open " + path.string() + ": " + ec.message();
        return std::nullopt;
    }
    if (size > kLargestInput) {
        error = path.string() + " is too large for a subpicture file";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in && !in.eof()) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));  // a file that shrank meanwhile
    return bytes;
}

}  // namespace

int subsCommand(int argc, char** argv) {
    SubsOptions o;
    CommandLine commandLine(
        kCommand, "kavrel-cli subs [OPTIONS] INPUT.sup",
        "Decode a subpicture .sup file (as demux writes it): list its captions, "
        "write them as a\nBlu-ray PGS subtitle file and/or as PNG pictures.");
    CLI::App& app = commandLine.app;
    app.add_option("--pgs", o.pgs, "write the captions as a Blu-ray PGS file")
        ->type_name("OUT.sup");
    app.add_option("--png", o.png,
                   "write each caption as DIR/NNNN_START_END.png (made when missing)")
        ->type_name("DIR");
    app.add_option("--size", o.size,
                   "video frame the PGS captions are placed on (default 1920x1080)")
        ->type_name("WxH");
    app.add_flag("-q,--quiet", o.quiet, "print no log lines");
    app.add_option("input", o.input, "the .sup file")->required()->type_name("INPUT.sup");
    if (int code = commandLine.parse(argc, argv); code >= 0) return code;
    uint16_t width = 0, height = 0;
    if (!parseSize(o.size, width, height))
        return usageError(kCommand, "--size takes WIDTHxHEIGHT, e.g. 1920x1080");

    const fs::path input = o.input;
    std::string error;
    const auto bytes = readInput(input, error);
    if (!bytes) return failure(kCommand, error);
    if (bytes->empty()) return failure(kCommand, input.string() + " is empty");
    if (!o.pgs.empty() && sameFile(o.pgs, input))
        return failure(kCommand, "cannot write " + o.pgs + ": it is the input file itself");
    if (!o.png.empty()) {
        std::error_code ec;
        fs::create_directories(o.png, ec);
        if (!fs::is_directory(o.png, ec))
            return failure(kCommand, "cannot make the folder " + o.png);
    }

    ConsoleHost host(o.quiet, false);
    RunState state;
    InterruptGuard guard(state.stopFlag);  // a stop signal ends the run between two units
    auto log = [&host](const std::string& line) { host.log(line); };
    try {
        std::unique_ptr<OutputFile> pgsFile;
        std::optional<formats::PgsWriter> pgs;
        if (!o.pgs.empty()) {
            pgsFile = std::make_unique<OutputFile>(o.pgs);
            host.log("Creating " + markupLiteral(o.pgs));
            pgs.emplace(
                width, height,
                [&pgsFile](std::span<const uint8_t> set) {
                    pgsFile->write(set.data(), set.size());
                },
                log);
        }
        std::size_t number = 0;
        formats::SubpictureStream stream(
            [&](formats::Caption&& c) {
                ++number;
                const formats::Bitmap& b = c.bitmap;
                host.log(
                    "Caption " + std::to_string(number) + ": " + formats::formatTicks(c.start) +
                    " - " + (c.end ? formats::formatTicks(*c.end) : std::string("(open)")) + ", " +
                    std::to_string(b.width) + " x " + std::to_string(b.height) + " at " +
                    std::to_string(b.x) + "," + std::to_string(b.y) + (c.forced ? ", forced" : ""));
                if (pgs) pgs->caption(c);
                if (!o.png.empty()) writeCaptionPng(c, fs::path(o.png) / captionPngName(number, c));
            },
            log);
        formats::SupReader reader(*bytes, log);
        for (auto entry = reader.next(); entry && !interrupted(); entry = reader.next())
            stream.unit(entry->unit, entry->pts);
        stream.finish();
        if (pgsFile) pgsFile->close();
        if (interrupted()) {
            host.log("Cancelled.");
            RunResult stopped;
            stopped.outcome = RunOutcome::Cancelled;
            return exitCodeFor(stopped, host, kCommand);
        }

        host.log(std::to_string(number) + (number == 1 ? " caption" : " captions") + " in " +
                 std::to_string(stream.decoder().decoded()) + " units.");
        // Damage costs the units it touches, as in a demux of the stream.
        if (const uint64_t damaged = reader.damaged() + stream.skipped()) {
            host.log(
                problemLine({"Subpicture stream 0", damaged,
                             damaged == 1 ? "damaged unit skipped" : "damaged units skipped"}));
            if (number == 0) return failure(kCommand, "no caption is left after the damage");
        }
        host.log("Done.");
    } catch (const IoError& e) {
        return failure(kCommand, e.what());
    }
    return kExitDone;
}

}  // namespace kavrel::cli
