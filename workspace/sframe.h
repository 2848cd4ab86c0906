// One thumbnail cell of the album grid: a white 115 x 105 panel holding the picture,
// its drop shadow and its number. The cell handles its own mouse: click, Shift and
// Ctrl selection, the start of a drag and the double click that opens the viewer.
#pragma once

#include <QFrame>
#include <QPixmap>
#include <QPoint>
#include <string>

class QLabel;

namespace workspace {

class IFlames;

class SFrame {
 public:
  static constexpr int kWidth = 115;
  static constexpr int kHeight = 105;

  // Makes the four controls on `parent`, not selected, for the album `album`.
  SFrame(QWidget* parent, IFlames& album);
  ~SFrame();
  SFrame(const SFrame&) = delete;
  SFrame& operator=(const SFrame&) = delete;

  void SetShadow(const QPixmap& picture);
  // Loads the file into the picture and gives the shadow the picture's size; a file
  // that does not exist or cannot be read changes nothing. True when loaded.
  bool LoadPicture(const std::string& path);
  // Shows what another cell shows (a moved picture keeps its look without a reload).
  void CopyPicture(const SFrame& other);
  // Number = index + 1, shown as three digits; every control carries it as its Tag.
  void SetIndex(int index);
  void ShowAt(int left, int top);
  void Select(bool on);

  bool selected() const { return selected_; }
  int number() const { return number_; }
  int index() const { return number_ - 1; }
  QFrame* panel() const { return panel_; }
  QLabel* shadow() const { return shadow_; }
  QLabel* picture() const { return picture_; }
  QLabel* label() const { return label_; }

  // The cell's mouse (positions in the panel's own coordinates).
  void CellMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
  void CellMouseMove(QPoint pos);
  void CellMouseUp(Qt::MouseButton button, QPoint pos);
  void CellDblClick();
  void CellContextMenu(QPoint globalPos);

 private:
  IFlames& album_;
  bool selected_ = false;
  bool shownSelected_ = false;
  int number_ = 0;
  QPoint pressPos_;
  QFrame* panel_;
  QLabel* shadow_;
  QLabel* picture_;
  QLabel* label_;
};

}  // namespace workspace
