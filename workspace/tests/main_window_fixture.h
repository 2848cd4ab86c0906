// The program's main window under test: the forms made as at start-up, the main window
// shown on offscreen widgets, message boxes and file dialogs answered by script, and
// pictures made here and read by the picture engine.
#pragma once

#include <QApplication>
#include <QFrame>
#include <QScrollArea>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "album_fixtures.h"
#include "platform/form.h"
#include "platform/scripted.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/lang.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace {

using namespace workspace;
namespace fs = std::filesystem;

class MainWindow : public ::testing::Test {
 protected:
  ~MainWindow() override { DestroyForms(); }

  // Makes the program's forms and shows the main window; `beforeShow` runs between.
  void start(const std::function<void()>& beforeShow = {}) {
    order.clear();
    CreateForms(&order);
    frmTitle->Timer1()->setInterval(0);  // the splash closes at once
    frmTitle->Timer2()->setInterval(0);
    if (beforeShow) beforeShow();
    frmMain->show();
    QApplication::setActiveWindow(frmMain);
    QCoreApplication::processEvents();  // the start-up message
  }
  void restart(const std::function<void()>& beforeShow = {}) {
    DestroyForms();
    start(beforeShow);
  }

  IFlames& album() const { return frmMain->Album(); }
  template <class T = QWidget>
  T* named(const char* name) const {
    return frmMain->component<T>(name);
  }
  QAction* action(const char* name) const { return named<QAction>(name); }

  // Pictures read into the album by the engine, at its end.
  void addPictures(int n) {
    for (int i = 0; i < n; ++i) {
      const int k = album().Count();
      const fs::path src = adtest::testDir() / "src" / ("p" + std::to_string(k) + ".bmp");
      ASSERT_TRUE(frmMain->OpenFile(adtest::writePicture(src, adtest::colourOf(k), 160, 120), k));
    }
  }

  // A cell's panel found on the grid by its Tag (the picture's number).
  QWidget* cell(int index) const {
    for (QFrame* f : named<QScrollArea>("sbTN")->widget()->findChildren<QFrame*>()) {
      if (platform::tagOf(f) == index + 1 && f->objectName().isEmpty()) return f;
    }
    return nullptr;
  }

  std::set<int> selected() const {
    std::set<int> s;
    for (int i = 0; i < album().Count(); ++i)
      if (album().Cell(i)->selected()) s.insert(i);
    return s;
  }

  std::vector<std::string> boxTexts() const {
    std::vector<std::string> t;
    for (const auto& b : boxes.shown()) t.push_back(b.text);
    return t;
  }
  static std::string msg(const char* key) { return Lang->GetMsg(key).toStdString(); }

  std::vector<std::string> order;
  platform::ScriptedMessageBoxes boxes;
  platform::ScriptedFileDialogs dialogs;  // a dialog without a queued answer is cancelled
  platform::RecordingLauncher launcher;
};

}  // namespace
