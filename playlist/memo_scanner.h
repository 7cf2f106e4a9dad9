#pragma once
// The byte scan that re-indents a playlist: one line per tag, two blanks per nesting level.
// Text between tags is not kept. Line ends, tabs and other control bytes inside a tag fold
// into one blank. Quoted attribute values and comments may hold ">" without ending the tag;
// comments, declarations and self-closing tags do not deepen what follows. A "<" inside a
// quoted value shows the value's closing quote is missing: the broken tag ends there.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "playlist/memo.h"

namespace kavrel::playlist {

// Deeper nesting is drawn at this depth, so hostile input cannot blow up the indentation.
inline constexpr int64_t kMaxIndentUnits = 32;

class MemoScanner {
  public:
    // Scans the next bytes of the playlist; may be called once per chunk read.
    void feed(std::string_view bytes);
    // Ends the scan. A tag still open at the end of the data is kept as the last line.
    void finish();

    const Memo& lines() const { return memo_; }
    Memo takeLines() { return std::move(memo_); }
    // The data ended inside a tag (the last line is that unfinished tag).
    bool endedInsideTag() const { return endedInsideTag_; }

  private:
    enum class Kind { Opened, Element, Comment, Markup };

    void put(unsigned char c);
    void putInElement(unsigned char c);
    void append(unsigned char c);
    void startClosingTag();
    void endTag(bool undoDepth);

    Memo memo_;
    std::string line_;    // the current tag's text, without its indentation
    int lineIndent_ = 0;  // the current line's indentation units
    int64_t depth_ = 0;
    bool inTag_ = false;
    Kind kind_ = Kind::Opened;
    char quote_ = 0;            // the quote of the attribute value being read, or 0
    std::size_t tagBytes_ = 0;  // bytes of the current tag after its "<"
    unsigned char prev1_ = 0;   // the byte before the current one
    unsigned char prev2_ = 0;   // and the one before that
    bool endedInsideTag_ = false;
};

}  // namespace kavrel::playlist
