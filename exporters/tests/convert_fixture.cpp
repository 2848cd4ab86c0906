#include "convert_fixture.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <cstdlib>

#include "exporters/frmimgfmt.h"
#include "picture_util.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace viewertest {

bool DialogScript::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::Show) return false;
  ++shown;
  Choice step;
  if (!steps.empty()) {
    step = steps.front();
    steps.pop_front();
  }
  auto* dialog = static_cast<exporters::TfrmImgFmt*>(watched);
  QTimer::singleShot(0, dialog, [dialog, step] {
    if (step) step(dialog);
    QTest::mouseClick(dialog->component<QPushButton>(step ? "btnOk" : "btnCancel"), Qt::LeftButton);
  });
  return false;
}

bool Conversion::WaitWatch::eventFilter(QObject*, QEvent* e) {
  if (e->type() == QEvent::Show && test->stopOnWait) {
    QTimer::singleShot(0, workspace::frmWait,
                       [] { QTest::mouseClick(workspace::frmWait->btnAbort(), Qt::LeftButton); });
  }
  return false;
}

void Conversion::SetUp() {
  ViewerProgram::SetUp();
  fmt()->installEventFilter(&script);
  waitWatch_.test = this;
  workspace::frmWait->installEventFilter(&waitWatch_);
}

void Conversion::reset() {
  while (workspace::Flames->Count() > 0) workspace::Flames->RemoveLast();
  script.steps.clear();
  script.shown = 0;
  stopOnWait = false;
  firstBox_ = boxes.shown().size();
}

void Conversion::addQuarters(const Source& s) {
  add(writeImage(std::to_string(workspace::Flames->Count()) + s.name, quarters(s.w, s.h)));
}

void Conversion::select(const std::set<int>& indexes) {
  workspace::Flames->SelectAll(false);
  for (int i : indexes) workspace::Flames->Cell(i)->Select(true);
}

std::vector<workspace::FlameInfo> Conversion::records() const {
  std::vector<workspace::FlameInfo> out;
  for (int i = 0; i < workspace::Flames->Count(); ++i) out.push_back(*workspace::Flames->Record(i));
  return out;
}

std::vector<std::string> Conversion::boxTexts() const {
  std::vector<std::string> t;
  for (size_t i = firstBox_; i < boxes.shown().size(); ++i) t.push_back(boxes.shown()[i].text);
  return t;
}

std::vector<std::string> Conversion::texts(const std::vector<const char*>& keys) {
  std::vector<std::string> t;
  for (const char* k : keys) t.push_back(msg(k));
  return t;
}

void Conversion::expectWritten(const workspace::FlameInfo& r, uint32_t upperLeft) const {
  ImageFileInfoRecord info{};
  ASSERT_TRUE(ImageFileInfo(r.workPath.c_str(), &info)) << r.workPath;
  EXPECT_EQ(info.pictureType, r.type == 1 ? QM_TYPE_BMP : QM_TYPE_JPEG);
  EXPECT_EQ(info.width, r.width);
  EXPECT_EQ(std::abs(info.height), r.height);
  uint64_t bytes = 0;
  workspace::FileName(r.workPath).GetSize(bytes);
  EXPECT_EQ(r.sourceSize, bytes);
  if (upperLeft) {
    QmHandle picture = ImageFileLoad(r.workPath.c_str());
    const pictest::Pixels p = pictest::read(picture);
    ImageFree(picture);
    const pictest::Rgb c = p.at(p.width / 4, p.height / 4);
    EXPECT_NEAR(c.r, qRed(upperLeft), 40);
    EXPECT_NEAR(c.g, qGreen(upperLeft), 40);
    EXPECT_NEAR(c.b, qBlue(upperLeft), 40);
  }
  // The thumbnail fits 100 x 75 with the picture's new shape, and the cell shows it.
  ImageFileInfoRecord thumb{};
  ASSERT_TRUE(ImageFileInfo(r.thumbPath.c_str(), &thumb));
  const int tw = thumb.width, th = std::abs(thumb.height);
  EXPECT_TRUE((tw == 100 && th <= 75) || (th == 75 && tw <= 100)) << tw << "x" << th;
  EXPECT_NEAR(static_cast<double>(tw) / th, static_cast<double>(r.width) / r.height, 0.05);
  for (int i = 0; i < workspace::Flames->Count(); ++i) {
    if (workspace::Flames->Record(i)->workPath == r.workPath) {
      EXPECT_EQ(workspace::Flames->Cell(i)->picture()->pixmap().size(), QSize(tw, th));
    }
  }
}

}  // namespace viewertest
