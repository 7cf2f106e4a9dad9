#pragma once
// The re-indented lines of a playlist, kept compactly: each line's text without its
// indentation, back to back in one buffer, and its indentation as a count of units. A hostile
// playlist of a few megabytes ("<a>" over and over) makes more than a million lines; as strings
// of their own, indentation included, they would take hundreds of megabytes.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::playlist {

class Memo {
  public:
    static constexpr int kIndentWidth = 2;  // blanks per indentation unit

    // Appends a line of indentUnits units (0..255) and text.
    void push(int indentUnits, std::string_view text);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    // The line as shown: its indentation, then its text.
    std::string operator[](std::size_t index) const;
    std::string front() const { return (*this)[0]; }
    std::string back() const { return (*this)[size() - 1]; }
    // The line without its indentation.
    std::string_view text(std::size_t index) const;
    int indentUnits(std::size_t index) const { return indents_[index]; }

    // Keeps only the lines first..last (inclusive).
    void keep(std::size_t first, std::size_t last);

    // The lines as shown, one at a time.
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::string;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string;

        const_iterator(const Memo* memo, std::size_t index) : memo_(memo), index_(index) {}
        std::string operator*() const { return (*memo_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

      private:
        const Memo* memo_;
        std::size_t index_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    bool operator==(const Memo& other) const = default;

  private:
    std::string text_;            // the lines' texts, back to back
    std::vector<uint32_t> ends_;  // where each line's text ends in text_
    std::vector<uint8_t> indents_;
};

}  // namespace kavrel::playlist
