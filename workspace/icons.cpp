#include "icons.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <algorithm>

#include "lang.h"
#include "platform/form.h"

namespace workspace {

CIcon::CIcon(QWidget* parent, int /*languageId*/)
    : image_(new QLabel(parent)), label_(new QLabel(parent)), bevel_(new QFrame(parent)) {
  for (QWidget* w : {static_cast<QWidget*>(image_), static_cast<QWidget*>(label_), static_cast<QWidget*>(bevel_)}) {
    // The panel under the icon takes its mouse: the pointer is tested against the squares.
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    w->hide();
  }
  label_->resize(kLabelWidth, kLabelHeight);
  label_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label_->setTextFormat(Qt::PlainText);
  label_->setWordWrap(true);
  bevel_->resize(kBevelSize, kBevelSize);
  bevel_->setFrameShape(QFrame::Panel);
  bevel_->setFrameShadow(QFrame::Raised);
  bevel_->setLineWidth(1);
  bevel_->lower();
}

CIcon::~CIcon() {
  delete image_;
  delete label_;
  delete bevel_;
}

void CIcon::SetBitmap(const QPixmap& bitmap) {
  image_->setPixmap(bitmap);
  image_->resize(bitmap.size());
}

void CIcon::Arrange(int s) {
  const int w = image_->width(), h = image_->height();
  const int offset = s == Hot ? -1 : s == Pressed ? 1 : 0;
  image_->move(x + offset, y + offset);
  const int left = std::clamp(x - (kLabelWidth - w) / 2, 0, kPageWidth - kLabelWidth);
  label_->move(left + offset, y + h + 4 + offset);
  bevel_->move(x - 20, y - 5);
}

void CIcon::PlaceAt(int px, int py) {
  x = px;
  y = py;
  Arrange(Normal);
}

void CIcon::SetCaption(const QString& text) {
  // A caption too wide for one line breaks at a blank where it has one, between its words,
  // rather than wherever its script allows a break (inside a Japanese word).
  QString shown = text;
  const QFontMetrics metrics(label_->font());
  if (metrics.horizontalAdvance(text) > kLabelWidth) {
    for (qsizetype blank = text.lastIndexOf(' '); blank > 0; blank = text.lastIndexOf(' ', blank - 1)) {
      if (metrics.horizontalAdvance(text.left(blank)) <= kLabelWidth) {
        shown[blank] = '\n';
        break;
      }
    }
  }
  label_->setText(shown);
}

void CIcon::Show(bool on) {
  image_->setVisible(on);
  label_->setVisible(on);
  shown = on;
}

bool CIcon::HitTest(int px, int py) const {
  return px >= x - 20 && px <= x - 20 + kBevelSize && py >= y - 5 && py <= y - 5 + kBevelSize;
}

void CIcon::SetState(int s) {
  if (!available || s == state) return;
  state = s;
  if (s < Normal || s > Pressed) return;
  Arrange(s);
  bevel_->setFrameShadow(s == Pressed ? QFrame::Sunken : QFrame::Raised);
  bevel_->setVisible(s != Normal);
}

// ---- a page --------------------------------------------------------------------------------

CIcons::CIcons(QWidget* owner, int languageId) : owner_(owner), language_(languageId) {}

CIcons::~CIcons() = default;

CIcon* CIcons::Icon(int index) const {
  return index >= 0 && index < kMaxIcons ? icons_[static_cast<size_t>(index)].get() : nullptr;
}

void CIcons::AddIcon(const std::vector<QPixmap>& list, int index) {
  if (index < 0 || index >= kMaxIcons || icons_[static_cast<size_t>(index)]) return;
  auto icon = std::make_unique<CIcon>(owner_, language_);
  if (static_cast<size_t>(index) < list.size()) icon->SetBitmap(list[static_cast<size_t>(index)]);
  icon->PlaceAt(index % 2 * 75 + 22, index / 2 * 75 + 90);
  platform::setTag(icon->image(), 256 + index);
  platform::setTag(icon->label(), 256 + index);
  icons_[static_cast<size_t>(index)] = std::move(icon);
  ++count_;
}

void CIcons::Show(bool on) {
  for (auto& icon : icons_) {
    if (!icon) continue;
    icon->Show(on && icon->available);
    // Back to rest at its own place, whatever look it had when the page was left.
    icon->PlaceAt(icon->x, icon->y);
    icon->state = CIcon::Normal;
    icon->bevel()->hide();
  }
  hot_ = -1;
  captured_ = false;
}

void CIcons::SetAvailable(int index, bool on) {
  CIcon* icon = Icon(index);
  if (!icon) return;
  if (!on) {
    icon->SetState(CIcon::Normal);
    icon->Show(false);
  }
  icon->available = on;
}

int CIcons::IndexAt(int px, int py) const {
  for (int i = 0; i < kMaxIcons; ++i) {
    if (icons_[static_cast<size_t>(i)] && icons_[static_cast<size_t>(i)]->HitTest(px, py)) return i;
  }
  return -1;
}

void CIcons::MouseMove(int px, int py) {
  const int i = IndexAt(px, py);
  if (i == hot_) return;
  if (i >= 0) {
    Icon(i)->SetState(CIcon::Hot);
    captured_ = true;
  } else {
    captured_ = false;
  }
  if (CIcon* old = Icon(hot_)) old->SetState(CIcon::Normal);
  hot_ = i;
}

void CIcons::MouseDown(int px, int py) {
  const int i = IndexAt(px, py);
  if (hot_ >= 0 && hot_ != i) Icon(hot_)->SetState(CIcon::Normal);
  if (i >= 0) Icon(i)->SetState(CIcon::Pressed);
  hot_ = i;
}

void CIcons::MouseUp(int px, int py) {
  const int i = IndexAt(px, py);
  if (hot_ >= 0 && hot_ != i) Icon(hot_)->SetState(CIcon::Normal);
  if (i >= 0) Icon(i)->SetState(CIcon::Hot);
  hot_ = i;
}

void CIcons::ResetStates() {
  for (auto& icon : icons_) {
    if (icon && icon->shown && (icon->state == CIcon::Hot || icon->state == CIcon::Pressed))
      icon->SetState(CIcon::Normal);
  }
  hot_ = -1;
}

}  // namespace workspace
