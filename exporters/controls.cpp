#include "controls.h"

#include <QColorDialog>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/replaceable.h"

namespace exporters {

// ---- LimitSpinBox ------------------------------------------------------------------------------

namespace {
// What the user may type: any number of up to five digits.
constexpr int kTypedMin = 0;
constexpr int kTypedMax = 99999;
}  // namespace

LimitSpinBox::LimitSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(kTypedMin, kTypedMax);
  lo_ = kTypedMin;
  hi_ = kTypedMax;
}

void LimitSpinBox::SetLimits(int lo, int hi) {
  lo_ = lo;
  hi_ = std::max(lo, hi);
}

void LimitSpinBox::SetValue(int value) { setValue(std::clamp(value, lo_, hi_)); }

bool LimitSpinBox::ShowValidity() {
  const bool ok = Valid();
  QPalette p = palette();
  p.setColor(QPalette::Text, ok ? QColor(Qt::black) : QColor(Qt::red));
  setPalette(p);
  return ok;
}

// ---- RadioGroup ----------------------------------------------------------------------------------

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent) { new QVBoxLayout(this); }

void RadioGroup::SetItems(const QStringList& texts) {
  for (int i = 0; i < texts.size(); ++i) {
    if (i < Count()) {
      Item(i)->setText(texts[i]);
      continue;
    }
    auto* item = new QRadioButton(texts[i], this);
    layout()->addWidget(item);
    items_.push_back(item);
    connect(item, &QRadioButton::toggled, this, [this, i](bool on) {
      if (!on || index_ == i) return;
      index_ = i;
      if (!silent_ && OnClick) OnClick();
    });
  }
}

void RadioGroup::SetItemIndex(int index) {
  if (index < 0 || index >= Count()) {
    if (index_ < 0) return;
    // Radio buttons of one group cannot all be cleared while exclusive.
    for (QRadioButton* item : items_) item->setAutoExclusive(false);
    for (QRadioButton* item : items_) item->setChecked(false);
    for (QRadioButton* item : items_) item->setAutoExclusive(true);
    index_ = -1;
    return;
  }
  Item(index)->setChecked(true);
}

void RadioGroup::SetItemIndexSilently(int index) {
  silent_ = true;
  SetItemIndex(index);
  silent_ = false;
}

// ---- colours -------------------------------------------------------------------------------------

QColor FromColorRef(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

int32_t ToColorRef(const QColor& colour) {
  return static_cast<int32_t>(static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
                              static_cast<uint32_t>(colour.blue()) << 16);
}

namespace {
class QtColourDialogs final : public ColourDialogs {
 public:
  bool choose(QWidget* owner, QColor& colour) override {
    const QColor chosen = QColorDialog::getColor(colour, owner);
    if (!chosen.isValid()) return false;
    colour = chosen;
    return true;
  }
};
platform::Replaceable<ColourDialogs, QtColourDialogs> g_colourDialogs;
}  // namespace

ColourDialogs& colourDialogs() { return g_colourDialogs.get(); }
ColourDialogs* setColourDialogs(ColourDialogs* dialogs) { return g_colourDialogs.install(dialogs); }

}  // namespace exporters
