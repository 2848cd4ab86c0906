#include "command_fixture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <dirent.h>

#include "exporters/export_commands.h"
#include "exporters/frmhtml.h"
#include "exporters/frmmovie.h"
#include "platform/messages.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace extest {

ScriptedChoosers::ScriptedChoosers()
    : previousColours_(exporters::setColourDialogs(this)), previousCompressors_(exporters::setCompressorDialogs(this)) {}

ScriptedChoosers::~ScriptedChoosers() {
  exporters::setColourDialogs(previousColours_);
  exporters::setCompressorDialogs(previousCompressors_);
}

bool ScriptedChoosers::choose(QWidget*, QColor& colour) {
  if (colours.empty()) return false;
  colour = exporters::FromColorRef(static_cast<int32_t>(colours.front()));
  colours.pop_front();
  return true;
}

bool ScriptedChoosers::choose(QWidget*, uint32_t& codec) {
  if (codecs.empty()) return false;
  codec = codecs.front();
  codecs.pop_front();
  return true;
}

void CommandTest::SetUp() {
  exporters::EnterExportForms();
  workspace::CreateForms();
  workspace::frmTitle->Timer1()->setInterval(0);  // the splash closes at once
  workspace::frmTitle->Timer2()->setInterval(0);
  workspace::frmMain->show();
  QCoreApplication::processEvents();  // the start-up message
  fs::create_directories(desktop());
  workspace::frmWait->onMessage(platform::WM_WAIT_PROGRESS, [this](platform::WPARAM, platform::LPARAM) {
    ++progressMessages;
    if (progressMessages == stopAt) workspace::frmWait->AbortFlag = 1;
    if (onProgress) onProgress(progressMessages);
    return platform::LRESULT{0};
  });
}

void CommandTest::TearDown() { workspace::DestroyForms(); }

std::string CommandTest::addPicture(int width, int height, bool jpeg) {
  workspace::IFlames& album = workspace::frmMain->Album();
  const int k = album.Count();
  const fs::path source = adtest::testDir() / "sources" / ("p" + std::to_string(k) + (jpeg ? ".jpg" : ".bmp"));
  fs::create_directories(source.parent_path());
  writeBmp(source, testFrame(width, height, k));
  if (jpeg) {
    QmHandle picture = ImageFileLoad(source.c_str());
    EXPECT_TRUE(ImageFileSaveJpeg(source.c_str(), picture, 0, 90, 0, ""));
    ImageFree(picture);
  }
  EXPECT_TRUE(workspace::frmMain->OpenFile(source.string(), k)) << source;
  if (album.Count() <= k) return {};
  album.Cell(k)->Select(true);
  album.CountSelected();
  return album.Record(k)->workPath;
}

void CommandTest::select(std::initializer_list<int> indices) {
  workspace::IFlames& album = workspace::frmMain->Album();
  album.SelectAll(false);
  for (int i : indices) album.Cell(i)->Select(true);
  album.CountSelected();
}

void CommandTest::onNextShow(QWidget* form, std::function<void()> action) {
  struct Once : QObject {
    std::function<void()> action;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Show && action) {
        QTimer::singleShot(0, std::move(action));
        action = nullptr;
        deleteLater();
      }
      return false;
    }
  };
  auto* once = new Once;
  once->action = std::move(action);
  form->installEventFilter(once);
}

void CommandTest::click(QWidget* form, const char* button) { form->findChild<QPushButton*>(button)->click(); }

QAction* CommandTest::command(const char* name) { return workspace::frmMain->component<QAction>(name); }

namespace {
// Shows the command's dialog through its menu item, sets the options on it and chooses
// OK (or Cancel without options).
template <class Form>
void runCommand(const char* name, Form* form, const std::function<void(Form&)>& options) {
  CommandTest::onNextShow(form, [form, options] {
    if (options) options(*form);
    CommandTest::click(form, options ? "btnOk" : "btnCancel");
  });
  workspace::frmMain->component<QAction>(name)->trigger();
}
}  // namespace

void CommandTest::runMovie(const std::function<void(exporters::TfrmMovie&)>& options) {
  runCommand("mnuMovie", exporters::MovieForm(), options);
}

void CommandTest::runHtml(const std::function<void(exporters::TfrmHTML&)>& options) {
  runCommand("mnuHTML", exporters::HtmlForm(), options);
}

std::vector<std::string> CommandTest::boxTexts() const {
  std::vector<std::string> t;
  for (const auto& b : boxes.shown()) t.push_back(b.text);
  return t;
}

std::string CommandTest::msg(const char* key) { return workspace::Lang->GetMsg(key).toStdString(); }

int CommandTest::workFiles(const std::string& prefix) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(workspace::WorkDir)) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
  }
  return n;
}

fs::path CommandTest::desktop() { return fs::path(workspace::DesktopDir.empty() ? adtest::testDir() / "Desktop" : fs::path(workspace::DesktopDir)); }

}  // namespace extest
