#include "app/message_log.h"

#include <QColor>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

#include "app/paths.h"
#include "engine/markup.h"

namespace kavrel::app {

namespace {

// The colour tag holds 0xBBGGRR: the lowest byte is red.
QColor fromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace

MessageLog::MessageLog(QTextEdit* pane) : pane_(pane) {}

QTextCharFormat MessageLog::defaultFormat() const {
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Tahoma")});
    format.setFontPointSize(kDefaultPointSize);
    format.setFontWeight(QFont::Normal);
    format.setFontItalic(false);
    format.setFontUnderline(false);
    format.setForeground(pane_->palette().color(QPalette::WindowText));
    return format;
}

void MessageLog::append(std::string_view markup) {
    const MarkupLine line = parseMarkup(markup);
    const QTextCharFormat plain = defaultFormat();

    QTextCursor cursor(pane_->document());
    cursor.movePosition(QTextCursor::End);
    if (empty_) {
        cursor.setBlockCharFormat(plain);
        empty_ = false;
    } else {
        cursor.insertBlock(QTextBlockFormat(), plain);
    }

    for (const MarkupRun& run : line.runs) {
        if (run.text.empty()) continue;
        QTextCharFormat format = plain;
        switch (run.effect) {
            case MarkupRun::Effect::Plain:
            case MarkupRun::Effect::Default:
                break;
            case MarkupRun::Effect::Bold:
                format.setFontWeight(QFont::Bold);
                break;
            case MarkupRun::Effect::Italic:
                format.setFontItalic(true);
                break;
            case MarkupRun::Effect::Underline:
                format.setFontUnderline(true);
                break;
            case MarkupRun::Effect::Size:
                if (run.pointSize > 0) format.setFontPointSize(run.pointSize);
                break;
            case MarkupRun::Effect::Colour:
                format.setForeground(fromBgr(run.bgr));
                break;
        }
        cursor.insertText(fromUtf8(run.text), format);
    }

    // The caret goes to the end so the pane shows the newest line.
    cursor.movePosition(QTextCursor::End);
    pane_->setTextCursor(cursor);
    pane_->ensureCursorVisible();
}

void MessageLog::clear() {
    pane_->clear();
    empty_ = true;
}

}  // namespace kavrel::app
