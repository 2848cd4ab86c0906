// The Title Image command from the main window: numbered files on the card with the
// levels chosen in the dialog, a line each in the results window, and a message when
// the batch fails or is stopped.
#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "cards_fixture.h"
#include "exporters/frmmltimg.h"
#include "exporters/frmtiview.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/file/qm6file.h"
#include "workspace/dcf_data.h"
#include "workspace/flames.h"
#include "workspace/frmautosave.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/output_format.h"
#include "workspace/program.h"

namespace {

using namespace cardstest;
namespace fs = std::filesystem;

class TitleCommand : public CardsProgram {
 protected:
  // A card with its TITLES folder; `taken` names already there.
  fs::path card(const std::vector<std::string>& taken = {}) {
    const fs::path titles = fs::path(volumes.Add("card", true)) / "TITLES";
    fs::create_directories(titles);
    for (const auto& name : taken) adtest::writeFile(titles / name, "an older title");
    return titles;
  }
  // Runs the command from the main window's menu item; `inDialog` acts in the dialog
  // before OK is pressed (nothing: Cancel is pressed).
  void run(const std::function<void(exporters::TfrmTiView&)>& inDialog, bool ok = true) {
    closeResultsWhenShown();
    soon([this, inDialog, ok] {
      exporters::TfrmTiView& d = *tiView();
      d.ShowPreview(workspace::Flames->FirstSelected());
      if (inDialog) inDialog(d);
      if (ok) d.btnOk()->click();
      else d.closeForm();
    });
    workspace::frmMain->component<QAction>("mnuTitleImage")->trigger();
  }
  static std::optional<uint16_t> titleNumber(const fs::path& file) {
    const std::string bytes = adtest::readFile(file);
    return workspace::ReadTitleNumber(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  static std::vector<std::string> results() {
    const QString text = workspace::frmAutoSave->memo()->toPlainText();
    std::vector<std::string> lines;
    for (const QString& l : text.split('\n', Qt::SkipEmptyParts)) lines.push_back(l.toStdString());
    return lines;
  }
};

TEST_F(TitleCommand, WritesTheNextFreeNumbersWithTheChosenLevels) {
  const fs::path titles = card({"TITLE001.TTL"});
  start();
  addPicture(720, 480, Qt::red);
  addPicture(100, 100, Qt::green);  // not selected
  addPicture(640, 480, Qt::blue);
  workspace::Flames->Record(2)->titleNo = 100;
  select({0, 2});
  ASSERT_TRUE(workspace::frmMain->component<QAction>("mnuTitleImage")->isEnabled());
  run([](exporters::TfrmTiView& d) { d.cbWOCut()->click(); });  // the first without cutting-out

  EXPECT_EQ(texts(boxes), std::vector<std::string>{});
  EXPECT_EQ(resultsShown, 1);
  EXPECT_EQ(results(), (std::vector<std::string>{"Picture 001 was saved as TITLE002.", "Picture 003 was saved as TITLE003."}));
  EXPECT_EQ(adtest::readFile(titles / "TITLE001.TTL"), "an older title");
  EXPECT_EQ(titleNumber(titles / "TITLE002.TTL"), 0);
  EXPECT_EQ(titleNumber(titles / "TITLE003.TTL"), 100);
  EXPECT_FALSE(fs::exists(titles / "TITLE004.TTL"));
  for (const char* name : {"TITLE002.TTL", "TITLE003.TTL"}) {
    ImageFileInfoRecord info;
    ASSERT_TRUE(ImageFileInfo((titles / name).c_str(), &info)) << name;
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 960);
  }
  // Nothing but the titles lies in the folder (no temporary left), and the engine no longer holds the record.
  EXPECT_EQ(std::distance(fs::directory_iterator(titles), fs::directory_iterator()), 3);
  EXPECT_EQ(workspace::ImageOpe->Title, nullptr);
  EXPECT_EQ(workspace::OutputFormat().Format, workspace::OutputFormatSettings::kTitle);
}

TEST_F(TitleCommand, CancelWritesNothing) {
  const fs::path titles = card();
  start();
  addPicture(320, 240, Qt::red);
  select({0});
  run({}, false);
  EXPECT_TRUE(fs::is_empty(titles));
  EXPECT_EQ(resultsShown, 0);
  EXPECT_EQ(texts(boxes), std::vector<std::string>{});
}

// A failed file or Stop ends the batch with the message; the files written before stay,
// and the results window is not shown.
TEST_F(TitleCommand, FailureOrStopEndsTheBatch) {
  for (bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "stopped" : "failed");
    platform::ScriptedMessageBoxes shown;
    resultsShown = 0;
    const fs::path titles = card();
    start();
    for (int i = 0; i < 3; ++i) addPicture(320, 240, Qt::red);
    select({0, 1, 2});
    if (stop) {
      // Stop is pressed once the first file is listed.
      QPlainTextEdit* memo = workspace::frmAutoSave->memo();
      QObject::connect(memo, &QPlainTextEdit::textChanged, [memo] {
        if (!memo->toPlainText().isEmpty()) workspace::frmWait->AbortFlag = 1;
      });
    } else {
      fs::remove(workspace::Flames->Record(1)->workPath);
    }
    run({});
    EXPECT_EQ(texts(shown), std::vector<std::string>{"The file could not be saved."});
    EXPECT_EQ(resultsShown, 0);
    EXPECT_TRUE(fs::exists(titles / "TITLE001.TTL"));
    EXPECT_EQ(std::distance(fs::directory_iterator(titles), fs::directory_iterator()), 1);
    EXPECT_EQ(workspace::ImageOpe->Title, nullptr);
    EXPECT_FALSE(workspace::frmWait->isVisible());
    workspace::DestroyForms();
    volumes.list.clear();
    fs::remove_all(titles.parent_path());
  }
}

// The export page's icons 3 and 7 run the sheet and the title commands.
TEST_F(TitleCommand, ExportIconsRunTheCommands) {
  card();
  start();
  addPicture(320, 240, Qt::red);
  select({0});
  QWidget* panel = workspace::frmMain->component<QWidget>("pnlIco");
  QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(100, 30));  // the export tab
  ASSERT_EQ(workspace::frmMain->IconPage, 0);
  bool dialogShown = false;
  soon([&] {
    dialogShown = tiView()->isShownModally();
    tiView()->closeForm();
  });
  QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(132, 350));  // icon 7
  EXPECT_TRUE(dialogShown);
  QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(132, 200));  // icon 3
  EXPECT_TRUE(sheet()->isVisible());
  sheet()->closeForm();
}

}  // namespace
