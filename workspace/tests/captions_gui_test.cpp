// Dressing a form from the tables, on offscreen widgets.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

#include "workspace/lang.h"

using namespace workspace;

namespace {

class FancyLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
};

const char kStyles[] =
    "none\tSerif\t30\ttrue\r\n"
    "BIG\tDejaVu Sans\t14\ttrue\r\n"
    "PLAIN\t$$\t$$\tfalse\r\n";

const char kCaptions[] =
    "frmTest\tlblName\tName\tBIG\r\n"
    "frmTest\tbtnOk\tOK\tBIG\r\n"
    "frmTest\tbtnHelp\tShows help\tHINT\r\n"
    "frmTest\ttbOpen\tOpen\tBIG\r\n"
    "frmTest\ttbSave\tSaves\tHINT\r\n"
    "frmTest\tmnuFile\tFile\tBIG\r\n"
    "frmTest\tmnuOpen\tOpen...\tBIG\r\n"
    "frmTest\trbOne\tOne\tBIG\r\n"
    "frmTest\tcbAll\tAll\tnone\r\n"
    "frmTest\tgbSize\tSize\tPLAIN\r\n"
    "frmTest\ttsFirst\tFirst page\tBIG\r\n"
    "frmTest\tpcPages\tignored\tBIG\r\n"
    "frmTest\tcbFormat\tignored\tBIG\r\n"
    "frmTest\tedName\tignored\tMISSING\r\n"
    "frmTest\tseCount\tignored\tBIG\r\n"
    "frmTest\tlblFancy\tignored\tBIG\r\n"
    "frmOther\tlblOther\tother form\tBIG\r\n";

struct Expect {
  const char* name;
  const char* text;     // caption after dressing (nullptr: as designed)
  const char* toolTip;  // hint after dressing (nullptr: none)
  int pointSize;        // 0: as designed
  bool bold;
};

TEST(ApplyCaptions, DressesEachKindOfComponent) {
  for (double dpi : {96.0, 120.0}) {
    SCOPED_TRACE(dpi);
    QWidget form;
    form.setObjectName("frmTest");
    QFont designed = form.font();
    designed.setPointSize(8);
    designed.setBold(false);
    form.setFont(designed);
    const auto named = [](QObject* o, const char* name) {
      o->setObjectName(name);
      return o;
    };
    named(new QLabel("designed", &form), "lblName");
    named(new QPushButton("designed", &form), "btnOk");
    named(new QPushButton("designed", &form), "btnHelp");
    named(new QToolButton(&form), "tbOpen");
    named(new QToolButton(&form), "tbSave");
    auto* menu = static_cast<QMenu*>(named(new QMenu("designed", &form), "mnuFile"));
    named(menu->addAction("designed"), "mnuOpen");
    named(new QRadioButton("designed", &form), "rbOne");
    named(new QCheckBox("designed", &form), "cbAll");
    named(new QGroupBox("designed", &form), "gbSize");
    auto* tabs = static_cast<QTabWidget*>(named(new QTabWidget(&form), "pcPages"));
    tabs->addTab(static_cast<QWidget*>(named(new QWidget, "tsFirst")), "designed");
    named(new QComboBox(&form), "cbFormat");
    named(new QLineEdit("designed", &form), "edName");
    named(new QSpinBox(&form), "seCount");
    named(new FancyLabel(&form), "lblFancy");
    named(new QLabel("designed", &form), "lblOther");

    MLang lang;
    lang.ParseStyles(kStyles);
    lang.ParseCaptions(kCaptions);
    lang.ApplyCaptions(&form, dpi);

    const int big = dpi > 108 ? 13 : 14;
    const Expect expects[] = {
        {"lblName", "Name", nullptr, big, true},
        {"btnOk", "OK", nullptr, big, true},
        {"btnHelp", "designed", "Shows help", 8, false},  // a hint: caption and font as designed
        {"tbOpen", "Open", nullptr, 8, false},            // tool buttons take no font
        {"tbSave", "", "Saves", 8, false},
        {"rbOne", "One", nullptr, big, true},
        {"cbAll", "All", nullptr, 8, false},              // the first style is never applied
        {"gbSize", "Size", nullptr, 8, false},
        {"pcPages", nullptr, nullptr, big, true},         // font only
        {"cbFormat", nullptr, nullptr, big, true},
        {"edName", "designed", nullptr, 8, false},        // unknown style: as designed
        {"seCount", nullptr, nullptr, 8, false},          // not a kind the tables dress
        {"lblFancy", "", nullptr, 8, false},              // exact classes only
        {"lblOther", "designed", nullptr, 8, false},      // another form's row
    };
    for (const auto& e : expects) {
      SCOPED_TRACE(e.name);
      auto* w = form.findChild<QWidget*>(e.name);
      ASSERT_NE(w, nullptr);
      if (e.text) {
        QString text = w->property("text").isValid() ? w->property("text").toString()
                                                      : w->property("title").toString();
        EXPECT_EQ(text, e.text);
      }
      EXPECT_EQ(w->toolTip(), e.toolTip ? e.toolTip : "");
      EXPECT_EQ(w->font().pointSize(), e.pointSize);
      EXPECT_EQ(w->font().bold(), e.bold);
    }
    EXPECT_EQ(form.findChild<QWidget*>("pcPages")->font().family(), "DejaVu Sans");
    EXPECT_EQ(menu->title(), "File");
    EXPECT_EQ(form.findChild<QAction*>("mnuOpen")->text(), "Open...");
    EXPECT_EQ(tabs->tabText(0), "First page");
    EXPECT_EQ(tabs->widget(0)->font().pointSize(), big);
  }
}

}  // namespace

#include "captions_gui_test.moc"
