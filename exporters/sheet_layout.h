// The geometry of the multi-image sheet: where its cells lie in the editor's sheet area
// and on the saved sheet, how a picture sits in a cell on screen, the colour of the grid
// lines, which cell a drop lands in, and the saved file's extension.
#pragma once

#include <cstdint>
#include <string>

namespace exporters {

// The cells of a sheet (up to 4 x 4) and the editor's sheet area.
inline constexpr int kSheetCells = 16;
inline constexpr int kSheetAreaWidth = 240;
inline constexpr int kSheetAreaHeight = 186;

struct CellRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const CellRect&) const = default;
  // Strictly inside: points on the edges belong to no cell.
  bool StrictlyContains(int x, int y) const {
    return left < x && x < left + width && top < y && y < top + height;
  }
};

// The panel of cell i (row-major) in an n x n grid on the sheet area: the grid's pitch
// is the area divided by n (integer division), and a panel leaves the pitch's first
// row and column to the grid line.
CellRect CellPanel(int i, int n, int areaWidth = kSheetAreaWidth, int areaHeight = kSheetAreaHeight);
// The position of grid line j (0 <= j < n - 1): the x of a vertical line, the y of a
// horizontal one.
int VerticalLineX(int j, int n, int areaWidth = kSheetAreaWidth);
int HorizontalLineY(int j, int n, int areaHeight = kSheetAreaHeight);

// A w x h picture in a panel of pw x ph: pictures wider than 4:3 fill the width,
// the others the height, the aspect kept (integer division), centred (halves rounded
// toward zero). A size of 0 fills the panel.
CellRect CellImage(int pw, int ph, int w, int h);

// Cell i of an n x n sheet of W x H pixels: W / n by H / n (integer division) at its
// column and row; what is left at the right and bottom edges belongs to no cell.
CellRect SheetCell(int i, int n, int sheetWidth, int sheetHeight);

// The colour of the grid lines over a background (both 0x00BBGGRR): the opposite
// colour, except white over mid grey, whose opposite could not be seen.
uint32_t GridLineColour(uint32_t background);

// The first of the first `count` cells of an n x n grid whose panel strictly contains
// the point (sheet area coordinates); `count` when none does.
int DropCell(int x, int y, int n, int count);

// The chosen save name with the extension the format needs: a name whose extension,
// in lower case, is `ext` stays as it is; any other loses its extension (from the first
// dot of its file name) and gets "." + ext.
std::string WithSheetExtension(const std::string& name, const std::string& ext);

}  // namespace exporters
