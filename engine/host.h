#pragma once
// How the engine and the runs talk to the outside: the message log (markup text), the two
// status panels, and the chance to process pending events at each progress report.
#include <cstdint>
#include <string_view>

namespace kavrel {

class EngineHost {
  public:
    virtual ~EngineHost() = default;
    virtual void log(std::string_view markup) = 0;
    virtual void slog(std::string_view text, int panel) = 0;
    // Called at each 4 MiB progress report: the window handles clicks (Cancel) here.
    virtual void pump() {}
    // Called every 64 MiB of input so the window repaints itself.
    virtual void repaint() {}
    // Position and size of the input at each progress report, for a progress bar.
    virtual void progress(uint64_t /*position*/, uint64_t /*size*/) {}
    // The Cancel button is usable exactly while a scan or rebuild loop runs.
    virtual void setCancelEnabled(bool /*enabled*/) {}
};

}  // namespace kavrel
