#pragma once
// The window's logo, drawn at run time: a disc with the program's name.
#include <QPixmap>

namespace kavrel::app {

inline constexpr int kLogoWidth = 126;
inline constexpr int kLogoHeight = 40;

QPixmap drawLogo();

// The logo's left edge for a window of the given width: fixed on a narrow window, centred on a
// wide one.
inline int logoLeft(int windowWidth) {
    return windowWidth <= 432 ? 153 : windowWidth / 2 - 63;
}

}  // namespace kavrel::app
