// Subpicture decoding: the generator's units decode to the pictures it drew; damaged units,
// files and payload runs are passed over with one log line and never read outside the unit;
// captions take their ends from the units after.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "formats/caption_timeline.h"
#include "formats/subpicture_unit.h"
#include "formats/sup_file.h"
#include "formats/unit_assembler.h"
#include "tests/support/bit_writer.h"
#include "tests/support/test_support.h"
#include "tools/mkdisc/subpicture.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using formats::DecodedUnit;
using formats::SupReader;
using Bytes = std::vector<uint8_t>;

struct Lines {
    std::vector<std::string> lines;
    formats::MessageLog log() {
        return [this](const std::string& line) { lines.push_back(line); };
    }
};

void set16(Bytes& b, std::size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void set32(Bytes& b, std::size_t at, uint32_t v) {
    set16(b, at, v >> 16);
    set16(b, at + 2, v);
}
void append(Bytes& b, std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
}
Bytes entry(uint32_t pts, const Bytes& unit) {
    Bytes b{'S',
            'P',
            static_cast<uint8_t>(pts),
            static_cast<uint8_t>(pts >> 8),
            static_cast<uint8_t>(pts >> 16),
            static_cast<uint8_t>(pts >> 24),
            0,
            0,
            0,
            0};
    b.insert(b.end(), unit.begin(), unit.end());
    return b;
}

// The subpicture .sup files of the sample disc, each once, with the codec of its stream.
std::map<fs::path, mkdisc::Codec> subpictureFiles() {
    std::map<fs::path, mkdisc::Codec> files;
    for (const auto& e : sampleDisc().streams)
        if (e.kind == "subpicture")
            files[e.expected] = e.caption.starts_with("Ext.") ? mkdisc::Codec::ExtSubpicture
                                                              : mkdisc::Codec::Subpicture;
    return files;
}

uint64_t unitsIn(const fs::path& expected) {
    uint64_t units = 0;
    for (const auto& e : sampleDisc().streams)
        if (e.expected == expected) units += e.units;
    return units;
}

void expectDrawn(const DecodedUnit& u, const mkdisc::DrawnSubpicture& p, bool hd) {
    EXPECT_EQ(u.form, hd ? formats::UnitForm::HdDvd : formats::UnitForm::Dvd);
    EXPECT_EQ(u.bitmap.x, p.x);
    EXPECT_EQ(u.bitmap.y, p.y);
    ASSERT_EQ(u.bitmap.width, p.width);
    ASSERT_EQ(u.bitmap.height, p.height);
    const auto mismatch = std::mismatch(u.bitmap.pixels.begin(), u.bitmap.pixels.end(),
                                        p.pixels.begin(), p.pixels.end());
    EXPECT_TRUE(mismatch.first == u.bitmap.pixels.end())
        << "first wrong pixel at " << (mismatch.first - u.bitmap.pixels.begin());
    for (std::size_t i = 0; i < 256; ++i) {
        const formats::PaletteColour& c = u.palette[i];
        if (hd) {
            const formats::PaletteColour drawn{p.ycrcb[3 * i], p.ycrcb[3 * i + 1],
                                               p.ycrcb[3 * i + 2],
                                               static_cast<uint8_t>(255 - p.alpha[i])};
            EXPECT_EQ(c, drawn) << "palette entry " << i;
        } else if (i < 4) {
            EXPECT_EQ(c.alpha, p.contrast[i] * 17) << "contrast of pixel value " << i;
            EXPECT_EQ(c.y, formats::greyPalette()[i].y);
        }
    }
    EXPECT_EQ(u.start, p.startDelay * 1024u);
    EXPECT_EQ(u.stop, p.stopDelay * 1024u);
    EXPECT_EQ(u.forced, p.forced);
}

TEST(SubpictureDecode, GeneratorUnitsGiveThePicturesDrawn) {
    for (const auto& [path, codec] : subpictureFiles()) {
        SCOPED_TRACE(path.filename().string());
        const Bytes file = readFile(path);
        Lines log;
        SupReader reader(file, log.log());
        formats::SubpictureDecoder decoder(log.log());
        uint64_t index = 0;
        while (auto e = reader.next()) {
            SCOPED_TRACE("unit " + std::to_string(index));
            const auto unit = decoder.decode(e->unit, e->pts);
            ASSERT_TRUE(unit.has_value());
            expectDrawn(*unit, mkdisc::drawSubpicture(codec, index++),
                        codec == mkdisc::Codec::ExtSubpicture);
        }
        EXPECT_EQ(index, unitsIn(path));
        EXPECT_EQ(reader.damaged(), 0u);
        // DVD colours are unknown without the disc's palette: said once, nothing else.
        EXPECT_EQ(log.lines.size(), codec == mkdisc::Codec::Subpicture ? 1u : 0u);
    }
}

// A small HD DVD unit: 4 × 2 pixels at (100, 200), line 0 of colour 1 in a 2-bit run, line 1 of
// colour 5 in an 8-bit run, shown at once and stopped 200 delay units later.
struct TinyUnit {
    Bytes bytes;
    std::size_t first = 0, second = 0, area = 0, fields = 0;
};

TinyUnit tinyHdUnit() {
    TinyUnit t;
    Bytes& b = t.bytes;
    b = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    BitWriter top, bottom;
    top.put(0b1'0'01'0'010, 8);            // run, 2-bit colour 1, short length 4
    bottom.put(0b1'1'00000101'0'010, 14);  // run, 8-bit colour 5, short length 4
    b.insert(b.end(), top.bytes.begin(), top.bytes.end());
    b.insert(b.end(), bottom.bytes.begin(), bottom.bytes.end());
    t.first = b.size();
    append(b, {0, 0, 0, 0, 0, 0});
    b.push_back(0x83);
    for (int i = 0; i < 256; ++i) append(b, {static_cast<uint8_t>(i), 128, 128});
    b.push_back(0x84);
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i == 0 ? 255 : 0));
    t.area = b.size() + 1;
    append(b, {0x85, 0x06, 0x40, 0x67, 0x0C, 0x80, 0xC9});  // x 100–103, y 200–201
    t.fields = b.size() + 1;
    append(b, {0x86, 0, 0, 0, 10, 0, 0, 0, 11});
    append(b, {0x01, 0xFF});
    t.second = b.size();
    append(b, {0x00, 0xC8, 0, 0, 0, 0, 0x02, 0xFF});
    set32(b, t.first + 2, static_cast<uint32_t>(t.second));
    set32(b, t.second + 2, static_cast<uint32_t>(t.second));
    set32(b, 2, static_cast<uint32_t>(b.size()));
    set32(b, 6, static_cast<uint32_t>(t.first));
    return t;
}

// The same picture as a DVD unit: line 0 two runs of pixel value 1 (nibble codes), line 1 one
// run of value 2 to the end of the line.
TinyUnit tinyDvdUnit() {
    TinyUnit t;
    Bytes& b = t.bytes;
    b = {0, 0, 0, 0, 0x5D, 0x00, 0x02};  // top: 1 pixel, 3 pixels; bottom: to the end
    t.first = b.size();
    append(b, {0, 0, 0, 0, 0x03, 0x32, 0x10, 0x04, 0xFF, 0xF0});
    t.area = b.size() + 1;
    append(b, {0x05, 0x06, 0x40, 0x67, 0x0C, 0x80, 0xC9});
    t.fields = b.size() + 1;
    append(b, {0x06, 0, 4, 0, 5, 0x01, 0xFF});
    t.second = b.size();
    append(b, {0x00, 0xC8, 0, 0, 0x02, 0xFF});
    set16(b, t.first + 2, static_cast<uint32_t>(t.second));
    set16(b, t.second + 2, static_cast<uint32_t>(t.second));
    set16(b, 0, static_cast<uint32_t>(b.size()));
    set16(b, 2, static_cast<uint32_t>(t.first));
    return t;
}

TEST(SubpictureDecode, DamagedUnitsAreSkippedWithOneLine) {
    for (const bool hd : {true, false}) {  // whole, they decode
        formats::SubpictureDecoder decoder(nullptr);
        const auto u = decoder.decode((hd ? tinyHdUnit() : tinyDvdUnit()).bytes, 0);
        ASSERT_TRUE(u.has_value());
        const Bytes pixels = hd ? Bytes{1, 1, 1, 1, 5, 5, 5, 5} : Bytes{1, 1, 1, 1, 2, 2, 2, 2};
        EXPECT_EQ(u->bitmap, (formats::Bitmap{100, 200, 4, 2, pixels}));
        EXPECT_EQ(u->stop, 200u * 1024);
        EXPECT_EQ(u->palette[0].alpha + u->palette[1].alpha, 255);  // 0 transparent, 1 opaque
    }
    struct Case {
        const char* name;
        std::function<void(TinyUnit&)> damage;
        bool hd = true;
    };
    const std::vector<Case> cases = {
        {"cut short", [](TinyUnit& t) { t.bytes.pop_back(); }},
        {"empty", [](TinyUnit& t) { t.bytes.clear(); }},
        {"size field too large", [](TinyUnit& t) { set32(t.bytes, 2, 0x7FFFFFFF); }},
        {"first sequence past the end", [](TinyUnit& t) { set32(t.bytes, 6, 5000); }},
        {"sequences loop",
         [](TinyUnit& t) { set32(t.bytes, t.second + 2, static_cast<uint32_t>(t.first)); }},
        {"next sequence past the end", [](TinyUnit& t) { set32(t.bytes, t.first + 2, 99999); }},
        {"no end mark", [](TinyUnit& t) { t.bytes.back() = 0x02; }},
        {"unknown command", [](TinyUnit& t) { t.bytes[t.second + 6] = 0x42; }},
        {"area wider than the frame", [](TinyUnit& t) { t.bytes[t.area + 1] = 0xFF; }},
        {"area ends before it begins", [](TinyUnit& t) { t.bytes[t.area] = 0x40; }},
        {"field offset past the end", [](TinyUnit& t) { t.bytes[t.fields + 2] = 0xF0; }},
        // The bottom field starts on its last byte: its run needs more bits than are left.
        {"runs past the field", [](TinyUnit& t) { t.bytes[t.fields + 7] = 12; }},
        {"no area",  // the area command and its parameters become start commands
         [](TinyUnit& t) { std::fill_n(t.bytes.begin() + t.area - 1, 7, 0x01); }},
        {"DVD: sequences loop",
         [](TinyUnit& t) { set16(t.bytes, t.second + 2, static_cast<uint32_t>(t.first)); }, false},
        {"DVD: HD DVD command", [](TinyUnit& t) { t.bytes[t.second + 4] = 0x83; }, false},
        {"DVD: runs past the field", [](TinyUnit& t) { t.bytes[t.fields + 3] = 6; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TinyUnit t = c.hd ? tinyHdUnit() : tinyDvdUnit();
        c.damage(t);
        // A copy of exactly the unit's bytes, so that a read past its end shows under ASan.
        const Bytes unit = t.bytes;
        Lines log;
        formats::SubpictureDecoder decoder(log.log());
        EXPECT_FALSE(decoder.decode(unit, 90000).has_value());
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_TRUE(log.lines[0].starts_with("Subpicture unit at 0:00:01.000 skipped: "))
            << log.lines[0];
        EXPECT_EQ(decoder.skipped(), 1u);
    }
}

TEST(SubpictureFile, DamageIsPassedOverToTheNextEntry) {
    const Bytes a = tinyHdUnit().bytes, b = tinyDvdUnit().bytes;
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    Bytes cutB = entry(300, b);
    cutB.resize(cutB.size() - 4);
    Bytes zeroSize = entry(200, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    struct Case {
        const char* name;
        Bytes file;
        std::vector<uint32_t> times;  // of the units read
        uint64_t damaged;
        std::size_t notes = 0;  // log lines besides the damage
    };
    const std::vector<Case> cases = {
        {"whole", join({entry(100, a), entry(200, b)}), {100, 200}, 0},
        {"garbage between entries",
         join({entry(100, a), Bytes(37, 0xEE), entry(200, b)}),
         {100, 200},
         1},
        {"garbage first", join({Bytes(5, 'S'), entry(100, a)}), {100}, 1},
        {"a unit without a header of its own",
         join({entry(100, a), b, entry(300, a)}),
         {100, 100, 300},
         0,
         1},
        {"last unit cut short", join({entry(100, a), cutB}), {100}, 1},
        {"a unit of size zero", join({zeroSize, entry(300, a)}), {300}, 1},
        {"headers only", join({entry(1, {}), entry(2, {}), entry(3, {})}), {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lines log;
        SupReader reader(c.file, log.log());
        std::vector<uint32_t> times;
        while (auto e = reader.next()) {
            times.push_back(e->pts);
            ASSERT_LE(e->offset + e->unit.size(), c.file.size());
        }
        EXPECT_EQ(times, c.times);
        EXPECT_EQ(reader.damaged(), c.damaged);
        EXPECT_EQ(log.lines.size(), c.damaged + c.notes);
    }
}

TEST(SubpictureFile, PayloadRunsWithDamage) {
    const Bytes a = tinyHdUnit().bytes;
    Lines log;
    std::vector<uint32_t> times;
    formats::UnitAssembler assembler(
        [&](std::span<const uint8_t> unit, uint32_t pts) {
            EXPECT_EQ(Bytes(unit.begin(), unit.end()), a);
            times.push_back(pts);
        },
        log.log());
    const std::span<const uint8_t> all(a);
    assembler.payload(all.first(100), std::nullopt);  // before any time stamp: dropped
    assembler.payload(all.first(100), 1000);          // cut short by the next unit
    assembler.payload(all.first(100), 2000);
    assembler.payload(all.subspan(100, 100), 2000);  // the same time again: a continuation
    assembler.payload(all.subspan(200), std::nullopt);
    assembler.payload(std::span<const uint8_t>(Bytes{0, 0, 0, 0, 0, 1}), 3000);  // wrong size
    assembler.payload(all, std::nullopt);  // the rest of that packet is passed over
    assembler.payload(all.first(50), 4000);
    assembler.finish();  // the stream ends inside the unit
    EXPECT_EQ(times, std::vector<uint32_t>{2000});
    EXPECT_EQ(assembler.dropped(), 3u);
    EXPECT_EQ(log.lines.size(), 3u);
}

TEST(CaptionTimeline, EndsComeFromStopsAndFromTheUnitsAfter) {
    struct Unit {
        uint32_t pts;
        std::optional<uint32_t> start, stop;
    };
    struct Shown {
        uint32_t start;
        std::optional<uint32_t> end;
        bool replaced;
        bool operator==(const Shown&) const = default;
    };
    struct Case {
        const char* name;
        std::vector<Unit> units;
        std::vector<Shown> captions;
        std::size_t lines = 0;
    };
    const std::vector<Case> cases = {
        {"start and stop",
         {{1000, 0, 2048}, {9000, 1024, 4096}},
         {{1000, 3048, false}, {10024, 13096, false}}},
        {"no stop: ends where the next starts",
         {{1000, 0, {}}, {5000, 0, 3000}},
         {{1000, 5000, true}, {5000, 8000, false}}},
        {"a stop-only unit ends the caption before",
         {{1000, 0, {}}, {4000, {}, 100}},
         {{1000, 4100, false}}},
        {"a stop after the next start",
         {{1000, 0, 9000}, {5000, 0, 100}},
         {{1000, 5000, true}, {5000, 5100, false}}},
        {"a stop before the start is no end", {{1000, 500, 100}}, {{1500, {}, false}}},
        {"out of order",
         {{5000, 0, 100}, {1000, 0, 100}, {7000, 0, 100}},
         {{5000, 5100, false}, {7000, 7100, false}},
         1},
        {"a wild time costs its own caption only",
         {{4212000000, 0, 100}, {1000, 0, 100}, {3000, 0, 100}, {5000, 0, 100}},
         {{1000, 1100, false}, {3000, 3100, false}, {5000, 5100, false}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lines log;
        std::vector<Shown> shown;
        formats::CaptionTimeline timeline(
            [&](formats::Caption&& caption) {
                shown.push_back({caption.start, caption.end, caption.replacedByNext});
            },
            log.log());
        for (const Unit& u : c.units) {
            DecodedUnit d;
            d.start = u.start;
            d.stop = u.stop;
            timeline.unit(std::move(d), u.pts);
        }
        timeline.finish();
        EXPECT_EQ(shown, c.captions);
        EXPECT_EQ(log.lines.size(), c.lines);
    }
}

}  // namespace
}  // namespace kavrel::test
