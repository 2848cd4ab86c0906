// The multi-image sheet editor: filled from the selection, its grid of 4, 9 or 16
// cells, colours, files dropped onto cells, cells dragged onto each other and emptied,
// and saving with its messages.
#include "exporters/frmmltimg.h"

#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <QCoreApplication>

#include "cards_fixture.h"
#include "exporters/cards.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/output_format.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace {

using namespace cardstest;
using exporters::CellRect;
using exporters::MultiCell;
using exporters::TfrmMltImg;
using platform::MsgAnswer;
namespace fs = std::filesystem;

QRect rectOf(const CellRect& r) { return QRect(r.left, r.top, r.width, r.height); }

class Sheet : public CardsProgram {
 protected:
  // The album of `count` pictures, all selected, the sheet shown from the menu.
  TfrmMltImg* open(int count, int firstWidth = 320, int firstHeight = 240) {
    start();
    for (int i = 0; i < count; ++i) {
      addPicture(i == 0 ? firstWidth : 320, i == 0 ? firstHeight : 240, QColor::fromHsv((i * 37) % 360, 200, 200));
    }
    std::vector<int> all(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) all[size_t(i)] = i;
    select(all);
    workspace::frmMain->component<QAction>("mnuMulti")->trigger();
    QCoreApplication::processEvents();
    return sheet();
  }
  bool mainMenusEnabled() const { return workspace::frmMain->component<QMenu>("mnuFile")->menuAction()->isEnabled(); }
  // A drop onto the window at the centre of a cell of the current grid, or at a point
  // of the sheet area.
  void drop(QMimeData* data, QPoint areaPoint) {
    TfrmMltImg* s = sheet();
    const QPoint at = s->pnlMI()->mapTo(s, areaPoint);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(s, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent e(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(s, &e);
    EXPECT_TRUE(e.isAccepted());
    QCoreApplication::processEvents();
    delete data;
  }
  QPoint centreOf(int cell) const {
    const CellRect r = exporters::CellPanel(cell, sheet()->GridSize);
    return QPoint(r.left + r.width / 2, r.top + r.height / 2);
  }
  static QMimeData* files(const std::vector<std::string>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    data->setUrls(urls);
    return data;
  }
  std::string pictureFile(const std::string& name, int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    const fs::path path = dir / "drops" / name;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(img.save(QString::fromStdString(path.string()), "BMP"));
    return path.string();
  }
};

// The cards' windows are made in their places among the sixteen forms at start-up.
TEST_F(Sheet, WindowsAreMadeInTheirPlacesAtStartUp) {
  exporters::RegisterCards();
  std::vector<std::string> order;
  workspace::CreateForms(&order);
  ASSERT_EQ(order.size(), 16u);
  EXPECT_EQ(order[11], "frmTiView");
  EXPECT_EQ(order[15], "frmMltImg");
  EXPECT_NE(tiView(), nullptr);
  EXPECT_NE(sheet(), nullptr);
  EXPECT_EQ(sheet()->windowTitle(), "Multi Image");
}

TEST_F(Sheet, FilledFromTheSelectionInAGridOfNine) {
  TfrmMltImg* s = open(20, 720, 480);
  ASSERT_TRUE(s->isVisible());
  EXPECT_FALSE(mainMenusEnabled());
  for (int i = 0; i < 16; ++i) {
    const workspace::FlameInfo& r = *workspace::Flames->Record(i);
    EXPECT_EQ(s->Cells[size_t(i)], (MultiCell{i, r.width, r.height, r.workPath, r.thumbPath})) << i;
  }
  EXPECT_EQ(s->cbNum()->currentIndex(), 1);
  struct Grid {
    int index, n, visibleLines;
  } grids[] = {{1, 3, 2}, {2, 4, 3}, {0, 2, 1}, {1, 3, 2}};
  for (const Grid& g : grids) {
    SCOPED_TRACE(g.n);
    s->cbNum()->setCurrentIndex(g.index);
    EXPECT_EQ(s->GridSize, g.n);
    EXPECT_EQ(s->CellCount, g.n * g.n);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(s->Panel(i)->isVisible(), i < g.n * g.n) << i;
      if (i < g.n * g.n) {
        EXPECT_EQ(s->Panel(i)->geometry(), rectOf(exporters::CellPanel(i, g.n))) << i;
      }
    }
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(s->VerticalLine(j)->isVisible(), j < g.visibleLines);
      EXPECT_EQ(s->HorizontalLine(j)->isVisible(), j < g.visibleLines);
      if (j < g.visibleLines) {
        EXPECT_EQ(s->VerticalLine(j)->x(), exporters::VerticalLineX(j, g.n));
      }
    }
  }
  // The 720 x 480 picture in its 79 x 61 panel.
  EXPECT_EQ(s->Image(0)->geometry(), QRect(0, 4, 79, 52));
  s->closeForm();
  EXPECT_TRUE(mainMenusEnabled());
}

TEST_F(Sheet, BackgroundColourAndGridLines) {
  TfrmMltImg* s = open(2);
  EXPECT_EQ(s->Background, 0xFFFFFFu);
  EXPECT_EQ(s->VerticalLine(0)->Colour(), 0u);
  static uint32_t offered = 0;
  static bool confirm = true;
  exporters::ColourDialog previous = exporters::SetColourDialog([](QWidget*, uint32_t initial, uint32_t& chosen) {
    offered = initial;
    chosen = 0x808080;
    return confirm;
  });
  s->component<QPushButton>("btnBColor")->click();
  EXPECT_EQ(offered, 0xFFFFFFu);
  EXPECT_EQ(s->Background, 0x808080u);
  EXPECT_EQ(s->HorizontalLine(1)->Colour(), 0xFFFFFFu);
  EXPECT_EQ(s->Panel(0)->palette().color(QPalette::Window), QColor(128, 128, 128));
  confirm = false;
  s->component<QPushButton>("btnBColor")->click();
  EXPECT_EQ(s->Background, 0x808080u) << "a cancelled choice changes nothing";
  exporters::SetColourDialog(previous);
}

TEST_F(Sheet, DroppedFilesFillCellsFromTheOneUnderTheDrop) {
  TfrmMltImg* s = open(2);
  s->cbNum()->setCurrentIndex(0);  // 2 x 2
  const int albumCount = workspace::Flames->Count();
  workspace::frmMain->Modified = 0;
  std::vector<std::string> pictures;
  for (int i = 0; i < 20; ++i) pictures.push_back(pictureFile("d" + std::to_string(i) + ".bmp", 160 + i, 120, Qt::cyan));
  const std::string text = (dir / "drops" / "notes.txt").string();
  adtest::writeFile(text, "no picture");
  const std::string album = (dir / "drops" / "two.qla").string();
  adtest::writeFile(album, std::string("QLA\0\2\0\0\0", 8) + std::string(8, '\0'));

  struct Case {
    std::vector<std::string> files;
    QPoint at;
    std::vector<int> filled;  // cells filled by the drop
  } cases[] = {
      {{pictures[0], text, album, pictures[1], pictures[2]}, centreOf(3), {3, 4, 5}},
      {{pictures[3]}, QPoint(120, 40), {4}},                                    // on a grid line: the first hidden cell
      {std::vector<std::string>(pictures.begin(), pictures.begin() + 20), centreOf(0), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 16; ++i) s->DeleteCell(i);
    drop(files(c.files), c.at);
    for (int i = 0; i < 16; ++i) {
      const bool filled = std::count(c.filled.begin(), c.filled.end(), i) > 0;
      EXPECT_EQ(s->Cells[size_t(i)].Filled(), filled) << "cell " << i;
      if (filled) {
        EXPECT_EQ(s->Cells[size_t(i)].albumIndex, -1);
      }
    }
  }
  EXPECT_EQ(s->DroppedFiles.size(), 20u);
  EXPECT_EQ(s->Cells[4].width, 164u) << "cell 4 holds the fifth file";
  EXPECT_EQ(s->Cells[0].height, 120u);
  EXPECT_EQ(workspace::Flames->Count(), albumCount) << "the album is left alone";
  EXPECT_EQ(workspace::frmMain->Modified, 0);
  // Cells filled beyond the grid show when it grows.
  EXPECT_FALSE(s->Panel(5)->isVisible());
  s->cbNum()->setCurrentIndex(1);
  EXPECT_TRUE(s->Panel(5)->isVisible());
}

TEST_F(Sheet, CellsAreCopiedByDraggingAndEmptiedFromTheirMenu) {
  TfrmMltImg* s = open(3);
  auto* data = new QMimeData;
  data->setData("application/x-albumdesk-sheet-cell", "1");
  drop(data, centreOf(7));
  EXPECT_EQ(s->Cells[7], s->Cells[1]);
  EXPECT_EQ(s->Image(7)->pixmap().toImage(), s->Image(1)->pixmap().toImage());
  EXPECT_TRUE(s->Cells[1].Filled()) << "the source keeps its picture";

  emit s->Panel(7)->customContextMenuRequested(QPoint(2, 2));
  EXPECT_EQ(s->MenuCell(), 7);
  s->pmMulti()->hide();
  s->component<QAction>("pmDelete")->trigger();
  EXPECT_EQ(s->Cells[7], MultiCell{});
  EXPECT_FALSE(s->Image(7)->isVisible());
}

// ---- saving -------------------------------------------------------------------------------------

// The output settings as the user leaves them in the dialog.
struct Chosen {
  bool confirm = true;
  int format = 0, width = 640, height = 480, quality = 80;
};
Chosen chosen;
bool settingsDialog(QWidget*) {
  workspace::OutputFormatSettings& s = workspace::OutputFormat();
  EXPECT_EQ(s.KeepSizeAllowed, 0);
  EXPECT_EQ(s.RotationAllowed, 0);
  EXPECT_EQ(s.SourceWidth, 640);
  EXPECT_EQ(s.Format, 0);
  s.Format = chosen.format;
  s.OutputWidth = chosen.width;
  s.OutputHeight = chosen.height;
  s.JpegQuality = chosen.quality;
  return chosen.confirm;
}

// Presses Stop as soon as the wait window has been shown (its showing clears the flag).
class StopOnceShown : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) QTimer::singleShot(0, [] { workspace::frmWait->AbortFlag = 1; });
    return false;
  }
};

class SheetSave : public Sheet {
 protected:
  SheetSave() : previous_(exporters::SetSettingsDialog(settingsDialog)) { chosen = Chosen{}; }
  ~SheetSave() override { exporters::SetSettingsDialog(previous_); }
  void save() { sheet()->component<QPushButton>("btnSave")->click(); }
  std::string stored() const {
    std::string folder;
    workspace::Profile->ReadString("INIT", "MULTIIMAGE", folder);
    return folder;
  }

 private:
  exporters::SettingsDialog previous_;
};

TEST_F(SheetSave, NamesExtensionsAndTheRememberedFolder) {
  TfrmMltImg* s = open(4);
  const fs::path out = dir / "sheets";
  fs::create_directories(out);
  struct Case {
    int format;
    std::string typed;
    const char* proposed;
    const char* filter;
    std::string written;
  } cases[] = {
      {0, (out / "MLTIMG001").string(), "MLTIMG001", "JPEG|*.jpg", (out / "MLTIMG001.jpg").string()},
      {0, (out / "party.png").string(), "MLTIMG002", "JPEG|*.jpg", (out / "party.jpg").string()},
      {0, (out / "Big.JPG").string(), "MLTIMG002", "JPEG|*.jpg", (out / "Big.JPG").string()},
      {1, (out / "MLTIMG001.jpg").string(), "MLTIMG001", "BITMAP|*.bmp", (out / "MLTIMG001.bmp").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    chosen.format = c.format;
    dialogs.queue({platform::withDefaultExt(c.typed, c.format ? "bmp" : "jpg")});
    const size_t before = dialogs.shown().size();
    save();
    ASSERT_EQ(dialogs.shown().size(), before + 1);
    const platform::FileDialogOptions& o = dialogs.shown().back().options;
    EXPECT_EQ(o.fileName, c.proposed);
    EXPECT_EQ(o.filter, c.filter);
    EXPECT_EQ(o.initialDir, before == 0 ? workspace::DesktopDir : out.string());
    EXPECT_TRUE(fs::exists(c.written));
    EXPECT_EQ(stored(), out.string());
  }
  // The sheet itself: 640 x 480, the first picture in cell 0.
  QmHandle pic = ImageFileLoad(cases[3].written.c_str());
  ImageKindRecord info;
  ASSERT_TRUE(ImageInfo(pic, &info));
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  ImageFree(pic);
  EXPECT_EQ(texts(boxes), std::vector<std::string>{});
  EXPECT_TRUE(s->isEnabled());
}

// Without an output settings dialog in the program the sheet is written as the reset
// settings say: JPEG, 640 x 480.
TEST_F(SheetSave, WithoutTheSettingsDialogTheResetSettingsServe) {
  open(2);
  exporters::SettingsDialog test = exporters::SetSettingsDialog(nullptr);
  const fs::path target = dir / "plain.jpg";
  dialogs.queue({target.string()});
  save();
  exporters::SetSettingsDialog(test);
  ImageFileInfoRecord info;
  ASSERT_TRUE(ImageFileInfo(target.c_str(), &info));
  EXPECT_EQ(info.pictureType, QM_TYPE_JPEG);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
}

TEST_F(SheetSave, OverwriteFailureAndStop) {
  open(4);
  const fs::path target = dir / "sheet.jpg";
  struct Case {
    const char* what;
    bool confirmSettings;
    std::vector<MsgAnswer> answers;
    std::string chosenPath;
    bool stop;
    std::vector<std::string> boxes;
    bool replaced;
  } cases[] = {
      {"settings cancelled", false, {}, target.string(), false, {}, false},
      {"overwrite refused", true, {MsgAnswer::No}, target.string(), false,
       {"A file of this name already exists.\nReplace it?"}, false},
      {"stopped", true, {MsgAnswer::Yes}, target.string(), true, {"A file of this name already exists.\nReplace it?"}, false},
      {"no such folder", true, {}, (dir / "gone" / "sheet.jpg").string(), false, {"The file could not be saved."}, false},
      {"replaced", true, {MsgAnswer::Yes}, target.string(), false, {"A file of this name already exists.\nReplace it?"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    adtest::writeFile(target, "the old sheet");
    workspace::Profile->WriteString("INIT", "MULTIIMAGE", "unchanged");
    platform::ScriptedMessageBoxes shown;
    for (MsgAnswer a : c.answers) shown.queue(a);
    chosen.confirm = c.confirmSettings;
    if (c.confirmSettings) dialogs.queue({c.chosenPath});
    const size_t dialogsBefore = dialogs.shown().size();
    StopOnceShown stopper;
    if (c.stop) workspace::frmWait->installEventFilter(&stopper);
    save();
    EXPECT_EQ(dialogs.shown().size(), dialogsBefore + (c.confirmSettings ? 1 : 0));
    EXPECT_EQ(texts(shown), c.boxes);
    EXPECT_EQ(adtest::readFile(target) != "the old sheet", c.replaced);
    EXPECT_EQ(stored(), c.replaced ? dir.string() : "unchanged");
    EXPECT_FALSE(workspace::frmWait->isVisible());
    EXPECT_TRUE(sheet()->isEnabled());
  }

  // The disk fills up part-way through the sheet: the error, the old sheet as it was and
  // nothing beside it; with room again the same save succeeds.
  const fs::path full = dir / "full";
  adtest::FullDisk disk(full, 2 << 20);
  adtest::writeFile(full / "sheet.bmp", "the old sheet");
  fs::permissions(full / "sheet.bmp", fs::perms(0444));  // replaced only after the question
  disk.leave(4 << 10);
  SCOPED_TRACE(disk.how());
  chosen.format = workspace::OutputFormatSettings::kBmp;
  for (bool room : {false, true}) {
    if (room) disk.leave(2 << 20);
    platform::ScriptedMessageBoxes shown;
    shown.queue(MsgAnswer::Yes);
    dialogs.queue({(full / "sheet.bmp").string()});
    save();
    const std::string replace = "A file of this name already exists.\nReplace it?";
    std::vector<std::string> expected{replace};
    if (!room) expected.push_back("The file could not be saved.");
    EXPECT_EQ(texts(shown), expected);
    EXPECT_EQ(adtest::readFile(full / "sheet.bmp") == "the old sheet", !room);
    EXPECT_EQ(fs::status(full / "sheet.bmp").permissions(), fs::perms(room ? 0644 : 0444));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(full)) names.insert(e.path().filename().string());
    names.erase(".filler");
    EXPECT_EQ(names, std::set<std::string>{"sheet.bmp"});
    EXPECT_FALSE(workspace::frmWait->isVisible());
    EXPECT_TRUE(sheet()->isEnabled());
  }
}

}  // namespace
