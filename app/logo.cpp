#include "app/logo.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#ifndef KAVREL_APP_ID
#define KAVREL_APP_ID "kavrel"
#endif

namespace kavrel::app {

LogoView::LogoView(QWidget* parent)
    : QWidget(parent), renderer_(new QSvgRenderer(QStringLiteral(":/kavrel/logo.svg"), this)) {}

LogoView::~LogoView() = default;

bool LogoView::isValid() const {
    return renderer_->isValid();
}

void LogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer_->render(&painter, QRectF(rect()));
}

QIcon applicationIcon() {
    // Rendered at the theme's sizes so that no image plugin is needed to read the SVG.
    QIcon builtIn;
    QSvgRenderer renderer(QStringLiteral(":/kavrel/icon.svg"));
    if (renderer.isValid()) {
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter, QRectF(0, 0, size, size));
            painter.end();
            builtIn.addPixmap(pixmap);
        }
    }
    return QIcon::fromTheme(QStringLiteral(KAVREL_APP_ID), builtIn);
}

}  // namespace kavrel::app
