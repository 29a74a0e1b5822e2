#include "shell/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {
// A battery-shaped box with a lightning bolt: a power supply being charged with firmware.
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  const qreal s = size / 32.0;
  painter.scale(s, s);
  painter.setPen(QPen(Qt::black, 1.5));
  painter.setBrush(QColor(0x00, 0x80, 0x00));
  painter.drawRect(QRectF(4, 7, 22, 20));
  painter.setBrush(Qt::black);
  painter.drawRect(QRectF(26, 13, 3, 8));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xFF, 0xFF, 0x00));
  const QPointF bolt[] = {{17, 8}, {9, 18}, {15, 18}, {12, 26}, {21, 15}, {15, 15}};
  painter.drawPolygon(bolt, 6);
  return pixmap;
}
}  // namespace

QIcon MakeAppIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(16));
  return icon;
}
