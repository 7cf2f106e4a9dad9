#include "app/window_host.h"

#include <QCoreApplication>

#include "app/main_window.h"
#include "app/paths.h"

namespace kavrel::app {

void WindowHost::log(std::string_view markup) {
    window_.log(markup);
}

void WindowHost::slog(std::string_view text, int panel) {
    window_.slog(fromUtf8(text), panel);
}

// The only moment during a run at which the window handles clicks: Cancel acts here.
void WindowHost::pump() {
    QCoreApplication::processEvents();
}

void WindowHost::repaint() {
    window_.repaint();
}

void WindowHost::progress(uint64_t position, uint64_t size) {
    window_.showProgress(position, size);
}

void WindowHost::setCancelEnabled(bool enabled) {
    window_.setCancelEnabled(enabled);
}

}  // namespace kavrel::app
