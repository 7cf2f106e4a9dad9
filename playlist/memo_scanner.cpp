#include "playlist/memo_scanner.h"

#include <algorithm>

namespace kavrel::playlist {

void MemoScanner::feed(std::string_view bytes) {
    for (char c : bytes) put(static_cast<unsigned char>(c));
}

void MemoScanner::finish() {
    if (inTag_) {
        memo_.push(lineIndent_, line_);
        endedInsideTag_ = true;
        inTag_ = false;
    }
}

void MemoScanner::put(unsigned char c) {
    if (inTag_ && kind_ == Kind::Element && quote_ && c == '<') {
        // No attribute value holds "<": its closing quote is missing. The broken tag ends here
        // (as a self-closing one when it ends in "/>") and this "<" opens the next tag, so one
        // damaged value does not swallow the rest of the playlist.
        while (!line_.empty() && line_.back() == ' ') line_.pop_back();
        endTag(line_.ends_with("/>"));
    }
    if (!inTag_) {
        // Text between tags (and a stray ">") is not shown; a "<" opens the next tag.
        if (c == '<') {
            inTag_ = true;
            kind_ = Kind::Opened;
            quote_ = 0;
            tagBytes_ = 0;
            ++depth_;
            append(c);
        }
    } else {
        ++tagBytes_;
        append(c);
        switch (kind_) {
            case Kind::Opened:  // the byte right after "<" tells what kind of tag this is
                if (c == '?' || c == '!') {
                    kind_ = Kind::Markup;
                } else {
                    kind_ = Kind::Element;
                    putInElement(c);
                }
                break;
            case Kind::Element:
                putInElement(c);
                break;
            case Kind::Markup:
                if (tagBytes_ == 3 && c == '-' && prev1_ == '-' && prev2_ == '!') {
                    kind_ = Kind::Comment;
                } else if (c == '>') {
                    endTag(true);  // a declaration or doctype holds no content
                }
                break;
            case Kind::Comment:
                // "<!--" and "-->" may not share their hyphens: the shortest comment is "<!---->".
                if (c == '>' && prev1_ == '-' && prev2_ == '-' && tagBytes_ >= 6) endTag(true);
                break;
        }
    }
    prev2_ = prev1_;
    prev1_ = c;
}

void MemoScanner::putInElement(unsigned char c) {
    if (quote_) {
        if (c == static_cast<unsigned char>(quote_)) quote_ = 0;
        return;
    }
    switch (c) {
        case '"':
        case '\'':
            quote_ = static_cast<char>(c);
            break;
        case '<':  // a tag left open: the new "<" nests one deeper, as it would on its own
            ++depth_;
            break;
        case '/':
            if (prev1_ == '<') startClosingTag();
            break;
        case '>':
            endTag(prev1_ == '/' || prev1_ == '?' || (prev1_ == '-' && prev2_ == '-'));
            break;
        default:
            break;
    }
}

void MemoScanner::append(unsigned char c) {
    if (c > 31) {
        line_ += static_cast<char>(c);
    } else if (line_.empty() || line_.back() != ' ') {
        line_ += ' ';
    }
}

// "</": the closing tag stands one level out from its content, and its element is over.
void MemoScanner::startClosingTag() {
    depth_ -= 2;
    if (lineIndent_ > 0) --lineIndent_;
}

void MemoScanner::endTag(bool undoDepth) {
    memo_.push(lineIndent_, line_);
    line_.clear();
    if (undoDepth) --depth_;
    lineIndent_ = static_cast<int>(std::clamp<int64_t>(depth_, 0, kMaxIndentUnits));
    inTag_ = false;
    quote_ = 0;
}

}  // namespace kavrel::playlist
