// The program's windows in the test's language under the window manager: the sheet's
// output settings dialog opens above the sheet with its preset list reset; the toolkit's
// own boxes and dialogs speak the captions' language; a help file that nothing opens is
// told; and the main window, the wait window, the sheet with its settings dialog, the
// viewer, a question box, the save dialog and that error box are saved as screenshots.
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTextLayout>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "exporters/controls.h"
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

// ---- the toolkit's own buttons and dialogs ------------------------------------------------------

// Runs `act` once, on the first shown modal window of class T: a box or dialog that a call
// makes and shows inside itself, from inside its showing.
template <class T>
void whenModalShown(std::function<void(T*)> act) {
  auto* poll = new QTimer(qApp);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, qApp, [poll, act] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!window || !window->windowHandle() || !window->windowHandle()->isExposed()) return;
    poll->stop();
    poll->deleteLater();
    QTest::qWait(100);  // laid out and painted
    act(window);
  });
  poll->start();
}

QString buttonText(QWidget* window, QDialogButtonBox::StandardButton which) {
  auto* box = window->findChild<QDialogButtonBox*>();
  QPushButton* button = box ? box->button(which) : nullptr;
  return button ? button->text() : "(none)";
}

QString labelText(QWidget* window, const char* name) {
  auto* label = window->findChild<QLabel*>(name);
  return label ? label->text() : "(none)";
}

// The question box, the open and save dialogs and the colour dialog as the toolkit shows
// them, in the language of the captions. The question box and the save dialog are saved
// as screenshots.
TEST_F(Program, StandardButtonsAndDialogsSpeakTheCaptionsLanguage) {
  AD_REQUIRE_TOOL("import");
  struct Texts {
    QString yes, no;
    QString openTitle, open, saveTitle, save, cancel, lookIn, fileName, fileType, folder;
    QString basicColours, ok;
  };
  const std::map<std::string, Texts> expected = {
      {"en", {"&Yes", "&No", "Open", "&Open", "Save As", "&Save", "Cancel", "Look in:", "File &name:",
              "Files of type:", "Folder", "&Basic colors", "OK"}},
      {"fr", {"&Oui", "&Non", "Ouvrir", "&Ouvrir", "Enregistrer sous", "&Enregistrer", "Annuler", "Voir dans :",
              "&Nom de fichier :", "Fichiers de type :", "Dossier", "Couleurs de &base", "OK"}},
      {"ja", {"はい(&Y)", "いいえ(&N)", "開く", "開く(&O)", "名前を付けて保存", "保存(&S)", "キャンセル", "アドレス:",
              "ファイル名(&N):", "ファイルの種類:", "フォルダ", "基本カラー(&B)", "OK"}},
  };
  start();
  const Texts& want = expected.at(language());
  // The toolkit's own box and dialogs, as the program shows them, in place of the scripted ones.
  platform::MessageBoxes* scriptedBoxes = platform::setMessageBoxes(nullptr);
  platform::FileDialogs* scriptedDialogs = platform::setFileDialogs(nullptr);
  QWidget* main = workspace::frmMain;

  Texts seen;
  whenModalShown<QMessageBox>([&](QMessageBox* box) {
    seen.yes = box->button(QMessageBox::Yes)->text();
    seen.no = box->button(QMessageBox::No)->text();
    screenshot("question-box", box->frameGeometry().adjusted(-10, -10, 10, 10));
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(platform::askYesNo(main, workspace::Lang->GetMsg("MSG_HTMDISP").toStdString()));

  // A folder in the dialog's list shows its type.
  fs::create_directories(adtest::testDir() / "Movies");
  whenModalShown<QFileDialog>([&](QFileDialog* dialog) {
    seen.openTitle = dialog->windowTitle();
    seen.open = buttonText(dialog, QDialogButtonBox::Open);
    dialog->reject();
  });
  platform::FileDialog open(platform::FileDialogOptions::Mode::Open);
  open.options.initialDir = adtest::testDir().string();
  EXPECT_FALSE(open.execute(main));
  whenModalShown<QFileDialog>([&](QFileDialog* dialog) {
    seen.saveTitle = dialog->windowTitle();
    seen.save = buttonText(dialog, QDialogButtonBox::Save);
    seen.cancel = buttonText(dialog, QDialogButtonBox::Cancel);
    seen.lookIn = labelText(dialog, "lookInLabel");
    seen.fileName = labelText(dialog, "fileNameLabel");
    seen.fileType = labelText(dialog, "fileTypeLabel");
    // The list of the folder's contents fills as the toolkit reads the folder.
    auto* list = dialog->findChild<QAbstractItemView*>("treeView");
    if (list && list->model() &&
        QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }, 10000))
      seen.folder = list->model()->index(0, 2, list->rootIndex()).data().toString();
    screenshot("save-dialog", dialog->frameGeometry().adjusted(-10, -10, 10, 10));
    dialog->reject();
  });
  platform::FileDialog save(platform::FileDialogOptions::Mode::Save);
  save.options.initialDir = adtest::testDir().string();
  save.options.fileName = "MOVIE001.AVI";
  save.options.filter = workspace::Lang->GetMsg("FD_MOVIE").toStdString() + "|*.avi";
  save.options.defaultExt = "AVI";
  EXPECT_FALSE(save.execute(main));

  whenModalShown<QColorDialog>([&](QColorDialog* dialog) {
    for (auto* label : dialog->findChildren<QLabel*>())
      if (label->text() == want.basicColours) seen.basicColours = label->text();
    seen.ok = buttonText(dialog, QDialogButtonBox::Ok);
    dialog->reject();
  });
  QColor colour(Qt::red);
  EXPECT_FALSE(exporters::colourDialogs().choose(main, colour));

  platform::setMessageBoxes(scriptedBoxes);
  platform::setFileDialogs(scriptedDialogs);
  const std::pair<const char*, QString Texts::*> fields[] = {
      {"Yes", &Texts::yes},           {"No", &Texts::no},
      {"open title", &Texts::openTitle}, {"Open", &Texts::open},
      {"save title", &Texts::saveTitle}, {"Save", &Texts::save},
      {"Cancel", &Texts::cancel},     {"Look in", &Texts::lookIn},
      {"File name", &Texts::fileName}, {"Files of type", &Texts::fileType},
      {"a folder's type", &Texts::folder}, {"Basic colours", &Texts::basicColours},
      {"OK", &Texts::ok},
  };
  for (const auto& [name, field] : fields)
    EXPECT_EQ((seen.*field).toStdString(), (want.*field).toStdString()) << name << " in " << language();
}

// Help whose file is there but that no program on the desktop opens (a stand-in opener
// first on PATH finds none) is not silent: the toolkit's box says so in the captions'
// language, naming the file. Saved as a screenshot.
TEST_F(Program, HelpThatNothingOpensIsToldInTheLanguage) {
  AD_REQUIRE_TOOL("import");
  start();
  adtest::StandInProgram opener("xdg-open", "exit 3");
  const fs::path help = adtest::testDir() / "wro10e35.chm";
  adtest::writeFile(help, "help");
  workspace::frmMain->HelpFile = help.string();
  platform::MessageBoxes* scriptedBoxes = platform::setMessageBoxes(nullptr);
  QString told;
  bool shown = false;
  whenModalShown<QMessageBox>([&](QMessageBox* box) {
    told = box->text();
    screenshot("help-not-opened", box->frameGeometry().adjusted(-10, -10, 10, 10));
    box->button(QMessageBox::Ok)->click();
    shown = true;
  });
  workspace::frmMain->component<QAction>("mnuKey")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown; }, 30000)) << "nothing was told";
  platform::setMessageBoxes(scriptedBoxes);
  EXPECT_EQ(opener.runs(), std::vector<std::vector<std::string>>{{help.string()}});
  EXPECT_EQ(told.toStdString(), workspace::Lang->GetMsg("MSG_OPEN_NOPROGRAM").toStdString() + "\n" + help.string());
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
