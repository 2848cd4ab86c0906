#include "flames.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

#include "sframe.h"

namespace workspace {

int IFlames::PressedIndex = IFlames::kNotPressed;

IFlames::IFlames(QScrollArea* owner, GridHost* host) : owner_(owner), host_(host) {
  if (!owner_->widget()) owner_->setWidget(new QWidget);
  owner_->setWidgetResizable(false);
}

IFlames::~IFlames() {
  while (RemoveLast() >= 0) {
  }
}

QWidget* IFlames::content() const { return owner_->widget(); }

FlameInfo* IFlames::Record(int index) const {
  return index >= 0 && index < count_ ? records_[static_cast<size_t>(index)].get() : nullptr;
}

SFrame* IFlames::Cell(int index) const {
  return index >= 0 && index < count_ ? cells_[static_cast<size_t>(index)].get() : nullptr;
}

void IFlames::SetShadowPicture(const QPixmap& picture) {
  shadow_ = picture;
  for (int i = 0; i < count_; ++i) cells_[static_cast<size_t>(i)]->SetShadow(shadow_);
}

// ---- layout -----------------------------------------------------------------------------

int IFlames::ColumnsForWidth() const { return std::max(1, owner_->viewport()->width() / kCellPitchX); }

int IFlames::CellPos(int index, QPoint& pos) const {
  const int columns = ColumnsForWidth();
  pos = QPoint(index % columns * kCellPitchX + kMargin, index / columns * kCellPitchY + kMargin);
  return columns;
}

void IFlames::PlaceCell(int index) {
  QPoint pos;
  columns_ = CellPos(index, pos);
  cells_[static_cast<size_t>(index)]->ShowAt(pos.x(), pos.y());
}

void IFlames::PlaceItem(int index) {
  if (index < 0 || index >= count_) return;
  PlaceCell(index);
  UpdateExtent();
  QCoreApplication::processEvents();
}

void IFlames::ShowItems(int first, int last) {
  if (first < 0 || last < first || last >= count_) return;
  // A point in the middle of a cell, with margins that reach its edges.
  auto show = [this](int index) {
    QPoint pos;
    CellPos(index, pos);
    const int w = SFrame::kWidth, h = SFrame::kHeight;
    owner_->ensureVisible(pos.x() + w / 2, pos.y() + h / 2, w - w / 2, h - h / 2);
  };
  // The last first: the first then comes into view, whatever fits of the rest.
  show(last);
  show(first);
}

void IFlames::Relayout() {
  if (count_ > 0 && ColumnsForWidth() != columns_) {
    owner_->verticalScrollBar()->setValue(0);
    for (int i = 0; i < count_; ++i) PlaceCell(i);
  }
  UpdateExtent();
}

// The content covers the view and every cell, so the scroll range reaches the last row
// and a press anywhere in the view lands on the content.
void IFlames::UpdateExtent() {
  const int columns = count_ > 0 && columns_ > 0 ? columns_ : ColumnsForWidth();
  const int rows = (count_ + columns - 1) / columns;
  const QSize view = owner_->viewport()->size();
  const QSize need(columns * kCellPitchX, rows > 0 ? rows * kCellPitchY + kMargin : 0);
  const QSize size = need.expandedTo(view);
  if (content()->size() != size) content()->resize(size);
}

// ---- items --------------------------------------------------------------------------------

bool IFlames::AddItem(int index, const std::string& thumbPath) {
  if (index != count_ || index >= kAlbumLimit) return false;
  const auto slot = static_cast<size_t>(index);
  records_[slot] = std::make_unique<FlameInfo>();
  cells_[slot] = std::make_unique<SFrame>(content(), *this);
  SFrame& cell = *cells_[slot];
  cell.SetIndex(index);
  cell.LoadPicture(thumbPath);
  cell.SetShadow(shadow_);
  ++count_;
  PlaceCell(index);
  UpdateExtent();
  return true;
}

bool IFlames::MoveItem(int target, int source) {
  if (source < 0 || source >= count_ || target < 0 || target > count_ || target >= kAlbumLimit) return false;
  if (target == count_ && !AddItem(target, {})) return false;
  const auto t = static_cast<size_t>(target), s = static_cast<size_t>(source);
  if (t != s) {
    cells_[t]->CopyPicture(*cells_[s]);
    CopyRecord(*records_[t], *records_[s]);
  }
  cells_[t]->Select(false);
  return true;
}

void IFlames::CopyRecord(FlameInfo& target, const FlameInfo& source) { target = source; }

void IFlames::FreeSlot(int index) {
  const auto slot = static_cast<size_t>(index);
  cells_[slot].reset();
  records_[slot].reset();
}

bool IFlames::DeleteSelected(bool deleteFiles) {
  CountSelected();
  if (count_ < 1 || selCount_ <= 0) return false;
  std::vector<bool> leaving(static_cast<size_t>(count_));
  for (int i = 0; i < count_; ++i) leaving[static_cast<size_t>(i)] = cells_[static_cast<size_t>(i)]->selected();
  if (deleteFiles) {
    for (int i = 0; i < count_; ++i) {
      if (leaving[static_cast<size_t>(i)]) DeleteItemFiles(i, &leaving);
    }
  }
  // Unselected items move down over the gaps, in order.
  if (selCount_ < count_) {
    int write = 0;
    for (int i = 0; i < count_; ++i) {
      if (leaving[static_cast<size_t>(i)]) continue;
      if (i != write) MoveItem(write, i);
      ++write;
    }
  }
  for (int i = count_ - selCount_; i < count_; ++i) FreeSlot(i);
  count_ -= selCount_;
  CountSelected();
  UpdateExtent();
  return true;
}

namespace {
// Removes a file (never a folder). A file that is gone is gone at once here, so there
// is nothing to wait for; one that cannot be removed stays until the work folder is
// cleaned at shut-down.
void removeFile(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}
}  // namespace

void IFlames::DeleteItemFiles(int index, const std::vector<bool>* leaving) {
  const FlameInfo* r = Record(index);
  if (!r) return;
  for (const std::string* path : {&r->thumbPath, &r->workPath}) {
    if (path->empty()) continue;
    bool namedElsewhere = false;
    for (int j = 0; j < count_ && !namedElsewhere; ++j) {
      if (j == index || (leaving && (*leaving)[static_cast<size_t>(j)])) continue;
      const FlameInfo& other = *records_[static_cast<size_t>(j)];
      namedElsewhere = other.thumbPath == *path || other.workPath == *path;
    }
    if (!namedElsewhere) removeFile(*path);
  }
}

int IFlames::RemoveLast() {
  if (count_ == 0) return -1;
  DeleteItemFiles(count_ - 1);
  FreeSlot(count_ - 1);
  --count_;
  CountSelected();
  UpdateExtent();
  return count_ - 1;
}

// ---- selection -------------------------------------------------------------------------------

void IFlames::SelectRange(int a, int b) {
  const int lo = std::min(a, b), hi = std::max(a, b);
  for (int i = 0; i < count_; ++i) cells_[static_cast<size_t>(i)]->Select(i >= lo && i <= hi);
  CountSelected();
}

void IFlames::SelectAll(bool on) {
  for (int i = 0; i < count_; ++i) cells_[static_cast<size_t>(i)]->Select(on);
  CountSelected();
}

void IFlames::CountSelected() {
  firstSel_ = kNoFirst;
  lastSel_ = kNoLast;
  selCount_ = 0;
  for (int i = 0; i < count_; ++i) {
    if (!cells_[static_cast<size_t>(i)]->selected()) continue;
    ++selCount_;
    firstSel_ = std::min(firstSel_, i);
    lastSel_ = std::max(lastSel_, i);
  }
}

int IFlames::PrevSelected(int index) const {
  for (int i = index - 1; i >= firstSel_ && i >= 0; --i) {
    if (i < count_ && cells_[static_cast<size_t>(i)]->selected()) return i;
  }
  return index;
}

int IFlames::NextSelected(int index) const {
  for (int i = index + 1; i <= lastSel_ && i < count_; ++i) {
    if (i >= 0 && cells_[static_cast<size_t>(i)]->selected()) return i;
  }
  return index;
}

bool IFlames::IsCentreInside(int index, int left, int top, int right, int bottom) const {
  const SFrame* cell = Cell(index);
  if (!cell) return false;
  const QRect g = cell->panel()->geometry();
  const int cx = g.left() + g.width() / 2, cy = g.top() + g.height() / 2;
  return left < cx && cx < right && top < cy && cy < bottom;
}

void IFlames::SelectInRect(int left, int top, int right, int bottom) {
  for (int i = 0; i < count_; ++i) cells_[static_cast<size_t>(i)]->Select(IsCentreInside(i, left, top, right, bottom));
}

int IFlames::IndexAt(QPoint globalPos) const {
  const QPoint p = content()->mapFromGlobal(globalPos);
  for (int i = 0; i < count_; ++i) {
    const QRect g = cells_[static_cast<size_t>(i)]->panel()->geometry();
    if (g.left() < p.x() && p.x() < g.left() + g.width() && g.top() < p.y() && p.y() < g.top() + g.height())
      return i;
  }
  return -1;
}

void IFlames::DragAutoScroll(QPoint globalPos, platform::Clock& clock) {
  QScrollBar* bar = owner_->verticalScrollBar();
  if (!bar->isVisible()) return;
  const int y = owner_->viewport()->mapFromGlobal(globalPos).y();
  const int height = owner_->viewport()->height();
  if (y < 0 || y > height) return;
  const uint64_t now = clock.ticksMs();
  if (haveScrolled_ && now - lastScrollMs_ < 30) return;
  const int pos = bar->value(), range = bar->maximum();
  int next;
  if (y < 21 && pos > 0) {
    const int step = 20 - y;
    next = pos <= step ? 0 : pos - step;
  } else if (y > height - 20 && pos < range) {
    const int step = y - (height - 20);
    next = pos + step < range ? pos + step : range;
  } else {
    return;
  }
  bar->setValue(next);
  lastScrollMs_ = now;
  haveScrolled_ = true;
}

}  // namespace workspace
