#include "viewer_fixture.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <filesystem>

#include "exporters/frmimgfmt.h"
#include "exporters/frmview.h"
#include "exporters/frmviewbtn.h"
#include "exporters/viewer_forms.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/lang.h"
#include "workspace/later_forms.h"
#include "workspace/program.h"

namespace viewertest {

namespace fs = std::filesystem;

platform::ManualClock& clock() {
  static platform::ManualClock c;
  return c;
}

std::string writeImage(const std::string& name, const QImage& image) {
  const fs::path path = adtest::testDir() / "src" / name;
  fs::create_directories(path.parent_path());
  const bool jpeg = path.extension() == ".jpg";
  EXPECT_TRUE(image.convertToFormat(QImage::Format_RGB888)
                  .save(QString::fromStdString(path.string()), jpeg ? "JPG" : "BMP", jpeg ? 95 : -1))
      << path;
  return path.string();
}

QRgb quarterColour(int x, int y, int w, int h) {
  const bool right = x >= w / 2, lower = y >= h / 2;
  if (!lower) return right ? qRgb(0, 255, 0) : qRgb(255, 0, 0);
  return right ? qRgb(255, 255, 0) : qRgb(0, 0, 255);
}

QImage quarters(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, quarterColour(x, y, w, h));
  return image;
}

void ViewerProgram::SetUp() {
  blocks = QmGlobalCount();
  exporters::EnterViewerForms();
  workspace::RegisterForm("frmView", [] { return static_cast<platform::Form*>(platform::createForm<exporters::TfrmView>(clock())); });
  workspace::CreateForms();
  workspace::frmTitle->Timer1()->setInterval(0);  // the splash closes at once
  workspace::frmTitle->Timer2()->setInterval(0);
  workspace::frmMain->show();
  QApplication::setActiveWindow(workspace::frmMain);
  QCoreApplication::processEvents();  // the start-up message
}

void ViewerProgram::TearDown() {
  workspace::DestroyForms();
  EXPECT_EQ(QmGlobalCount(), blocks) << "every picture released";
}

void ViewerProgram::add(const std::string& path) {
  ASSERT_TRUE(workspace::frmMain->OpenFile(path, workspace::Flames->Count())) << path;
}

void ViewerProgram::addSolid(int n, int w, int h) {
  for (int i = 0; i < n; ++i) {
    const int k = workspace::Flames->Count();
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((k * 47) % 360, 200, 220));
    add(writeImage("p" + std::to_string(k) + ".bmp", image));
  }
}

QAction* ViewerProgram::mainAction(const char* name) const {
  return workspace::frmMain->component<QAction>(QString::fromLatin1(name));
}

std::vector<std::string> ViewerProgram::boxTexts() const {
  std::vector<std::string> t;
  for (const auto& b : boxes.shown()) t.push_back(b.text);
  return t;
}

std::string ViewerProgram::msg(const char* key) { return workspace::Lang->GetMsg(key).toStdString(); }

exporters::TfrmView* ViewerProgram::view() const { return exporters::ViewForm(); }
exporters::TfrmViewBtn* ViewerProgram::bar() const { return exporters::ViewButtons(); }
exporters::TfrmImgFmt* ViewerProgram::fmt() const { return exporters::ImgFmtForm(); }

}  // namespace viewertest
