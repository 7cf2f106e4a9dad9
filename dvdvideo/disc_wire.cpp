#include "dvdvideo/disc_wire.h"

#include <bit>
#include <cstdint>

namespace kavrel::dvdvideo {

namespace {

class Out {
  public:
    Out& u(uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes += static_cast<char>(v >> (8 * i));
        return *this;
    }
    Out& d(double v) { return u(std::bit_cast<uint64_t>(v)); }
    Out& s(const std::string& v) {
        u(v.size());
        bytes += v;
        return *this;
    }
    std::string bytes;
};

class In {
  public:
    explicit In(std::string_view bytes) : bytes_(bytes) {}
    uint64_t u() {
        if (bytes_.size() - at_ < 8) return fail();
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= uint64_t{static_cast<uint8_t>(bytes_[at_ + i])} << (8 * i);
        at_ += 8;
        return v;
    }
    int i() { return static_cast<int>(u()); }
    double d() { return std::bit_cast<double>(u()); }
    std::string s() {
        const uint64_t n = u();
        if (bytes_.size() - at_ < n) {
            fail();
            return {};
        }
        std::string v(bytes_.substr(at_, n));
        at_ += n;
        return v;
    }
    // A count of items, each at least one field long.
    uint64_t count() {
        const uint64_t n = u();
        return n <= (bytes_.size() - at_) / 8 ? n : fail();
    }
    bool whole() const { return ok_ && at_ == bytes_.size(); }

  private:
    uint64_t fail() {
        ok_ = false;
        at_ = bytes_.size();
        return 0;
    }
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace

std::string encodeDisc(const std::optional<VideoDisc>& disc, const std::string& problem) {
    Out out;
    out.s(problem).u(disc.has_value());
    if (!disc) return out.bytes;
    out.u(disc->problems.size());
    for (const std::string& p : disc->problems) out.s(p);
    out.u(disc->titles.size());
    for (const VideoTitle& v : disc->titles) {
        const DiscTitle& t = v.title;
        out.u(v.titleSet).u(v.titleInSet).s(v.standard).s(v.aspect).d(v.framesPerSecond);
        out.u(t.number).s(t.name).d(t.durationSeconds).u(t.width).u(t.height).u(t.angles);
        out.u(t.mainFeature).u(t.palette.has_value());
        if (t.palette)
            for (uint32_t c : *t.palette) out.u(c);
        out.u(t.ranges.size());
        for (const ByteRange& r : t.ranges) out.s(r.file.string()).u(r.offset).u(r.length);
        out.u(t.tracks.size());
        for (const TitleTrack& k : t.tracks)
            out.u(static_cast<uint64_t>(k.kind))
                .u(static_cast<uint64_t>(k.key))
                .s(k.language)
                .s(k.description)
                .s(k.codec)
                .u(k.channels);
        out.u(t.chapters.size());
        for (const TitleChapter& c : t.chapters) out.d(c.seconds).s(c.name);
    }
    return out.bytes;
}

bool decodeDisc(std::string_view bytes, std::optional<VideoDisc>& disc, std::string& problem) {
    In in(bytes);
    problem = in.s();
    disc.reset();
    if (in.u() == 0) return in.whole();
    VideoDisc out;
    for (uint64_t n = in.count(); n > 0; --n) out.problems.push_back(in.s());
    for (uint64_t n = in.count(); n > 0; --n) {
        VideoTitle v;
        DiscTitle& t = v.title;
        v.titleSet = in.i();
        v.titleInSet = in.i();
        v.standard = in.s();
        v.aspect = in.s();
        v.framesPerSecond = in.d();
        t.number = in.i();
        t.name = in.s();
        t.durationSeconds = in.d();
        t.width = in.i();
        t.height = in.i();
        t.angles = in.i();
        t.mainFeature = in.u() != 0;
        if (in.u() != 0) {
            t.palette.emplace();
            for (uint32_t& c : *t.palette) c = static_cast<uint32_t>(in.u());
        }
        for (uint64_t r = in.count(); r > 0; --r) {
            ByteRange range;
            range.file = in.s();
            range.offset = in.u();
            range.length = in.u();
            t.ranges.push_back(std::move(range));
        }
        for (uint64_t k = in.count(); k > 0; --k) {
            TitleTrack track;
            track.kind = static_cast<StreamKind>(in.u() % 3);
            track.key = static_cast<int32_t>(in.u());
            track.language = in.s();
            track.description = in.s();
            track.codec = in.s();
            track.channels = in.i();
            t.tracks.push_back(std::move(track));
        }
        for (uint64_t c = in.count(); c > 0; --c) {
            TitleChapter chapter;
            chapter.seconds = in.d();
            chapter.name = in.s();
            t.chapters.push_back(std::move(chapter));
        }
        out.titles.push_back(std::move(v));
    }
    if (!in.whole()) return false;
    disc = std::move(out);
    return true;
}

}  // namespace kavrel::dvdvideo
