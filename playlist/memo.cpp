#include "playlist/memo.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace kavrel::playlist {

void Memo::push(int indentUnits, std::string_view text) {
    if (text_.size() + text.size() > std::numeric_limits<uint32_t>::max())
        throw std::length_error("the playlist's lines do not fit in memory");
    text_ += text;
    ends_.push_back(static_cast<uint32_t>(text_.size()));
    indents_.push_back(static_cast<uint8_t>(std::clamp(indentUnits, 0, 255)));
}

std::string_view Memo::text(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
}

std::string Memo::operator[](std::size_t index) const {
    std::string line(static_cast<std::size_t>(indents_[index]) * kIndentWidth, ' ');
    line += text(index);
    return line;
}

void Memo::keep(std::size_t first, std::size_t last) {
    if (first > last || last >= size()) {
        *this = Memo();
        return;
    }
    const uint32_t begin = first == 0 ? 0 : ends_[first - 1];
    const uint32_t end = ends_[last];
    text_ = text_.substr(begin, end - begin);
    ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(last) + 1, ends_.end());
    ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(first));
    for (uint32_t& lineEnd : ends_) lineEnd -= begin;
    indents_.erase(indents_.begin() + static_cast<std::ptrdiff_t>(last) + 1, indents_.end());
    indents_.erase(indents_.begin(), indents_.begin() + static_cast<std::ptrdiff_t>(first));
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
    indents_.shrink_to_fit();
}

}  // namespace kavrel::playlist
