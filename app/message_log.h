#pragma once
// The message log: appends markup lines to a read-only rich-text pane, each run of a line with
// the character attributes its tag asks for.
#include <QTextCharFormat>
#include <string_view>

class QTextEdit;

namespace kavrel::app {

class MessageLog {
  public:
    explicit MessageLog(QTextEdit* pane);

    // Appends one line; an empty message appends an empty line.
    void append(std::string_view markup);
    void clear();

    // The pane's default character format: Tahoma 8 pt, window-text colour, no style.
    QTextCharFormat defaultFormat() const;

    static constexpr double kDefaultPointSize = 8;

  private:
    QTextEdit* pane_;
    bool empty_ = true;  // the document's first block is still unused
};

}  // namespace kavrel::app
