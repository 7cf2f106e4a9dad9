#include "app/status_line.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

namespace kavrel::app {

StatusLine::StatusLine(QStatusBar* bar) : bar_(bar), progress_(new QProgressBar(bar)) {
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        bar->addWidget(label);
        panels_[static_cast<std::size_t>(i)] = label;
    }
    progress_->setObjectName(QStringLiteral("StatusProgress"));
    progress_->setRange(0, kProgressSteps);
    progress_->setTextVisible(true);
    progress_->setMaximumWidth(120);
    bar->addPermanentWidget(progress_);
    progress_->hide();
    set(0, QStringLiteral("Ready"));
    set(1, QStringLiteral("Select or drop an EVO file to demux"));
}

void StatusLine::set(int panel, const QString& text) {
    if (panel < 0 || panel > 1) return;
    QLabel* label = panels_[static_cast<std::size_t>(panel)];
    const QString shown = QLatin1Char(' ') + text;
    label->setText(shown);
    const QMargins margins = label->contentsMargins();
    const int width = QFontMetrics(bar_->font()).horizontalAdvance(shown + QLatin1Char('a')) +
                      margins.left() + margins.right() + 2 * label->frameWidth();
    label->setFixedWidth(width);
    if (panel == 1) bar_->setToolTip(text);
    bar_->repaint();
}

QString StatusLine::text(int panel) const {
    if (panel < 0 || panel > 1) return {};
    return panels_[static_cast<std::size_t>(panel)]->text();
}

void StatusLine::showProgress(uint64_t position, uint64_t size) {
    const uint64_t steps =
        size == 0 ? 0 : std::min<uint64_t>(position, size) * kProgressSteps / size;
    progress_->setValue(static_cast<int>(steps));
    if (progress_->isHidden()) progress_->show();
}

void StatusLine::hideProgress() {
    progress_->hide();
    progress_->setValue(0);
}

}  // namespace kavrel::app
