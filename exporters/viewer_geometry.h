// The viewer's arithmetic and keys: zoom limits and steps, fitting a picture to the
// window, keeping the centre of the view while zooming, the window title, and the keys
// that move through the album.
#pragma once

#include <QString>
#include <Qt>
#include <cstdint>
#include <optional>

namespace exporters::viewer {

// The commands of the viewer's Navigate, as the menu items and buttons carry them in their Tag.
enum Command { kStop = 0, kFirst = 1, kPrevious = 2, kNext = 3, kLast = 4, kStart = 5 };

constexpr int kMinZoom = 20;
constexpr int kMaxZoom = 400;

int ClampZoom(int zoom);
// A side at a zoom: side x zoom / 100, the fraction dropped.
int32_t Scaled(int32_t side, int zoom);
// The zoom that fits a picture into a client area: by height when the client is at
// least as wide for its height as the picture, else by width; nothing for a client of
// no height or a picture of no size.
std::optional<int> FitZoom(int32_t clientW, int32_t clientH, int32_t pictureW, int32_t pictureH);
// A scroll position that keeps the point at the centre of the view (half the client's
// side from the position) in place when the content grows from oldSize to newSize.
int32_t KeepCentre(int32_t position, int32_t half, int32_t oldSize, int32_t newSize);

// The zoom steps: the menu doubles up to 200 and halves down from 50; the keys double
// up to 400 and halve down to 20. Nothing when the step does not apply.
std::optional<int> MenuZoomIn(int zoom);
std::optional<int> MenuZoomOut(int zoom);
std::optional<int> KeyZoomIn(int zoom);
std::optional<int> KeyZoomOut(int zoom);

// The command of a navigation key (Enter, Space and Right next, Left previous, Up first,
// Down last) pressed without modifiers; nothing for any other key.
std::optional<Command> NavigationKey(int key, Qt::KeyboardModifiers modifiers);

// "<base> [ Image012 37% ]" for index 11 at 37 percent.
QString Caption(const QString& base, int index, int zoom);

}  // namespace exporters::viewer
