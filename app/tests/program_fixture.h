// The whole program in the test's process, made as its start-up makes it (every form,
// the link's among them), its main window shown on the test's desktop (a virtual display
// with a window manager), in the language of the test's locale; questions and file
// dialogs answered by script. Screenshots of what it shows go to the test artefacts.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "capture/link_objects.h"
#include "exporters/cards.h"
#include "exporters/export_commands.h"
#include "exporters/viewer_forms.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"
#include "platform/testsupport/widgets.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace {

namespace fs = std::filesystem;

class Program : public ::testing::Test {
 protected:
  ~Program() override {
    workspace::DestroyForms();
    capture::LeaveLinkForms();
  }

  void start() {
    QCoreApplication::setApplicationName("albumdesk");  // as the program's windows are named
    exporters::RegisterCards();
    exporters::EnterViewerForms();
    capture::EnterLinkForms();
    exporters::EnterExportForms();
    workspace::CreateForms();
    workspace::frmTitle->Timer1()->setInterval(0);  // the splash closes at once
    workspace::frmTitle->Timer2()->setInterval(0);
    workspace::frmMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(workspace::frmMain, 20000));
    QTest::qWait(200);
  }

  // A picture of one colour read into the album at its end.
  void addPicture(QColor colour, int width = 320, int height = 240) {
    const int index = workspace::Flames->Count();
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(colour);
    const fs::path path = adtest::testDir() / "pictures" / ("p" + std::to_string(index) + ".bmp");
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(img.save(QString::fromStdString(path.string()), "BMP"));
    ASSERT_TRUE(workspace::frmMain->OpenFile(path.string(), index));
  }

  // "en", "fr" or "ja": the language the program took from the locale.
  static std::string language() {
    const uint16_t l = workspace::Lang->Language();
    return l == workspace::kJapanese ? "ja" : l == workspace::kFrench ? "fr" : "en";
  }

  // Saves what the screen shows in `area` (the whole screen when empty) as a test artefact.
  static fs::path screenshot(const std::string& name, QRect area = {}) {
    QTest::qWait(300);  // what was just shown is painted
    const fs::path file = adtest::artefactDir() / (name + "-" + language() + ".png");
    std::vector<std::string> argv{"import", "-window", "root"};
    if (!area.isEmpty()) {
      argv.insert(argv.end(), {"-crop", std::to_string(area.width()) + "x" + std::to_string(area.height()) + "+" +
                                            std::to_string(std::max(0, area.x())) + "+" +
                                            std::to_string(std::max(0, area.y())),
                             "+repage"});
    }
    argv.push_back(file.string());
    EXPECT_EQ(adtest::runProgram(argv), 0) << file;
    std::cout << "screenshot: " << file.string() << std::endl;
    return file;
  }

  platform::ScriptedMessageBoxes boxes;
  platform::ScriptedFileDialogs dialogs;
};

}  // namespace
