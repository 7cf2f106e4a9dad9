#pragma once
// The two-panel status line and the progress bar that sits beside the panels during a run.
#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace kavrel::app {

class StatusLine {
  public:
    explicit StatusLine(QStatusBar* bar);

    // Panel text becomes " " + text, the panel as wide as that text and one more letter;
    // panel 1's text is also the status line's tool tip. Repaints at once.
    void set(int panel, const QString& text);
    QString text(int panel) const;

    void showProgress(uint64_t position, uint64_t size);
    void hideProgress();

    // The width the status line needs to show both panels and the progress bar whole during
    // any run on a typical disc (FEATURE_1.EVO, 20 GiB), in the bar's font.
    int widthDuringRun() const;

    static constexpr int kProgressSteps = 1000;

  private:
    int panelWidth(const QString& text) const;

    QStatusBar* bar_;
    std::array<QLabel*, 2> panels_{};
    QProgressBar* progress_;
};

}  // namespace kavrel::app
