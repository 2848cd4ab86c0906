// Controls and small services the viewer and the option dialogs share.
#pragma once

#include <QColor>
#include <QGroupBox>
#include <QSpinBox>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

class QRadioButton;

namespace exporters {

// A number edit with limits that the user may type past: a value outside them is
// shown in red, and the dialog refuses it (its OK button is disabled) until it is
// corrected. Values set from code are held to the limits and run the change handler
// only when the shown value changes.
class LimitSpinBox : public QSpinBox {
 public:
  explicit LimitSpinBox(QWidget* parent = nullptr);

  // The limits; the shown value is not changed (call ShowValidity to re-check it).
  void SetLimits(int lo, int hi);
  int Lo() const { return lo_; }
  int Hi() const { return hi_; }
  // Sets the value held to the limits.
  void SetValue(int value);
  bool Valid() const { return value() >= lo_ && value() <= hi_; }
  // Black text when the value lies within the limits, red otherwise; returns Valid().
  bool ShowValidity();

 private:
  int lo_ = 0;
  int hi_ = 0;
};

// A titled group of radio buttons of which one item is selected. Selecting an item from
// code runs OnClick as a click does, whenever the selection changes.
class RadioGroup : public QGroupBox {
 public:
  explicit RadioGroup(QWidget* parent = nullptr);

  void SetItems(const QStringList& texts);
  int ItemIndex() const { return index_; }
  // -1 clears the selection.
  void SetItemIndex(int index);
  // Selects without running OnClick.
  void SetItemIndexSilently(int index);
  QRadioButton* Item(int index) const { return items_.at(static_cast<size_t>(index)); }
  int Count() const { return static_cast<int>(items_.size()); }

  std::function<void()> OnClick;

 private:
  std::vector<QRadioButton*> items_;
  int index_ = -1;
  bool silent_ = false;
};

// Colours as the settings file keeps them: 0x00BBGGRR.
QColor FromColorRef(int32_t value);
int32_t ToColorRef(const QColor& colour);

// The colour dialog: the toolkit's own unless tests installed another.
class ColourDialogs {
 public:
  virtual ~ColourDialogs() = default;
  // Shows the dialog modally over `owner` starting at `colour`; true with the chosen
  // colour in `colour` when the user chose one.
  virtual bool choose(QWidget* owner, QColor& colour) = 0;
};
ColourDialogs& colourDialogs();
// Installs `dialogs` (nullptr: the toolkit's own again) and returns the one it replaces.
ColourDialogs* setColourDialogs(ColourDialogs* dialogs);

}  // namespace exporters
