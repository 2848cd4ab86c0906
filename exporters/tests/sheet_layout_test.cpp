// The sheet's geometry for 4, 9 and 16 cells: panels and grid lines in the editor, a
// picture inside a panel, cells of the saved sheet, drops, grid line colours and the
// saved name's extension.
#include "exporters/sheet_layout.h"

#include <gtest/gtest.h>

namespace {

using namespace exporters;

TEST(SheetLayout, PanelsAndGridLinesOfTheEditor) {
  struct Case {
    int n, cell;
    CellRect panel;
  } cases[] = {
      // 2 x 2: pitch 120 x 93
      {2, 0, {1, 1, 119, 92}}, {2, 3, {121, 94, 119, 92}},
      // 3 x 3: pitch 80 x 62
      {3, 0, {1, 1, 79, 61}}, {3, 4, {81, 63, 79, 61}}, {3, 8, {161, 125, 79, 61}}, {3, 5, {161, 63, 79, 61}},
      // 4 x 4: pitch 60 x 46
      {4, 5, {61, 47, 59, 45}}, {4, 15, {181, 139, 59, 45}}, {4, 12, {1, 139, 59, 45}},
  };
  for (const Case& c : cases) EXPECT_EQ(CellPanel(c.cell, c.n), c.panel) << c.n << " cell " << c.cell;

  struct Lines {
    int n;
    std::vector<int> x, y;
  } lines[] = {{2, {120}, {93}}, {3, {80, 160}, {62, 124}}, {4, {60, 120, 180}, {46, 92, 138}}};
  for (const Lines& l : lines) {
    for (int j = 0; j < l.n - 1; ++j) {
      EXPECT_EQ(VerticalLineX(j, l.n), l.x[size_t(j)]) << l.n;
      EXPECT_EQ(HorizontalLineY(j, l.n), l.y[size_t(j)]) << l.n;
    }
  }
}

TEST(SheetLayout, PictureInsideAPanel) {
  struct Case {
    int pw, ph, w, h;
    CellRect image;
  } cases[] = {
      {79, 61, 720, 480, {0, 4, 79, 52}},    // wider than 4:3: full width
      {79, 61, 480, 640, {17, 0, 45, 61}},   // portrait: full height, centred
      {79, 61, 0, 0, {0, 0, 79, 61}},        // an empty cell fills its panel
      {79, 61, 640, 480, {-1, 0, 81, 61}},   // exactly 4:3 goes by the height
      {59, 45, 1920, 1080, {0, 6, 59, 33}},
      {119, 92, 100, 75, {-1, 0, 122, 92}},
  };
  for (const Case& c : cases) EXPECT_EQ(CellImage(c.pw, c.ph, c.w, c.h), c.image) << c.w << "x" << c.h;
}

TEST(SheetLayout, CellsOfTheSavedSheet) {
  struct Case {
    int n, cell, w, h;
    CellRect rect;
  } cases[] = {
      {3, 4, 640, 480, {213, 160, 213, 160}},  // centred at (319, 240)
      {3, 8, 640, 480, {426, 320, 213, 160}},  // column 639 belongs to no cell
      {2, 3, 640, 480, {320, 240, 320, 240}},
      {4, 15, 1024, 768, {768, 576, 256, 192}},
      {4, 6, 800, 600, {400, 150, 200, 150}},
      {3, 2, 720, 540, {480, 0, 240, 180}},
  };
  for (const Case& c : cases) EXPECT_EQ(SheetCell(c.cell, c.n, c.w, c.h), c.rect) << c.n << " cell " << c.cell;
  const CellRect centre = SheetCell(4, 3, 640, 480);
  EXPECT_EQ(centre.left + centre.width / 2, 319);
  EXPECT_EQ(centre.top + centre.height / 2, 240);
}

TEST(SheetLayout, GridLineColours) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0x808080, 0xFFFFFF}, {0x000000, 0xFFFFFF}, {0xFFFFFF, 0x000000}, {0x123456, 0xEDCBA9}, {0x7F7F7F, 0x808080},
      {0x02FFFFFF, 0x000000},  // only the colour's low 24 bits count
  };
  for (auto [background, line] : cases) EXPECT_EQ(GridLineColour(background), line) << std::hex << background;
}

TEST(SheetLayout, CellUnderADrop) {
  struct Case {
    int x, y, n, cell;
  } cases[] = {
      {180, 140, 2, 3},  // inside cell 3 of 2 x 2
      {10, 10, 2, 0},
      {120, 50, 2, 4},   // on the grid line between two cells: none, so the first hidden cell
      {121, 50, 2, 4},   // a panel's own edge is not inside it
      {122, 50, 2, 1},
      {250, 10, 3, 9},   // beyond the sheet area
      {100, 100, 3, 4},
      {200, 170, 4, 15},
  };
  for (const Case& c : cases) EXPECT_EQ(DropCell(c.x, c.y, c.n, c.n * c.n), c.cell) << c.x << "," << c.y;
}

TEST(SheetLayout, SavedNameGetsTheFormatsExtension) {
  struct Case {
    const char* chosen;
    const char* ext;
    const char* saved;
  } cases[] = {
      {"/d/MLTIMG001.jpg", "jpg", "/d/MLTIMG001.jpg"},
      {"/d/Sheet.JPG", "jpg", "/d/Sheet.JPG"},  // the extension in capitals stays as typed
      {"/d/sheet.png", "jpg", "/d/sheet.jpg"},
      {"/d/sheet.jpeg", "jpg", "/d/sheet.jpg"},
      {"/d/sheet.jpg", "bmp", "/d/sheet.bmp"},
      {"/d/my.sheet.png", "bmp", "/d/my.bmp"},       // the name ends at its first dot
      {"/d.v2/sheet.png", "jpg", "/d.v2/sheet.jpg"},  // dots of folders stay
      {"/d/sheet", "jpg", "/d/sheet.jpg"},
      {"/d/.png", "jpg", "/d/.jpg"},
  };
  for (const Case& c : cases) EXPECT_EQ(WithSheetExtension(c.chosen, c.ext), c.saved) << c.chosen;
}

}  // namespace
