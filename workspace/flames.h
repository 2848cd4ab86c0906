// The album: at most 200 pictures in order, each a record (FlameInfo) and a numbered
// thumbnail cell (SFrame) in the main window's scroll box, with the selection and the
// grid layout that reflows with the box's width.
//
// The slots stay dense: items are 0 to Count() - 1, each with its record and its cell.
// Items are added only at the end, moved only within the album or onto its end, and
// removed by compacting the rest, so no slot is ever empty or a copy of another.
//
// Cell positions are in the coordinates of the scroll box's content: cell i lies at
// x = (i mod columns) x 118 + 3, y = (i div columns) x 108 + 3, whatever the scroll
// position; the content is as large as the cells need and at least as large as the
// box's view.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "flame_info.h"
#include "platform/clock.h"

class QScrollArea;
class QWidget;

namespace workspace {

class SFrame;

// What the cells ask of the window that shows the album.
class GridHost {
 public:
  virtual ~GridHost() = default;
  // A cell was pressed with any button: the Properties command becomes available.
  virtual void CellPressed(int /*index*/) {}
  // The context menu was asked for on a cell.
  virtual void CellContextMenu(int /*index*/, QPoint /*globalPos*/) {}
  // A pressed cell was moved: the drag of the selection starts (and ends) here.
  virtual void StartDrag() {}
  // A cell was double-clicked: the viewer opens on the selection.
  virtual void CellDoubleClicked() {}
};

class IFlames {
 public:
  static constexpr int kCellPitchX = 118;
  static constexpr int kCellPitchY = 108;
  static constexpr int kMargin = 3;
  // Selection bounds when nothing is selected.
  static constexpr int kNoFirst = 4095;
  static constexpr int kNoLast = 0;
  // The pressed index when no cell is pressed.
  static constexpr int kNotPressed = 65535;

  // An empty album over the scroll box `owner`, whose widget holds the cells.
  explicit IFlames(QScrollArea* owner, GridHost* host = nullptr);
  // Removes the items with their files.
  ~IFlames();
  IFlames(const IFlames&) = delete;
  IFlames& operator=(const IFlames&) = delete;

  int Count() const { return count_; }
  FlameInfo* Record(int index) const;
  SFrame* Cell(int index) const;
  int SelectedCount() const { return selCount_; }
  int FirstSelected() const { return firstSel_; }
  int LastSelected() const { return lastSel_; }
  int ClickMode() const { return clickMode_; }
  int Columns() const { return columns_; }
  bool ButtonDown() const { return buttonDown_; }
  QScrollArea* Owner() const { return owner_; }
  GridHost* Host() const { return host_; }
  // The picture every cell shows as its shadow.
  void SetShadowPicture(const QPixmap& picture);

  // The position of cell `index` in `pos`; returns the number of columns.
  int CellPos(int index, QPoint& pos) const;
  // The number of columns the box's view width gives (at least 1).
  int ColumnsForWidth() const;
  // Adds an item at the end of the album: a new record and a new cell showing the
  // thumbnail, placed. False, with nothing changed, for an index other than Count()
  // or when the album is full.
  bool AddItem(int index, const std::string& thumbPath);
  // Moves the cell to its grid position and shows it, then processes pending events.
  void PlaceItem(int index);
  // Scrolls the box so that item `first` is in view, and as many of the items after it up
  // to `last` as fit.
  void ShowItems(int first, int last);
  // When the number of columns changed: back to the top and every cell re-placed.
  // Keeps the content's size fitting the cells and the view in any case.
  void Relayout();
  // The record of `source` is copied to `target`, whose cell then shows the source's
  // picture, deselected; a target at the end of the album becomes a new item. False
  // when either index lies outside the album (the target may be Count(), the end, as
  // long as the album is not full).
  bool MoveItem(int target, int source);
  static void CopyRecord(FlameInfo& target, const FlameInfo& source);
  // Removes the selected items (with their working copies and thumbnails when
  // deleteFiles) and closes the gaps; false when nothing is selected.
  bool DeleteSelected(bool deleteFiles);
  // Deletes the thumbnail and the working copy of an item, each unless another item
  // (one not in `leaving`) names the same file.
  void DeleteItemFiles(int index, const std::vector<bool>* leaving = nullptr);
  // Removes the last item with its files; the new last index, -1 when it was empty.
  int RemoveLast();

  void SelectRange(int a, int b);
  void SelectAll(bool on);
  void CountSelected();
  int PrevSelected(int index) const;
  int NextSelected(int index) const;
  bool IsCentreInside(int index, int left, int top, int right, int bottom) const;
  // Selects the items whose cell centre lies strictly inside the rectangle (content
  // coordinates), deselects the others; does not recount.
  void SelectInRect(int left, int top, int right, int bottom);
  // The item whose cell strictly contains the screen point, -1 for none.
  int IndexAt(QPoint globalPos) const;
  // While something is dragged near the view's top or bottom edge: scrolls towards
  // it by up to 20 pixels, at most once every 30 ms.
  void DragAutoScroll(QPoint globalPos, platform::Clock& clock = platform::SystemClock::instance());

  // The cell being pressed, shared by all cells.
  static int PressedIndex;

 private:
  friend class SFrame;
  void UpdateExtent();
  void PlaceCell(int index);
  void FreeSlot(int index);
  QWidget* content() const;

  std::array<std::unique_ptr<FlameInfo>, kAlbumLimit> records_;
  std::array<std::unique_ptr<SFrame>, kAlbumLimit> cells_;
  int count_ = 0;
  int clickMode_ = 0;
  int selCount_ = 0;
  int firstSel_ = kNoFirst;
  int lastSel_ = kNoLast;
  bool buttonDown_ = false;
  int columns_ = 0;
  QScrollArea* owner_;
  GridHost* host_;
  QPixmap shadow_;
  bool haveScrolled_ = false;
  uint64_t lastScrollMs_ = 0;
};

}  // namespace workspace
