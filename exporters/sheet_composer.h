// Composing and writing a multi-image sheet: a canvas of the sheet's size in the
// background colour, and the picture of each filled cell fitted into its cell (its
// aspect kept, centred on the background colour). The sheet is written as JPEG (2x2
// sampling) or as a 24-bit BMP, whole or not at all: a sheet that fails or is stopped
// leaves the target as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace workspace {
class CImageOpe;
}

namespace exporters {

struct SheetJob {
  int width = 640;   // pixels of the sheet
  int height = 480;
  int grid = 3;      // n: the sheet holds n x n cells
  uint32_t background = 0xFFFFFF;  // 0x00BBGGRR
  int format = 0;    // 0 JPEG, 1 BMP
  int quality = 75;  // JPEG quality
  // The picture file of each of the n x n cells, "" for an empty cell.
  std::vector<std::string> cells;
};

enum class SheetResult { Written, Stopped, Failed };

// Writes the sheet to `target`. `stopped` is asked before each cell and `pending` runs
// after each (the caller's event processing). A cell whose picture cannot be read stays
// background and the sheet goes on. `engine` decodes capture frames and fits the pictures.
SheetResult ComposeSheet(const SheetJob& job, const std::string& target, workspace::CImageOpe& engine,
                         const std::function<bool()>& stopped = {}, const std::function<void()>& pending = {});

}  // namespace exporters
