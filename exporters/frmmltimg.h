// The multi-image sheet editor: a window that stays on top, in which the selected album
// pictures are laid out in a grid of 2 x 2, 3 x 3 or 4 x 4 cells on a background colour
// and saved as one JPEG or BMP picture of the size chosen in the output picture
// settings. Picture files dropped from the desktop refill cells (imported by the
// window's own picture engine, which leaves the album alone), cells are copied onto each
// other by dragging, and emptied from their context menu. While it is shown the main
// window's menus are disabled.
#pragma once

#include <QPoint>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exporters/sheet_composer.h"
#include "exporters/sheet_layout.h"
#include "platform/form.h"

class QAction;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QMenu;

namespace Ui {
class frmMltImg;
}

namespace workspace {
class AlbumHost;
class CImageOpe;
}  // namespace workspace

namespace exporters {

// One cell of the sheet. A cell is filled when its width and height are both above 0.
struct MultiCell {
  int32_t albumIndex = -1;  // the album position it was filled from; -1 for a dropped file or none
  uint32_t width = 0;       // pixels of the picture
  uint32_t height = 0;
  std::string source;       // the picture's working copy
  std::string thumbnail;
  bool Filled() const { return width > 0 && height > 0; }
  bool operator==(const MultiCell&) const = default;
};

// A one-pixel dotted grid line over the sheet area.
class GridLine : public QWidget {
 public:
  explicit GridLine(QWidget* parent) : QWidget(parent) {}
  void SetColour(uint32_t colour);
  uint32_t Colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  uint32_t colour_ = 0;
};

// How the sheet asks for its output settings: shows the output picture settings dialog
// for the record as set and returns true when the user confirmed it. The program's own
// shows frmImgFmt; tests install their own.
using SettingsDialog = bool (*)(QWidget* owner);
SettingsDialog SetSettingsDialog(SettingsDialog dialog);  // nullptr: the program's own
// How the background colour is chosen: true and `chosen` (0x00BBGGRR) when the user
// confirmed a colour.
using ColourDialog = bool (*)(QWidget* owner, uint32_t initial, uint32_t& chosen);
ColourDialog SetColourDialog(ColourDialog dialog);  // nullptr: the program's own

class TfrmMltImg : public platform::Form {
  Q_OBJECT

 public:
  TfrmMltImg();
  ~TfrmMltImg() override;

  std::array<MultiCell, kSheetCells> Cells;
  // The accepted files of the last drop, and the cell the first of them went to.
  std::vector<std::string> DroppedFiles;
  int DropStart = 0;
  int CellCount = 9;  // n x n
  int GridSize = 3;   // n
  uint32_t Background = 0xFFFFFF;  // 0x00BBGGRR
  // How the last save ended.
  SheetResult LastResult = SheetResult::Written;

  void FillFromSelection();
  void SetCellCount(int n);
  void SetGridLines(int k);
  void LayoutCell(int i);
  void SetBackground(uint32_t colour);
  // Files dropped at a point of the sheet area: those holding exactly one picture fill
  // the cells from the one under the point (from the first hidden cell when the point
  // lies in no cell); files beyond cell 16 are left out.
  void DropFiles(const std::vector<std::string>& files, QPoint areaPos);
  void LoadDroppedFiles();
  void LoadCell(const std::string& path, int cell);
  bool CellDragOver(int source, int target) const;
  void CellDragDrop(int source, int target);
  // Empties the cell (as its context menu's Delete does).
  void DeleteCell(int cell);
  // Whether the sheet may be written to `path`: true when there is no such file or the
  // user agrees to replace it (it is replaced only once the new sheet is complete).
  bool ConfirmOverwrite(const std::string& path);
  // Writes the sheet as the output settings say; true when the file was written.
  bool SaveSheet(const std::string& path);

  workspace::CImageOpe& Engine() const { return *engine_; }
  QFrame* pnlMI() const;
  QComboBox* cbNum() const;
  QFrame* Panel(int i) const { return panels_[static_cast<size_t>(i)]; }
  QLabel* Image(int i) const { return images_[static_cast<size_t>(i)]; }
  GridLine* VerticalLine(int j) const { return vertical_[static_cast<size_t>(j)]; }
  GridLine* HorizontalLine(int j) const { return horizontal_[static_cast<size_t>(j)]; }
  QMenu* pmMulti() const { return pmMulti_; }
  // The cell whose context menu was opened last.
  int MenuCell() const { return menuCell_; }

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void cbNumChange(QObject*);
  void btnSaveClick(QObject*);
  void btnCloseClick(QObject*);
  void btnBColorClick(QObject*);
  void pmDeleteClick(QObject*);
  platform::LRESULT WMImageInfo(platform::WPARAM cell, platform::LPARAM);
  void ClearCell(int i);
  void ShowCellMenu(int cell, QPoint globalPos);

  std::unique_ptr<Ui::frmMltImg> ui_;
  std::unique_ptr<workspace::AlbumHost> host_;
  std::unique_ptr<workspace::CImageOpe> engine_;
  std::array<QFrame*, kSheetCells> panels_{};
  std::array<QLabel*, kSheetCells> images_{};
  std::array<GridLine*, 3> vertical_{};
  std::array<GridLine*, 3> horizontal_{};
  QMenu* pmMulti_ = nullptr;
  QAction* pmDelete_ = nullptr;
  int menuCell_ = -1;
  int pressedCell_ = -1;
  QPoint pressPos_;
  bool saving_ = false;
};

}  // namespace exporters
