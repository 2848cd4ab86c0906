#include "sheet_layout.h"

#include <algorithm>
#include <cctype>

#include "workspace/file_name.h"

namespace exporters {

CellRect CellPanel(int i, int n, int areaWidth, int areaHeight) {
  const int pitchX = areaWidth / n, pitchY = areaHeight / n;
  return CellRect{(i % n) * pitchX + 1, (i / n) * pitchY + 1, pitchX - 1, pitchY - 1};
}

int VerticalLineX(int j, int n, int areaWidth) { return (j + 1) * (areaWidth / n); }

int HorizontalLineY(int j, int n, int areaHeight) { return (j + 1) * (areaHeight / n); }

CellRect CellImage(int pw, int ph, int w, int h) {
  CellRect r{0, 0, pw, ph};
  if (w <= 0 || h <= 0) return r;
  if (int64_t(w) * 3 > int64_t(h) * 4) {
    r.width = pw;
    r.height = static_cast<int>(int64_t(h) * pw / w);
  } else {
    r.width = static_cast<int>(int64_t(ph) * w / h);
    r.height = ph;
  }
  r.left = (pw - r.width) / 2;
  r.top = (ph - r.height) / 2;
  return r;
}

CellRect SheetCell(int i, int n, int sheetWidth, int sheetHeight) {
  const int w = sheetWidth / n, h = sheetHeight / n;
  return CellRect{(i % n) * w, (i / n) * h, w, h};
}

uint32_t GridLineColour(uint32_t background) {
  background &= 0xFFFFFF;
  return background == 0x808080 ? 0xFFFFFF : 0xFFFFFF - background;
}

int DropCell(int x, int y, int n, int count) {
  for (int i = 0; i < count; ++i) {
    if (CellPanel(i, n).StrictlyContains(x, y)) return i;
  }
  return count;
}

std::string WithSheetExtension(const std::string& name, const std::string& ext) {
  std::string current = workspace::FileName(name).GetExt();
  std::transform(current.begin(), current.end(), current.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (current == ext) return name;
  // The folder stays whatever dots it holds; a name that is all extension keeps none.
  const size_t slash = name.rfind('/');
  const size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
  return name.substr(0, dot) + "." + ext;
}

}  // namespace exporters
