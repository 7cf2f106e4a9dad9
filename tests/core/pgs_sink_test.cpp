// The PGS sink of a demux run on damaged, cut and unwritable streams. That its captions and
// times are those the subs command makes of the "SP" output is checked by the CLI tests.
#include <gtest/gtest.h>

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

// Memory that tears the write numbered failingWrite (half of it lands) and throws.
class MemoryOutput : public ByteOutput {
  public:
    MemoryOutput(Bytes& data, int failingWrite) : data_(data), failingWrite_(failingWrite) {}
    void write(const uint8_t* data, std::size_t size) override {
        const bool fails = ++writes_ == failingWrite_;
        data_.insert(data_.end(), data, data + (fails ? size / 2 : size));
        if (fails) throw IoError("Cannot write: No space left on device");
    }
    void close() override {}
    uint64_t written() const override { return data_.size(); }

  private:
    Bytes& data_;
    int failingWrite_;
    int writes_ = 0;
};

// Feeds units to a PGS sink as a demux would (packets of up to 700 bytes, the first with the
// unit's PTS, 1000 ticks after the run's first PTS); the last unit only up to cutLast bytes.
Bytes demuxAsPgs(const std::vector<Unit>& units, EngineHost* host, std::size_t cutLast = 0) {
    RunOptions options;
    options.subsAsPgs = true;
    SinkContext context;
    context.minFirstPts = 1000;
    context.host = host;
    Bytes out;
    auto sink = makeSink({subSlot(1), StreamKind::Subpicture, 0x61, "x.sup"}, options, context,
                         [&](const auto&) { return std::make_unique<MemoryOutput>(out, 0); });
    for (std::size_t u = 0; u < units.size(); ++u) {
        std::span<const uint8_t> bytes(units[u].bytes);
        if (cutLast && u + 1 == units.size()) bytes = bytes.first(cutLast);
        for (std::size_t at = 0; at < bytes.size(); at += 700) {
            const auto run = bytes.subspan(at, std::min<std::size_t>(700, bytes.size() - at));
            sink->packet({run, at == 0, at == 0, units[u].pts + 1000, {}});
        }
    }
    sink->finish();
    return out;
}

// Whole display sets: segments that chain to the end of the file, the last an end segment.
bool wholeDisplaySets(const Bytes& pgs) {
    std::size_t at = 0;
    uint8_t last = 0;
    while (at + 13 <= pgs.size() && pgs[at] == 'P' && pgs[at + 1] == 'G') {
        last = pgs[at + 10];
        at += 13 + (pgs[at + 11] << 8 | pgs[at + 12]);
    }
    return at == pgs.size() && last == 0x80;
}

TEST(PgsSink, DamagedAndCutUnitsAreSkippedWithALineNamingTheStream) {
    const std::vector<Unit> units = featureUnits();
    ASSERT_GE(units.size(), 4u);
    std::vector<Unit> damaged = units;
    damaged[1].bytes[9] = 0xFF;  // its first control sequence lies past its end
    RecordingHost host;
    // A run cancelled in the middle of the last unit.
    const Bytes pgs = demuxAsPgs(damaged, &host, units.back().bytes.size() / 2);
    EXPECT_TRUE(wholeDisplaySets(pgs));
    ASSERT_EQ(host.lines.size(), 2u) << host.text();
    for (const std::string& line : host.lines)
        EXPECT_TRUE(line.starts_with("Ext.Subpicture.01: Subpicture unit at ")) << line;
    EXPECT_TRUE(host.lines[1].ends_with("skipped: the stream ends inside it.")) << host.lines[1];

    // The other captions are written as they are without the two units.
    std::vector<Unit> rest(units.begin(), units.end() - 1);
    rest.erase(rest.begin() + 1);
    EXPECT_EQ(pgs, demuxAsPgs(rest, nullptr));
}

TEST(PgsSink, NothingIsWrittenAfterATornDisplaySet) {
    Bytes out;
    RunOptions options;
    options.subsAsPgs = true;
    auto sink = makeSink({subSlot(1), StreamKind::Subpicture, 0x61, "x.sup"}, options, {},
                         [&](const auto&) { return std::make_unique<MemoryOutput>(out, 2); });
    // The run ends at the write error and finishes its sinks.
    EXPECT_THROW(for (const Unit& u
                      : featureUnits()) sink->packet({u.bytes, true, true, u.pts, {}}),
                 IoError);
    const std::size_t torn = out.size();
    sink->finish();  // the caption whose set was torn is not written again behind it
    EXPECT_EQ(out.size(), torn);
}

}  // namespace
}  // namespace kavrel::test
