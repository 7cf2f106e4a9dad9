#include "app/logo.h"

#include <QFont>
#include <QPainter>
#include <QRadialGradient>

namespace kavrel::app {

QPixmap drawLogo() {
    QPixmap pixmap(kLogoWidth, kLogoHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    // The disc: a silver gradient ring with its centre hole.
    const QRectF disc(2, 2, kLogoHeight - 4, kLogoHeight - 4);
    QRadialGradient shine(disc.center(), disc.width() / 2, disc.topLeft() + QPointF(8, 8));
    shine.setColorAt(0, QColor(250, 250, 255));
    shine.setColorAt(0.6, QColor(170, 185, 215));
    shine.setColorAt(1, QColor(90, 105, 150));
    painter.setPen(QPen(QColor(60, 70, 110), 1));
    painter.setBrush(shine);
    painter.drawEllipse(disc);
    painter.setBrush(Qt::white);
    painter.drawEllipse(disc.center(), 4, 4);

    // The name beside it.
    const QRectF textArea(kLogoHeight + 2, 0, kLogoWidth - kLogoHeight - 2, kLogoHeight);
    QFont small(QStringLiteral("Tahoma"));
    small.setPixelSize(10);
    small.setBold(true);
    painter.setFont(small);
    painter.setPen(QColor(90, 105, 150));
    painter.drawText(textArea.adjusted(0, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("HD DVD"));
    QFont large(QStringLiteral("Tahoma"));
    large.setPixelSize(20);
    large.setBold(true);
    painter.setFont(large);
    painter.setPen(QColor(40, 50, 90));
    painter.drawText(textArea.adjusted(0, 0, 0, -2), Qt::AlignLeft | Qt::AlignBottom,
                     QStringLiteral("Kavrel"));
    return pixmap;
}

}  // namespace kavrel::app
