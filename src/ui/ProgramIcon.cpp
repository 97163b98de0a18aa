#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrom {
namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A green track oval with a dark K: the meet's data on the infield.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1B, 0x5E, 0x20));
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.2, s * 0.2);
    p.setBrush(QColor(0x90, 0xFF, 0x90));
    p.drawEllipse(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
    QFont font(QStringLiteral("Sans"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(s * 0.62));
    p.setFont(font);
    p.setPen(QColor(0x1B, 0x5E, 0x20));
    p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("K"));
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(DrawIcon(size));
    return icon;
}

}  // namespace kestrom
