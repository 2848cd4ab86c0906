#include "clip_view.h"

#include <QPixmap>
#include <algorithm>

namespace workspace {

ClipView::ClipView(QWidget* parent) : QLabel(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  connect(&timer_, &QTimer::timeout, this, &ClipView::Step);
}

bool ClipView::Open(const std::string& path) {
  Stop();
  current_ = -1;
  clear();
  if (!clip_.Load(path)) return false;
  timer_.setInterval(clip_.FrameIntervalMs());
  return true;
}

void ClipView::ShowFrame(int frame) {
  QImage image = clip_.Frame(frame);
  if (image.isNull()) return;
  current_ = frame;
  setPixmap(QPixmap::fromImage(image));
}

void ClipView::Seek(int frame) {
  Stop();
  ShowFrame(frame);
}

void ClipView::Play(int from, int to) {
  if (clip_.IsEmpty()) return;
  from = std::clamp(from, 0, clip_.FrameCount() - 1);
  last_ = std::clamp(to, from, clip_.FrameCount() - 1);
  ShowFrame(from);
  if (from < last_) timer_.start();
}

void ClipView::Stop() { timer_.stop(); }

void ClipView::Step() {
  if (current_ >= last_) {
    Stop();
    return;
  }
  ShowFrame(current_ + 1);
  if (current_ >= last_) Stop();
}

}  // namespace workspace
