// The pictures of the camcorder panel: its body, and five pictures for each of its image
// buttons (by state: bit 0 pressed, bit 1 lit, and 4 disabled).
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <array>

namespace capture {

inline constexpr int kPanelWidth = 312;
inline constexpr int kPanelHeight = 203;

enum ButtonState : int { kButtonPressed = 1, kButtonLit = 2, kButtonDisabled = 4 };

QPixmap PanelBody();
// The pictures of the button of that component name, in the button's size.
std::array<QPixmap, 5> ButtonPictures(const QString& name, QSize size);

// Whether a point of a button lies in its hit area: an ellipse of radii (rx, ry) centred
// on the button, or, for the capture and automatic buttons, half an ellipse of radii
// (50, 25) centred on the button's right (capture) or left (automatic) edge, 3 pixels
// below its middle.
struct HitArea {
  enum Kind { Ellipse, RightHalf, LeftHalf } kind = Ellipse;
  int rx = 0, ry = 0;
};
HitArea HitAreaOf(const QString& name);
bool InHitArea(const HitArea& area, int x, int y, int width, int height);

}  // namespace capture
