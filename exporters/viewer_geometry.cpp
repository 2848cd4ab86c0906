#include "viewer_geometry.h"

#include <algorithm>

namespace exporters::viewer {

int ClampZoom(int zoom) { return std::clamp(zoom, kMinZoom, kMaxZoom); }

int32_t Scaled(int32_t side, int zoom) {
  return static_cast<int32_t>(static_cast<uint32_t>(std::max(side, 0)) * static_cast<uint32_t>(zoom) / 100u);
}

std::optional<int> FitZoom(int32_t clientW, int32_t clientH, int32_t pictureW, int32_t pictureH) {
  if (clientH <= 0 || pictureW <= 0 || pictureH <= 0) return std::nullopt;
  const int64_t client = int64_t{std::max(clientW, 0)} * 1000 / clientH;
  const int64_t picture = int64_t{pictureW} * 1000 / pictureH;
  const int64_t zoom = client >= picture ? int64_t{clientH} * 100 / pictureH : int64_t{std::max(clientW, 0)} * 100 / pictureW;
  return static_cast<int>(std::min<int64_t>(zoom, 1 << 30));
}

int32_t KeepCentre(int32_t position, int32_t half, int32_t oldSize, int32_t newSize) {
  if (oldSize <= 0) return 0;
  return static_cast<int32_t>((int64_t{position} + half) * newSize / oldSize - half);
}

std::optional<int> MenuZoomIn(int zoom) {
  if (zoom > 200) return std::nullopt;
  return zoom * 2;
}

std::optional<int> MenuZoomOut(int zoom) {
  if (zoom < 50) return std::nullopt;
  return zoom / 2;
}

std::optional<int> KeyZoomIn(int zoom) {
  if (zoom >= kMaxZoom) return std::nullopt;
  return std::min(zoom * 2, kMaxZoom);
}

std::optional<int> KeyZoomOut(int zoom) {
  if (zoom <= kMinZoom) return std::nullopt;
  return std::max(zoom / 2, kMinZoom);
}

std::optional<Command> NavigationKey(int key, Qt::KeyboardModifiers modifiers) {
  if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return std::nullopt;
  switch (key) {
    case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Space: case Qt::Key_Right: return kNext;
    case Qt::Key_Left: return kPrevious;
    case Qt::Key_Up: return kFirst;
    case Qt::Key_Down: return kLast;
    default: return std::nullopt;
  }
}

QString Caption(const QString& base, int index, int zoom) {
  return base + " [ Image" + QString::asprintf("%03d ", index + 1) + QString::number(zoom) + "% ]";
}

}  // namespace exporters::viewer
