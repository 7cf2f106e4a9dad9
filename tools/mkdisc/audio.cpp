// Audio frames at 48 kHz with real sync words and headers; the coded data after the headers
// is filler, which is all a demultiplexer looks at.
#include <array>
#include <stdexcept>

#include "tools/mkdisc/bit_writer.h"
#include "tools/mkdisc/elementary.h"

namespace kavrel::mkdisc {

namespace {

// CRC-16 with the polynomial x^16 + x^15 + x^2 + 1, most significant bit first, as AC-3 uses.
uint16_t crc16(const uint8_t* data, std::size_t n) {
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i << 8;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
            t[i] = static_cast<uint16_t>(crc);
        }
        return t;
    }();
    unsigned crc = 0;
    for (std::size_t i = 0; i < n; ++i) crc = (crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF];
    return static_cast<uint16_t>(crc);
}

// Fills the frame up to its size and closes it with crc2, which makes the CRC of everything
// after the sync word zero.
void finishAc3Frame(std::vector<uint8_t>& out, std::size_t start, uint32_t size, Filler& filler) {
    filler.appendNonZero(out, size - 2 - (out.size() - start));
    uint16_t crc = crc16(out.data() + start + 2, size - 4);
    out.push_back(static_cast<uint8_t>(crc >> 8));
    out.push_back(static_cast<uint8_t>(crc));
}

// crc1 of an AC-3 frame sits at the start of the block it protects (bytes 2 up to 5/8 of the
// frame), so it cannot be appended like crc2. The CRC is linear: the value for crc1 solves
// A * crc1 = CRC of the block with crc1 zero, where column i of A is the CRC of the block
// with only bit i of crc1 set.
class Crc1Solver {
  public:
    explicit Crc1Solver(std::size_t blockBytes) : blockBytes_(blockBytes) {
        std::vector<uint8_t> block(blockBytes, 0);
        for (int bit = 0; bit < 16; ++bit) {
            block[0] = static_cast<uint8_t>((0x8000 >> bit) >> 8);
            block[1] = static_cast<uint8_t>(0x8000 >> bit);
            columns_[bit] = crc16(block.data(), blockBytes);
        }
    }

    // Sets crc1 at block[0..1] so that the CRC of the whole block is zero.
    void apply(uint8_t* block) const {
        block[0] = block[1] = 0;
        uint32_t target = crc16(block, blockBytes_);
        // Gaussian elimination over GF(2): row r holds the r-th bit of every column and of
        // the target (bit 16).
        std::array<uint32_t, 16> rows{};
        for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < 16; ++c) rows[r] |= ((columns_[c] >> (15 - r)) & 1u) << c;
            rows[r] |= ((target >> (15 - r)) & 1u) << 16;
        }
        for (int c = 0; c < 16; ++c) {
            int pivot = c;
            while (pivot < 16 && !((rows[pivot] >> c) & 1)) ++pivot;
            if (pivot == 16) throw std::logic_error("crc1 has no solution");
            std::swap(rows[c], rows[pivot]);
            for (int r = 0; r < 16; ++r)
                if (r != c && ((rows[r] >> c) & 1)) rows[r] ^= rows[c];
        }
        uint32_t value = 0;
        for (int c = 0; c < 16; ++c) value |= ((rows[c] >> 16) & 1u) << (15 - c);
        block[0] = static_cast<uint8_t>(value >> 8);
        block[1] = static_cast<uint8_t>(value);
    }

  private:
    std::size_t blockBytes_;
    std::array<uint16_t, 16> columns_{};
};

uint32_t ac3ChannelMode(uint32_t channels) {
    switch (channels) {
        case 1:
            return 1;
        case 2:
            return 2;
        case 3:
            return 3;
        case 4:
            return 6;
        default:
            return 7;  // 3/2
    }
}

class Ac3Builder : public AccessUnitBuilder {
  public:
    Ac3Builder(const AudioFormat& format, Filler& filler)
        : format_(format), filler_(filler), crc1_(fiveEighths(format.frameBytes) - 2) {}

    void build(uint64_t, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        uint32_t acmod = ac3ChannelMode(format_.channels);
        BitWriter w;
        w.put(0x0B77, 16);  // syncword
        w.put(0, 16);       // crc1, set below
        w.put(0, 2);        // fscod: 48 kHz
        w.put(format_.ac3SizeCode, 6);
        w.put(8, 5);  // bsid
        w.put(0, 3);  // bsmod: complete main
        w.put(acmod, 3);
        if ((acmod & 1) && acmod != 1) w.put(0, 2);  // cmixlev
        if (acmod & 4) w.put(0, 2);                  // surmixlev
        if (acmod == 2) w.put(2, 2);                 // dsurmod: not Dolby Surround
        w.put(format_.lfe ? 1 : 0, 1);
        w.put(27, 5);  // dialnorm -27 dB
        w.put(0, 1);   // compre
        w.put(0, 1);   // langcode
        w.put(0, 1);   // audprodie
        w.put(1, 1);   // copyrightb
        w.put(1, 1);   // origbs
        w.put(0, 1);   // timecod1e
        w.put(0, 1);   // timecod2e
        w.put(0, 1);   // addbsie
        w.put(1, 1);   // audblk: blksw of the first channel, so the byte is never zero
        w.align();
        out.insert(out.end(), w.bytes().begin(), w.bytes().end());
        filler_.appendNonZero(out, format_.frameBytes - 2 - (out.size() - start));
        crc1_.apply(out.data() + start + 2);
        uint16_t crc2 = crc16(out.data() + start + 2, format_.frameBytes - 4);
        out.push_back(static_cast<uint8_t>(crc2 >> 8));
        out.push_back(static_cast<uint8_t>(crc2));
    }

  private:
    // Bytes of the first 5/8 of a frame, counted in 16-bit words as the standard does.
    static std::size_t fiveEighths(uint32_t frameBytes) {
        uint32_t words = frameBytes / 2;
        return 2 * ((words >> 1) + (words >> 3));
    }

    AudioFormat format_;
    Filler& filler_;
    Crc1Solver crc1_;
};

class Eac3Builder : public AccessUnitBuilder {
  public:
    Eac3Builder(const AudioFormat& format, Filler& filler) : format_(format), filler_(filler) {}

    void build(uint64_t, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        BitWriter w;
        w.put(0x0B77, 16);                      // syncword
        w.put(0, 2);                            // strmtyp: independent
        w.put(0, 3);                            // substreamid
        w.put(format_.frameBytes / 2 - 1, 11);  // frmsiz, in 16-bit words minus one
        w.put(0, 2);                            // fscod: 48 kHz
        w.put(3, 2);                            // numblkscod: 6 blocks
        w.put(ac3ChannelMode(format_.channels), 3);
        w.put(format_.lfe ? 1 : 0, 1);
        w.put(16, 5);  // bsid
        w.put(27, 5);  // dialnorm
        w.put(0, 1);   // compre
        w.put(0, 1);   // mixmdate
        w.put(0, 1);   // infomdate
        w.put(0, 1);   // addbsie
        w.put(1, 1);   // expstre: the frame starts with a byte that is never zero
        w.align();
        out.insert(out.end(), w.bytes().begin(), w.bytes().end());
        finishAc3Frame(out, start, format_.frameBytes, filler_);
    }

  private:
    AudioFormat format_;
    Filler& filler_;
};

// DTS core frames of 512 samples.
class DtsBuilder : public AccessUnitBuilder {
  public:
    DtsBuilder(const AudioFormat& format, Filler& filler) : format_(format), filler_(filler) {}

    void build(uint64_t, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        BitWriter w;
        w.put(0x7FFE8001, 32);
        w.put(1, 1);                              // FTYPE: normal frame
        w.put(31, 5);                             // SHORT: not a short frame
        w.put(0, 1);                              // CPF: no CRC
        w.put(15, 7);                             // NBLKS: 16 blocks of 32 samples
        w.put(format_.frameBytes - 1, 14);        // FSIZE
        w.put(format_.channels >= 5 ? 9 : 2, 6);  // AMODE: C L R SL SR, or L R
        w.put(13, 4);                             // SFREQ: 48 kHz
        w.put(15, 5);                             // RATE: 768 kbit/s
        w.put(0, 1);                              // fixed bit
        w.put(0, 1);                              // DYNF
        w.put(0, 1);                              // TIMEF
        w.put(0, 1);                              // AUXF
        w.put(0, 1);                              // HDCD
        w.put(0, 3);                              // EXT_AUDIO_ID
        w.put(0, 1);                              // EXT_AUDIO
        w.put(1, 1);                              // ASPF
        w.put(format_.lfe ? 2 : 0, 2);            // LFF
        w.put(0, 1);                              // HFLAG
        w.put(0, 1);                              // FILTS
        w.put(7, 4);                              // VERNUM
        w.put(0, 2);                              // CHIST
        w.put(6, 3);                              // PCMR: 24 bits
        w.put(0, 1);                              // SUMF
        w.put(0, 1);                              // SUMS
        w.put(0, 4);                              // DIALNORM
        w.align();
        out.insert(out.end(), w.bytes().begin(), w.bytes().end());
        filler_.appendNonZero(out, format_.frameBytes - (out.size() - start));
    }

  private:
    AudioFormat format_;
    Filler& filler_;
};

// Meridian lossless access units of 40 samples: a 4-byte header (check nibble, length in
// 16-bit words, input timing), a major sync block every 16 units, then coded filler.
class LosslessBuilder : public AccessUnitBuilder {
  public:
    LosslessBuilder(bool trueHd, Filler& filler) : trueHd_(trueHd), filler_(filler) {}

    void build(uint64_t index, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        uint32_t words = filler_.between(48, 80);
        auto timing = static_cast<uint16_t>(index * 40);
        uint16_t lengthField = static_cast<uint16_t>(words & 0x0FFF);
        // The check nibble makes the XOR of the four header nibbles and the timing 0xF.
        unsigned x = (lengthField >> 8) ^ (lengthField >> 4) ^ lengthField ^ (timing >> 12) ^
                     (timing >> 8) ^ (timing >> 4) ^ timing;
        unsigned check = (0xF ^ x) & 0xF;
        out.push_back(static_cast<uint8_t>((check << 4) | (lengthField >> 8)));
        out.push_back(static_cast<uint8_t>(lengthField));
        out.push_back(static_cast<uint8_t>(timing >> 8));
        out.push_back(static_cast<uint8_t>(timing));
        if (index % 16 == 0) appendMajorSync(out);
        filler_.appendNonZero(out, words * 2 - (out.size() - start));
    }

  private:
    void appendMajorSync(std::vector<uint8_t>& out) const {
        std::size_t start = out.size();
        BitWriter w;
        w.put(trueHd_ ? 0xF8726FBA : 0xF8726FBB, 32);
        if (trueHd_) {
            w.put(0, 4);      // audio_sampling_frequency: 48 kHz
            w.put(0, 4);      // multichannel types and reserved
            w.put(0, 2);      // 2ch presentation modifier
            w.put(0, 2);      // 6ch presentation modifier
            w.put(0x0F, 5);   // 6ch presentation assignment: L R C LFE Ls Rs
            w.put(0, 2);      // 8ch presentation modifier
            w.put(0x0F, 13);  // 8ch presentation assignment
        } else {
            w.put(0, 4);   // group 1 word length: 16 bits
            w.put(0, 4);   // group 2 word length
            w.put(0, 4);   // group 1 sampling rate: 48 kHz
            w.put(15, 4);  // group 2 sampling rate: none
            w.put(0, 11);  // reserved
            w.put(1, 5);   // channel assignment: L R
        }
        w.put(0xB752, 16);  // signature
        w.put(0, 16);       // flags
        w.put(0, 16);       // reserved
        w.put(1, 1);        // variable rate
        w.put(6000, 15);    // peak data rate: 18 Mbit/s in units of 48000/16 bit/s
        w.put(1, 4);        // substreams
        w.put(0, 4);        // reserved
        w.put(0, 8);        // substream info
        w.put(0, 64);       // channel meaning
        w.align();
        out.insert(out.end(), w.bytes().begin(), w.bytes().end());
        uint16_t crc = crc16(out.data() + start, out.size() - start);
        out.push_back(static_cast<uint8_t>(crc >> 8));
        out.push_back(static_cast<uint8_t>(crc));
    }

    bool trueHd_;
    Filler& filler_;
};

}  // namespace

std::unique_ptr<AccessUnitBuilder> makeAudio(Codec codec, const AudioFormat& format,
                                             Filler& filler) {
    switch (codec) {
        case Codec::Ac3:
            return std::make_unique<Ac3Builder>(format, filler);
        case Codec::Eac3:
            return std::make_unique<Eac3Builder>(format, filler);
        case Codec::Dts:
            return std::make_unique<DtsBuilder>(format, filler);
        case Codec::Lpcm:
            return makeLpcm(
                LpcmFormat{{16, 0}, {48000, 0}, {static_cast<int>(format.channels), 0}});
        case Codec::TrueHd:
            return std::make_unique<LosslessBuilder>(true, filler);
        case Codec::Mlp:
            return std::make_unique<LosslessBuilder>(false, filler);
        default:
            throw std::invalid_argument("not an audio codec");
    }
}

uint32_t samplesPerFrame(Codec codec) {
    switch (codec) {
        case Codec::Ac3:
        case Codec::Eac3:
            return 1536;
        case Codec::Dts:
            return 512;
        case Codec::Lpcm:
            return 80;
        case Codec::TrueHd:
        case Codec::Mlp:
            return 40;
        default:
            throw std::invalid_argument("not an audio codec");
    }
}

}  // namespace kavrel::mkdisc
