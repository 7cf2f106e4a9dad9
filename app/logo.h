#pragma once
// The program's images, drawn from their SVGs so that they are sharp at any screen scale: the
// window's logo and the application icon.
#include <QIcon>
#include <QWidget>

class QSvgRenderer;

namespace kavrel::app {

inline constexpr int kLogoWidth = 126;
inline constexpr int kLogoHeight = 40;

// The logo: a disc with the program's name, painted from the SVG on every paint.
class LogoView : public QWidget {
    Q_OBJECT

  public:
    explicit LogoView(QWidget* parent = nullptr);
    ~LogoView() override;

    // Whether the SVG was read; an unreadable one leaves the place empty.
    bool isValid() const;
    QSize sizeHint() const override { return {kLogoWidth, kLogoHeight}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer* renderer_;
};

// The application icon: the one the icon theme has installed, else the built-in SVG.
QIcon applicationIcon();

// The logo's left edge for a window of the given width: fixed on a narrow window, centred on a
// wide one.
inline int logoLeft(int windowWidth) {
    return windowWidth <= 432 ? 153 : windowWidth / 2 - 63;
}

}  // namespace kavrel::app
