// The program's windows in the test's language under the window manager: the sheet's
// output settings dialog opens above the sheet with its preset list reset; and the
// main window, the wait window, the sheet with its settings dialog and the viewer are
// saved as screenshots.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTextLayout>
#include <cmath>
#include <sstream>
#include <vector>

#include "exporters/frmimgfmt.h"
#include "program_fixture.h"
#include "workspace/frmwait.h"
#include "workspace/sframe.h"

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
  ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet, 20000));
  int sheetPlace = -1, dialogPlace = -1, preset = -1;
  adtest::whenShown(settings, [&] {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(settings, 20000));
    // The window manager lists and restacks the new window once it manages it: the order
    // is read once both windows are listed and it has stopped changing.
    std::vector<unsigned long> order;
    EXPECT_TRUE(QTest::qWaitFor([&] {
      QTest::qWait(300);
      const std::vector<unsigned long> now = stacking();
      const bool settled = now == order && stackPlace(settings) >= 0;
      order = now;
      return settled;
    }, 20000)) << "the window manager did not take the dialog in";
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

TEST_F(Program, ScreenshotsOfTheMainWindowTheWaitWindowAndTheViewer) {
  AD_REQUIRE_TOOL("import");
  start();
  addPicture(QColor(200, 40, 40), 640, 480);
  addPicture(QColor(40, 160, 40));
  QWidget* main = workspace::frmMain;
  screenshot("main-window", main->frameGeometry());

  workspace::TfrmWait* wait = workspace::frmWait;
  const QString caption = workspace::Lang->GetMsg("TI_MAIN");
  platform::sendMessage(wait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 3);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(wait, 20000));
  screenshot("wait-window", wait->frameGeometry().adjusted(-20, -20, 20, 20));
  platform::sendMessage(wait, platform::WM_WAIT_CLOSE);

  workspace::Flames->SelectAll(false);
  workspace::Flames->Cell(0)->Select(true);
  workspace::Flames->CountSelected();
  workspace::frmMain->component<QAction>("mnuView")->trigger();
  QWidget* viewer = workspace::frmView;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer, 20000));
  screenshot("viewer", viewer->frameGeometry().united(workspace::frmViewBtn->frameGeometry()));
  viewer->close();
}

// ---- every caption whole ------------------------------------------------------------------------

// The text a component shows, without its mnemonic marks.
QString shownText(QString text) {
  text.replace("&&", QString(QChar(1)));
  text.remove('&');
  text.replace(QChar(1), "&");
  return text;
}

// Why `w`'s caption does not show whole in `w`, measured with the font it is drawn in;
// "" when it does. `area` is where its parent lets it be seen, in the parent's coordinates.
std::string clipped(QWidget* w, const QRect& area) {
  const QFontMetrics fm(w->font());
  std::ostringstream why;
  auto need = [&](int width, int height) {
    if (width > w->width() || height > w->height())
      why << "needs " << width << "x" << height << ", has " << w->width() << "x" << w->height();
  };
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || label->property("noCaption").toBool()) return {};
    const QRect box = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    // Laid out as the label lays it out: one line, or lines broken where the script
    // allows (at blanks, or between most characters of Japanese).
    QTextLayout layout(label->text(), label->font());
    QTextOption option;
    option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    qreal widest = 0, height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(label->wordWrap() ? box.width() : 100000);
      widest = std::max(widest, line.naturalTextWidth());
      height += line.height();
    }
    layout.endLayout();
    const QRect text_(0, 0, int(std::ceil(widest)), int(std::ceil(height)));
    if (text_.width() > box.width() || text_.height() > box.height())
      why << "needs " << text_.width() << "x" << text_.height() << ", has " << box.width() << "x" << box.height();
    // Where the text is painted, it must be in sight.
    const QRect painted = QStyle::alignedRect(Qt::LeftToRight, label->alignment(), text_.size(), box)
                              .translated(label->pos());
    if (!area.contains(painted))
      why << " painted at " << painted.x() << ".." << painted.right() << " outside " << area.x() << ".." << area.right();
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    if (group->title().isEmpty()) return {};
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    const int width = title.x() + fm.horizontalAdvance(shownText(group->title()));
    if (width > group->width()) why << "title needs " << width << ", has " << group->width();
  } else if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
    auto* b = static_cast<QAbstractButton*>(w);
    if (b->text().isEmpty()) return {};
    need(b->sizeHint().width(), fm.height());
  } else if (auto* b = qobject_cast<QPushButton*>(w)) {
    if (b->text().isEmpty()) return {};
    const int margins = 2 * (b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                             b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b));
    need(fm.horizontalAdvance(shownText(b->text())) + margins + (b->icon().isNull() ? 0 : b->iconSize().width() + 4),
         fm.height());
  }
  return why.str();
}

TEST_F(Program, EveryCaptionShowsItsWholeText) {
  start();
  std::vector<std::string> faults;
  int measured = 0;
  for (QWidget* form : QApplication::topLevelWidgets()) {
    if (!form->objectName().startsWith("frm")) continue;
    // Laid out as when shown.
    for (QLayout* l : form->findChildren<QLayout*>()) l->activate();
    for (QWidget* w : form->findChildren<QWidget*>()) {
      if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) && !qobject_cast<QGroupBox*>(w)) continue;
      // Parts of Qt's own controls (a spin box's or combo box's insides) are not captions.
      if (!w->parentWidget() || qobject_cast<QAbstractButton*>(w->parentWidget())) continue;
      const QString cls = w->metaObject()->className();
      if (cls.startsWith("QTabBar") || cls.contains("Scroll")) continue;
      QWidget* parent = w->parentWidget();
      QRect area = parent->rect();
      // A component placed out of sight is one the form does not use.
      if (!area.intersects(w->geometry())) continue;
      // The icon bar's edge is the page-edge picture at its right.
      if (parent->objectName() == "pnlIco") area.setRight(parent->findChild<QWidget*>("imgPageR")->x() - 3);
      const std::string why = clipped(w, area);
      ++measured;
      if (!why.empty()) {
        const QString name = w->objectName().isEmpty() ? parent->objectName() + "/" + w->metaObject()->className()
                                                        : w->objectName();
        faults.push_back(form->objectName().toStdString() + "." + name.toStdString() + " \"" +
                         (qobject_cast<QLabel*>(w) ? static_cast<QLabel*>(w)->text()
                          : qobject_cast<QGroupBox*>(w) ? static_cast<QGroupBox*>(w)->title()
                                                          : static_cast<QAbstractButton*>(w)->text())
                             .toStdString() +
                         "\" " + why);
      }
    }
  }
  EXPECT_GT(measured, 100);
  std::string list;
  for (const auto& f : faults) list += "\n  " + f;
  EXPECT_TRUE(faults.empty()) << faults.size() << " captions do not show whole in " << language() << ":" << list;
}

}  // namespace
