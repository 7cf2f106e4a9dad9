#pragma once
// The engine's view of the window: log and status lines, event processing at each progress
// report, the progress bar and the Cancel button.
#include "engine/host.h"

class TfMain;

namespace kavrel::app {

class WindowHost : public EngineHost {
  public:
    explicit WindowHost(TfMain& window) : window_(window) {}

    void log(std::string_view markup) override;
    void slog(std::string_view text, int panel) override;
    void pump() override;
    void repaint() override;
    void progress(uint64_t position, uint64_t size) override;
    void setCancelEnabled(bool enabled) override;

  private:
    TfMain& window_;
};

}  // namespace kavrel::app
