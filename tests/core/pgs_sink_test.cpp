// The PGS sink on damaged, cut and unwritable streams (its captions and times against the subs
// command are checked by the CLI tests).
#include <gtest/gtest.h>

#include <map>

#include "engine/io.h"
#include "engine/sinks.h"
#include "formats/sup_file.h"
#include "tests/support/test_support.h"

namespace kavrel::test {
namespace {

using Bytes = std::vector<uint8_t>;
struct Unit {
    Bytes bytes;
    uint32_t pts;
};

// The HD DVD units of the sample feature's extended subpicture stream.
std::vector<Unit> featureUnits() {
    const Bytes file =
        readFile(sampleDisc().expectedDir / "FEATURE_1_FEATURE_2.Ext.Subpicture.01.sup");
    std::vector<Unit> units;
    formats::SupReader reader(file, nullptr);
    while (auto e = reader.next()) units.push_back({Bytes(e->unit.begin(), e->unit.end()), e->pts});
    return units;
}

// Memory whose write number `tear` gets half its bytes and fails.
class MemoryOutput : public ByteOutput {
  public:
    MemoryOutput(Bytes& data, int tear) : data_(data), tear_(tear) {}
    void write(const uint8_t* data, std::size_t size) override {
        const bool torn = --tear_ == 0;
        data_.insert(data_.end(), data, data + (torn ? size / 2 : size));
        if (torn) throw IoError("Cannot write: No space left on device");
    }
    void close() override {}
    uint64_t written() const override { return data_.size(); }

  private:
    Bytes& data_;
    int tear_;
};

// A PGS sink of a run whose first PTS is 1000, writing to out.
std::unique_ptr<StreamSink> pgsSink(Bytes& out, EngineHost* host, int tear = 0) {
    RunOptions options;
    options.subsAsPgs = true;
    const SinkContext context{.minFirstPts = 1000, .host = host};
    return makeSink({subSlot(1), StreamKind::Subpicture, 0x61, "x.sup"}, options, context,
                    [&](const auto&) { return std::make_unique<MemoryOutput>(out, tear); });
}
// The units as a demux hands them (packets of 700 bytes, the first with the unit's PTS); the
// last unit only up to cutLast bytes; then the run's end.
void feed(StreamSink& sink, const std::vector<Unit>& units, std::size_t cutLast = 0) {
    for (const Unit& u : units) {
        std::span<const uint8_t> bytes(u.bytes);
        if (cutLast && &u == &units.back()) bytes = bytes.first(cutLast);
        for (std::size_t at = 0; at < bytes.size(); at += 700)
            sink.packet({bytes.subspan(at, std::min<std::size_t>(700, bytes.size() - at)),
                         at == 0,
                         at == 0,
                         u.pts + 1000,
                         {}});
    }
    sink.finish();
}

TEST(PgsSink, DamagedAndCutUnitsAreSkippedWithALineNamingTheStream) {
    std::vector<Unit> units = featureUnits();
    ASSERT_GE(units.size(), 4u);
    units[1].bytes[9] = 0xFF;  // its first control sequence lies past its end
    RecordingHost host;
    Bytes pgs;
    feed(*pgsSink(pgs, &host), units, units.back().bytes.size() / 2);  // cancelled in the last
    ASSERT_EQ(host.lines.size(), 2u) << host.text();
    for (const std::string& line : host.lines)
        EXPECT_TRUE(line.starts_with("Ext.Subpicture.01: Subpicture unit at ")) << line;
    EXPECT_TRUE(host.lines[1].ends_with("skipped: the stream ends inside it.")) << host.lines[1];

    // The other captions are written as they are without those two units: whole display sets.
    units.pop_back();
    units.erase(units.begin() + 1);
    Bytes rest;
    feed(*pgsSink(rest, nullptr), units);
    EXPECT_EQ(pgs, rest);
}

// DVD units name colours of the title's palette: with the disc title known, the PGS palette
// holds those colours (BT.601 yellow, d29210, for every entry), else the grey roles.
// The DVD units of the sample disc's VOB.
std::vector<Unit> dvdUnits() {
    std::vector<Unit> units;
    for (const auto& e : sampleDisc().streams)
        if (e.file == "VTS_01_1.VOB" && e.kind == "subpicture") {
            const Bytes file = readFile(e.expected);
            formats::SupReader reader(file, nullptr);
            while (auto u = reader.next())
                units.push_back({Bytes(u->unit.begin(), u->unit.end()), u->pts});
        }
    return units;
}

TEST(PgsSink, DvdUnitsTakeTheColoursOfTheTitlesPalette) {
    const std::vector<Unit> units = dvdUnits();
    ASSERT_FALSE(units.empty());
    DiscTitle title;
    title.palette.emplace().fill(0xFFFF00);
    for (const bool known : {true, false}) {
        RunOptions options;
        options.subsAsPgs = true;
        const SinkContext context{.minFirstPts = 1000, .title = known ? &title : nullptr};
        Bytes pgs;
        feed(*makeSink({subSlot(0), StreamKind::Subpicture, 0x20, "x.sup"}, options, context,
                       [&](const auto&) { return std::make_unique<MemoryOutput>(pgs, 0); }),
             units);
        int opaque = 0;
        for (std::size_t at = 0; at + 13 <= pgs.size();
             at += 13 + (pgs[at + 11] << 8 | pgs[at + 12])) {
            if (pgs[at + 10] != 0x14) continue;  // palette definition: id, Y, Cr, Cb, alpha
            const std::size_t end = at + 13 + (pgs[at + 11] << 8 | pgs[at + 12]);
            for (std::size_t e = at + 15; e + 5 <= end; e += 5) {
                if (pgs[e + 4] == 0) continue;
                ++opaque;
                const Bytes ycrcb(pgs.begin() + long(e) + 1, pgs.begin() + long(e) + 4);
                const Bytes expected = known ? Bytes{210, 146, 16} : Bytes{ycrcb[0], 128, 128};
                EXPECT_EQ(ycrcb, expected);
            }
        }
        EXPECT_GT(opaque, 0);
    }
}

// The VobSub sink counts a unit cut short as the PGS sink does; its index names the whole ones.
TEST(PgsSink, VobsubCountsAUnitCutShort) {
    const std::vector<Unit> units = dvdUnits();
    ASSERT_GE(units.size(), 2u);
    RunOptions options;
    options.subsAsVobsub = true;
    std::map<std::string, Bytes> files;  // by extension
    auto sink =
        makeSink({subSlot(0), StreamKind::Subpicture, 0x20, "x.sub"}, options,
                 {.minFirstPts = 1000}, [&](const std::filesystem::path& path) {
                     return std::make_unique<MemoryOutput>(files[path.extension().string()], 0);
                 });
    feed(*sink, units, units.back().bytes.size() / 2);
    EXPECT_EQ(sink->damage().count, 1u);
    const std::string idx(files[".idx"].begin(), files[".idx"].end());
    std::size_t named = 0;
    for (std::size_t at = idx.find("timestamp:"); at != std::string::npos;
         at = idx.find("timestamp:", at + 1))
        ++named;
    EXPECT_EQ(named, units.size() - 1);
}

TEST(PgsSink, NothingIsWrittenAfterATornDisplaySet) {
    Bytes out;
    auto sink = pgsSink(out, nullptr, 2);
    EXPECT_THROW(feed(*sink, featureUnits()), IoError);
    const std::size_t torn = out.size();
    sink->finish();  // the run's end: the caption whose set was torn is not written again
    EXPECT_EQ(out.size(), torn);
}

}  // namespace
}  // namespace kavrel::test
