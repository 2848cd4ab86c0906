// The icon bar's buttons: large icons with a label, laid out in two columns on the
// icon panel, that rise under the pointer (hot), sink when pressed, and rest flat
// otherwise. One CIcons is one page of the bar; the main window turns its clicks into
// commands.
#pragma once

#include <QPixmap>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class QFrame;
class QLabel;
class QWidget;

namespace workspace {

class CIcon {
 public:
  enum State { Normal = 0, Hot = 1, Pressed = 2 };
  static constexpr int kLabelWidth = 74;
  static constexpr int kLabelHeight = 38;  // two lines of the largest caption font
  static constexpr int kBevelSize = 70;
  // The bar's page left of the picture of its right edge: labels stay inside it.
  static constexpr int kPageWidth = 144;

  // A label is centred under its icon where the page lets it be, and a caption wider
  // than the label breaks into two lines, in every language (Japanese breaks between
  // most characters).
  CIcon(QWidget* parent, int languageId);
  ~CIcon();
  CIcon(const CIcon&) = delete;
  CIcon& operator=(const CIcon&) = delete;

  void SetBitmap(const QPixmap& bitmap);
  // Rests the icon at (x, y): image, label and bevel where the normal state has them.
  void PlaceAt(int x, int y);
  void SetCaption(const QString& text);
  void Show(bool on);
  // Whether the point lies in the bevel's square, edges included.
  bool HitTest(int px, int py) const;
  // Places the controls for the state when the icon is available and the state
  // differs; a state other than the three is only stored.
  void SetState(int state);

  QLabel* image() const { return image_; }
  QLabel* label() const { return label_; }
  QFrame* bevel() const { return bevel_; }
  bool available = true;
  bool shown = false;
  int x = 0;
  int y = 0;
  int state = Normal;

 private:
  void Arrange(int state);
  QLabel* image_;
  QLabel* label_;
  QFrame* bevel_;
};

class CIcons {
 public:
  static constexpr int kMaxIcons = 20;

  explicit CIcons(QWidget* owner, int languageId);
  ~CIcons();

  // Makes icon `index` from picture `index` of the list and rests it at its place in
  // the grid: x = (index mod 2) x 75 + 22, y = (index div 2) x 75 + 90.
  void AddIcon(const std::vector<QPixmap>& list, int index);
  // Shows or hides the page: available icons as asked, unavailable ones never. Every
  // icon returns to rest at its place.
  void Show(bool on);
  // An icon the model does not offer: hidden for good, and it never changes its look.
  void SetAvailable(int index, bool on);
  // The first icon whose square holds the point (owner's coordinates), -1 for none.
  // An unavailable icon still answers.
  int IndexAt(int px, int py) const;
  void MouseMove(int px, int py);
  void MouseDown(int px, int py);
  void MouseUp(int px, int py);
  void ResetStates();

  int Count() const { return count_; }
  int HotIndex() const { return hot_; }
  // Whether the pointer is followed beyond the icon (outside the panel too).
  bool Captured() const { return captured_; }
  CIcon* Icon(int index) const;

 private:
  QWidget* owner_;
  int language_;
  std::array<std::unique_ptr<CIcon>, kMaxIcons> icons_;
  int count_ = 0;
  int hot_ = -1;
  bool captured_ = false;
};

}  // namespace workspace
