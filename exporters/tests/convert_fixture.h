// The format command's tests: the program with an album of quarter pictures, the output
// settings dialog answered by script at each showing, and Stop pressed in the wait
// window on demand.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "viewer_fixture.h"
#include "workspace/flame_info.h"

namespace exporters {
class TfrmImgFmt;
}

namespace viewertest {

// What the user does in one showing of the dialog before pressing OK; nullptr: Cancel.
using Choice = std::function<void(exporters::TfrmImgFmt*)>;

struct Source {
  const char* name;  // ".jpg" for a JPEG file, else BMP
  int w, h;
};

class DialogScript : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* e) override;
  std::deque<Choice> steps;  // one per showing; a showing without a step is cancelled
  int shown = 0;
};

class Conversion : public ViewerProgram {
 public:
  void SetUp() override;
  bool eventFilter(QObject* watched, QEvent* e);

  // An empty album, no showings counted, the boxes so far left behind.
  void reset();
  void addQuarters(const Source& s);
  void select(const std::set<int>& indexes);
  std::vector<workspace::FlameInfo> records() const;
  // The texts of the boxes shown since the last reset; the texts of keys.
  std::vector<std::string> boxTexts() const;
  static std::vector<std::string> texts(const std::vector<const char*>& keys);
  // The record's files as the toolkit reads them: the working copy of the record's size
  // and type, the upper left part of the colour given (0: not checked), the thumbnail
  // made again from it and shown in the cell.
  void expectWritten(const workspace::FlameInfo& r, uint32_t upperLeft) const;

  DialogScript script;
  bool stopOnWait = false;

 private:
  size_t firstBox_ = 0;
  struct WaitWatch : QObject {
    Conversion* test = nullptr;
    bool eventFilter(QObject* watched, QEvent* e) override;
  } waitWatch_;
};

}  // namespace viewertest
