// The animation control: shows the frames of an AVI clip (see AviClip) and plays a
// range of them once at the clip's own rate.
#pragma once

#include <QLabel>
#include <QTimer>
#include <string>

#include "avi_clip.h"

namespace workspace {

class ClipView : public QLabel {
  Q_OBJECT

 public:
  explicit ClipView(QWidget* parent = nullptr);

  // Reads the clip; false (and nothing shown) when the file is missing or no clip.
  bool Open(const std::string& path);
  // Shows one frame and stops playing.
  void Seek(int frame);
  // Plays frames `from` to `to` once, from the next timer tick on.
  void Play(int from, int to);
  void Stop();
  // Shows the next frame of the range being played; the timer calls it.
  void Step();

  bool Playing() const { return timer_.isActive(); }
  int CurrentFrame() const { return current_; }
  const AviClip& Clip() const { return clip_; }

 private:
  void ShowFrame(int frame);

  AviClip clip_;
  QTimer timer_;
  int current_ = -1;
  int last_ = -1;
};

}  // namespace workspace
