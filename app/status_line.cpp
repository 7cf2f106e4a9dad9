#include "app/status_line.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
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
    label->setFixedWidth(panelWidth(shown));
    if (panel == 1) bar_->setToolTip(text);
    bar_->repaint();
}

int StatusLine::panelWidth(const QString& shown) const {
    const QLabel* label = panels_[0];
    const QMargins margins = label->contentsMargins();
    return QFontMetrics(bar_->font()).horizontalAdvance(shown + QLatin1Char('a')) + margins.left() +
           margins.right() + 2 * label->frameWidth();
}

int StatusLine::widthDuringRun() const {
    // The panels' texts of the read, demux and rebuild runs (the rebuild's are the widest).
    static const char* const kRunTexts[][2] = {
        {"Reading FEATURE_1.EVO ", "20480/20480 Mbytes, Remaining time: 0:00:00"},
        {"Demuxing FEATURE_1.EVO", "20480/20480 Mbytes, Remaining time: 0:00:00"},
        {"Rebuilding FEATURE_1.EVO",
         "Rebuilding FEATURE_1.EVO 20480/20480 Mbytes, Remaining time: 0:00:00"},
    };
    int panels = 0;
    for (const auto& texts : kRunTexts) {
        panels = std::max(panels, panelWidth(QLatin1Char(' ') + QLatin1String(texts[0])) +
                                      panelWidth(QLatin1Char(' ') + QLatin1String(texts[1])));
    }
    // Between and around the items: the bar's spacing, the size grip and a frame each.
    const QStyle* style = bar_->style();
    const int spacing = 3 * std::max(style->pixelMetric(QStyle::PM_LayoutHorizontalSpacing), 6);
    const int grip = style->pixelMetric(QStyle::PM_SizeGripSize) + 4;
    return panels + progress_->maximumWidth() + spacing + grip + 8;
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
