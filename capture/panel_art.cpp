#include "capture/panel_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace capture {

namespace {

void triangle(QPainter& p, QRectF r, bool right) {
  QPolygonF t;
  if (right) t << r.topLeft() << QPointF(r.right(), r.center().y()) << r.bottomLeft();
  else t << r.topRight() << QPointF(r.left(), r.center().y()) << r.bottomRight();
  p.drawPolygon(t);
}

// The symbol of a button, drawn in the current brush inside `r`.
void glyph(QPainter& p, const QString& name, QRectF r) {
  const double h = std::min(r.height(), r.width()) * 0.5;
  const QPointF c = r.center();
  const QRectF tri(c.x() - h / 2, c.y() - h / 2, h, h);
  const QRectF half(c.x() - h / 4, c.y() - h / 4, h / 2, h / 2);
  auto bar = [&](double x) { p.drawRect(QRectF(x, c.y() - h / 2, h / 5, h)); };
  if (name == "imgPlay") {
    triangle(p, tri, true);
  } else if (name == "imgRev" || name == "imgFF") {
    const bool right = name == "imgFF";
    triangle(p, tri.translated(-h / 4, 0).adjusted(0, 0, -h / 3, 0), right);
    triangle(p, tri.translated(h / 3, 0).adjusted(0, 0, -h / 3, 0), right);
  } else if (name == "imgRSlow" || name == "imgFSlow") {
    triangle(p, half, name == "imgFSlow");
  } else if (name == "imgRFrame") {
    bar(tri.left());
    triangle(p, tri.adjusted(h / 4, 0, 0, 0), false);
  } else if (name == "imgFFrame") {
    triangle(p, tri.adjusted(0, 0, -h / 4, 0), true);
    bar(tri.right() - h / 5);
  } else if (name == "imgPause") {
    bar(c.x() - h / 3);
    bar(c.x() + h / 8);
  } else if (name == "imgStop") {
    p.drawRect(tri);
  } else if (name == "imgCpt") {
    p.drawEllipse(c + QPointF(-6, 3), h / 2.5, h / 2.5);
  } else if (name == "imgAuto") {
    p.drawEllipse(c + QPointF(6, 3), h / 3, h / 3);
    p.drawEllipse(c + QPointF(6, 3) + QPointF(h / 2, 0), h / 6, h / 6);
  } else if (name == "imgClose") {
    QPen pen = p.pen();
    pen.setWidthF(2.5);
    pen.setColor(p.brush().color());
    p.setPen(pen);
    p.drawLine(tri.topLeft(), tri.bottomRight());
    p.drawLine(tri.topRight(), tri.bottomLeft());
  }
}

QPainterPath shape(const HitArea& a, QSize s) {
  QPainterPath path;
  const double cy = s.height() / 2.0 + 3;
  switch (a.kind) {
    case HitArea::Ellipse: path.addEllipse(QRectF(0.5, 0.5, s.width() - 1, s.height() - 1)); break;
    case HitArea::RightHalf:
      path.addEllipse(QPointF(s.width(), cy), a.rx, a.ry);
      path = path.intersected([&] {
        QPainterPath r;
        r.addRect(0, 0, s.width(), s.height());
        return r;
      }());
      break;
    case HitArea::LeftHalf:
      path.addEllipse(QPointF(0, cy), a.rx, a.ry);
      path = path.intersected([&] {
        QPainterPath r;
        r.addRect(0, 0, s.width(), s.height());
        return r;
      }());
      break;
  }
  return path;
}

}  // namespace

QPixmap PanelBody() {
  QPixmap body(kPanelWidth, kPanelHeight);
  body.fill(Qt::transparent);
  QPainter p(&body);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, kPanelHeight);
  g.setColorAt(0, QColor(92, 98, 108));
  g.setColorAt(1, QColor(38, 42, 48));
  p.setBrush(g);
  p.setPen(QPen(QColor(20, 22, 26), 2));
  p.drawEllipse(QRectF(1, 1, kPanelWidth - 2, kPanelHeight - 2));
  // The display behind the time code.
  p.setBrush(QColor(12, 20, 24));
  p.setPen(QPen(QColor(70, 76, 84), 1));
  p.drawRoundedRect(QRectF(52, 30, 166, 28), 5, 5);
  return body;
}

HitArea HitAreaOf(const QString& name) {
  if (name == "imgCpt") return {HitArea::RightHalf, 50, 25};
  if (name == "imgAuto") return {HitArea::LeftHalf, 50, 25};
  if (name == "imgPlay" || name == "imgPause" || name == "imgStop") return {HitArea::Ellipse, 25, 13};
  return {HitArea::Ellipse, 14, 11};
}

bool InHitArea(const HitArea& a, int x, int y, int width, int height) {
  int dx = x - width / 2, dy = y - height / 2;
  if (a.kind == HitArea::RightHalf) dx = x - width;
  if (a.kind == HitArea::LeftHalf) dx = x;
  if (a.kind != HitArea::Ellipse) dy = y - height / 2 - 3;
  const int64_t rx2 = int64_t(a.rx) * a.rx, ry2 = int64_t(a.ry) * a.ry;
  return int64_t(dx) * dx * ry2 + int64_t(dy) * dy * rx2 <= rx2 * ry2;
}

std::array<QPixmap, 5> ButtonPictures(const QString& name, QSize size) {
  std::array<QPixmap, 5> pictures;
  const QPainterPath outline = shape(HitAreaOf(name), size);
  for (int state = 0; state < 5; ++state) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const bool disabled = state == kButtonDisabled, pressed = state & kButtonPressed, lit = state & kButtonLit;
    QColor face = disabled ? QColor(62, 64, 68) : lit ? QColor(28, 132, 150) : QColor(84, 92, 104);
    if (pressed) face = face.darker(140);
    p.setPen(QPen(QColor(18, 20, 24), 1));
    p.setBrush(face);
    p.drawPath(outline);
    p.setPen(Qt::NoPen);
    p.setBrush(disabled ? QColor(110, 112, 116) : lit ? QColor(210, 255, 255) : QColor(235, 238, 242));
    glyph(p, name, QRectF(QPointF(0, 0), size).adjusted(2, 2, -2, -2));
    pictures[size_t(state)] = pm;
  }
  return pictures;
}

}  // namespace capture
