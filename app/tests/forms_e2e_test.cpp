// The program's windows in the test's language under the window manager: the sheet's
// output settings dialog opens above the sheet with its preset list reset; and the
// main window, the wait window, the sheet with its settings dialog and the viewer are
// saved as screenshots.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <sstream>
#include <vector>

#include "exporters/frmimgfmt.h"
#include "program_fixture.h"

namespace {

// The managed windows from the bottom of the stack to its top (_NET_CLIENT_LIST_STACKING).
std::vector<unsigned long> stacking() {
  std::string out;
  adtest::runProgram({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"}, &out);
  std::vector<unsigned long> ids;
  const size_t at = out.find('#');
  if (at == std::string::npos) return ids;
  std::istringstream list(out.substr(at + 1));
  for (std::string id; std::getline(list, id, ',');) ids.push_back(std::stoul(id, nullptr, 16));
  return ids;
}

// Where a window lies in the stack; -1 when the window manager does not list it.
int stackPlace(QWidget* w) {
  const auto ids = stacking();
  for (size_t i = 0; i < ids.size(); ++i)
    if (ids[i] == w->winId()) return static_cast<int>(i);
  return -1;
}

TEST_F(Program, TheSheetsSettingsDialogOpensAboveTheSheetWithThePresetListReset) {
  AD_REQUIRE_TOOL("xprop");
  start();
  addPicture(QColor(200, 40, 40));
  addPicture(QColor(40, 160, 40));
  workspace::Flames->SelectAll(true);
  workspace::Flames->CountSelected();
  exporters::TfrmImgFmt* settings = exporters::ImgFmtForm();
  ASSERT_TRUE(settings);
  auto* presets = settings->component<QComboBox>("cbSize");
  presets->setCurrentIndex(7);  // where an earlier showing left the list

  workspace::frmMain->component<QAction>("mnuMulti")->trigger();
  QWidget* sheet = workspace::frmMltImg;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
  int sheetPlace = -1, dialogPlace = -1, preset = -1;
  whenShown(settings, [&] {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(settings));
    // The window manager restacks the new window once it manages it.
    for (int i = 0; i < 20 && (dialogPlace = stackPlace(settings)) < 0; ++i) QTest::qWait(100);
    QTest::qWait(300);
    sheetPlace = stackPlace(sheet);
    dialogPlace = stackPlace(settings);
    preset = presets->currentIndex();
    screenshot("sheet-with-settings");
    settings->closeForm();
  });
  QTest::mouseClick(sheet->findChild<QPushButton*>("btnSave"), Qt::LeftButton);
  ASSERT_GE(sheetPlace, 0);
  EXPECT_GT(dialogPlace, sheetPlace) << "the settings dialog lies under the sheet";
  EXPECT_EQ(preset, 3) << presets->itemText(preset).toStdString();
  EXPECT_EQ(presets->itemText(3).trimmed(), "640x 480");
}

}  // namespace
