// The main window's album commands, driven as the user drives them: open and save of
// albums and pictures, the clipboard, dropped files and the mail hand-off, with every
// dialog and question answered by script.
#include <sys/stat.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <functional>
#include <map>

#include "engine_fixture.h"
#include "main_window_fixture.h"
#include "platform/registry_store.h"
#include "workspace/file_lists.h"
#include "workspace/frmautosave.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/output_format.h"
#include "workspace/profile.h"

namespace {

using platform::MsgAnswer;

std::string captureFixture(const std::string& name) {
  return std::string(AD_SOURCE_DIR) + "/tests/data/capture/" + name;
}

// The output settings window as the user answers it: OK with a format, or cancelled.
class OutputSettings : public platform::Form {
 public:
  bool ok = true;
  int32_t format = OutputFormatSettings::kJpeg;
  int shown = 0;

 protected:
  void FormShow() override {
    ++shown;
    OutputFormatSettings& f = OutputFormat();
    if (ok) {
      f.Format = format;
      f.SizeMode = OutputFormatSettings::kKeepSize;
      f.Cancelled = 0;
    }
    QTimer::singleShot(0, this, [this] { setModalResult(ok ? platform::mrOk : platform::mrCancel); });
  }
};

class AlbumCommands : public MainWindow {
 protected:
  void SetUp() override {
    start();
    delete frmImgFmt;
    frmImgFmt = settings = new OutputSettings;
    // The results window is read and closed as soon as it shows.
    frmAutoSave->installEventFilter(&resultsSpy);
    resultsSpy.onShow = [] {
      QTimer::singleShot(0, frmAutoSave, [] { frmAutoSave->setModalResult(platform::mrOk); });
    };
  }
  struct Spy : QObject {
    std::function<void()> onShow;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Show && onShow) onShow();
      return false;
    }
  };

  fs::path folder(const std::string& name) {
    const fs::path f = adtest::testDir() / name;
    fs::create_directories(f);
    return f;
  }
  // The working copies of the album, in order.
  std::vector<std::string> copies() const {
    std::vector<std::string> c;
    for (int i = 0; i < album().Count(); ++i) c.push_back(album().Record(i)->workPath);
    return c;
  }
  // The source picture each album picture was made from, by its colour's index.
  std::vector<int> colours() const {
    std::vector<int> c;
    for (int i = 0; i < album().Count(); ++i) {
      const QColor px = QImage(QString::fromStdString(album().Record(i)->workPath)).pixelColor(0, 0);
      int k = 0;
      while (k < 400 && adtest::colourOf(k).rgb() != px.rgb()) ++k;
      c.push_back(k);
    }
    return c;
  }
  void select(std::initializer_list<int> indices) {
    album().SelectAll(false);
    for (int i : indices) album().Cell(i)->Select(true);
    album().CountSelected();
  }
  std::string picture(const std::string& name, int colour) {
    return adtest::writePicture(adtest::testDir() / "src" / name, adtest::colourOf(colour), 160, 120);
  }

  OutputSettings* settings = nullptr;
  Spy resultsSpy;
};

// ---- album save -----------------------------------------------------------------------------

// The name proposed, the name written, and what is remembered.
TEST_F(AlbumCommands, AlbumSaveNamesAndFolders) {
  addPictures(2);
  const fs::path dir = folder("albums");
  adtest::writeFile(dir / "ALBUM001.qla", "x");
  adtest::writeFile(dir / "ALBUM002.qla", "x");
  Profile->WriteString("INIT", "ALBUM", dir.string());
  struct Case {
    const char* typed;
    const char* written;
  } cases[] = {{"trip.2006", "trip.qla"}, {"my.album.txt", "my.qla"}, {"Trip.QLA", "Trip.QLA"}, {"plain", "plain.qla"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    frmMain->Modified = 1;
    dialogs.queue({(dir / c.typed).string()});
    action("mnuAlbumSave")->trigger();
    const auto& d = dialogs.shown().back().options;
    EXPECT_EQ(d.initialDir, dir.string());
    EXPECT_EQ(d.fileName, (dir / "ALBUM003.qla").string());
    EXPECT_EQ(d.defaultExt, "qla");
    EXPECT_EQ(d.filter, msg("FD_ALBUM") + "(*.qla)|*.qla");
    ASSERT_TRUE(fs::exists(dir / c.written));
    EXPECT_EQ(adtest::readFile(dir / c.written).substr(0, 8), std::string("QLA\0\x02\0\0\0", 8));
    EXPECT_EQ(frmMain->Modified, 0);
  }
  EXPECT_TRUE(boxes.shown().empty()) << "no questions, no association question on this system";
  std::string stored;
  ASSERT_TRUE(Profile->ReadString("INIT", "ALBUM", stored));
  EXPECT_EQ(stored, dir.string());

  // A folder that is gone opens the dialog in its default place; no key at all, on the desktop.
  fs::remove_all(dir);
  dialogs.queueCancel();
  action("mnuAlbumSave")->trigger();
  EXPECT_EQ(dialogs.shown().back().options.initialDir, "");
  EXPECT_EQ(dialogs.shown().back().options.fileName, "ALBUM001.qla");
  fs::remove(Profile->SettingsPath());
  dialogs.queueCancel();
  action("mnuAlbumSave")->trigger();
  EXPECT_EQ(dialogs.shown().back().options.initialDir, DesktopDir);
}

// Replacing asks first; a failed save leaves the old file, its permissions, the folder and
// the flag as they were. A file the user may not write is made writable and replaced.
TEST_F(AlbumCommands, AlbumSaveOverAnExistingFile) {
  addPictures(2);
  const fs::path target = folder("albums") / "old.qla";
  adtest::writeFile(target, "the old album");
  fs::permissions(target, fs::perms(0440));
  struct Case {
    const char* name;
    MsgAnswer answer;
    bool breakAPicture;
    std::vector<std::string> asked;
    bool replaced;
  } cases[] = {
      {"no", MsgAnswer::No, false, {"MSG_SAVEOW"}, false},
      {"failed", MsgAnswer::Yes, true, {"MSG_SAVEOW", "MSG_SAVE_ERR"}, false},
      {"yes", MsgAnswer::Yes, false, {"MSG_SAVEOW"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    frmMain->Modified = 1;
    const std::string copy = album().Record(1)->workPath;
    const std::string kept = adtest::readFile(copy);
    if (c.breakAPicture) fs::remove(copy);
    boxes.queue(c.answer);
    const size_t before = boxes.shown().size();
    dialogs.queue({target.string()});
    action("mnuAlbumSave")->trigger();
    std::vector<std::string> asked;
    for (size_t i = before; i < boxes.shown().size(); ++i) asked.push_back(boxes.shown()[i].text);
    std::vector<std::string> expected;
    for (const std::string& k : c.asked) expected.push_back(k == "MSG_SAVEOW" ? msg("MSG_SAVEOW1") + "\n" + msg("MSG_SAVEOW2") : msg(k.c_str()));
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(adtest::readFile(target) == "the old album", !c.replaced);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(c.replaced ? 0640 : 0440));
    EXPECT_EQ(frmMain->Modified, c.replaced ? 0 : 1);
    if (c.breakAPicture) adtest::writeFile(copy, kept);
  }
  std::string stored;
  EXPECT_TRUE(Profile->ReadString("INIT", "ALBUM", stored));
  for (const auto& e : fs::directory_iterator(target.parent_path())) EXPECT_EQ(e.path(), target) << "nothing left beside it";
}

// A link where the album goes counts as a file there, also when it names nothing: the
// user is asked, and the album replaces the link, never what the link names. A read-only
// file is replaced only after the user's yes.
TEST_F(AlbumCommands, AlbumSaveOverALinkOrAReadOnlyFile) {
  addPictures(1);
  const fs::path albums = folder("albums");
  const fs::path other = adtest::testDir() / "other.qla";
  adtest::writeFile(other, "another album");
  ::chmod(other.c_str(), 0444);
  fs::create_symlink(other, albums / "linked.qla");
  fs::create_symlink(adtest::testDir() / "nowhere.qla", albums / "dangling.qla");
  adtest::writeFile(albums / "kept.qla", "read-only");
  ::chmod((albums / "kept.qla").c_str(), 0444);
  for (const char* name : {"linked.qla", "dangling.qla", "kept.qla"}) {
    SCOPED_TRACE(name);
    const size_t before = boxes.shown().size();
    boxes.queue(MsgAnswer::Yes);
    dialogs.queue({(albums / name).string()});
    action("mnuAlbumSave")->trigger();
    ASSERT_EQ(boxes.shown().size(), before + 1);
    EXPECT_EQ(boxes.shown().back().text, msg("MSG_SAVEOW1") + "\n" + msg("MSG_SAVEOW2"));
    EXPECT_FALSE(fs::is_symlink(albums / name));
    EXPECT_EQ(adtest::readFile(albums / name).substr(0, 4), std::string("QLA\0", 4));
  }
  EXPECT_EQ(adtest::readFile(other), "another album");
  EXPECT_EQ(fs::status(other).permissions(), fs::perms(0444));
  EXPECT_FALSE(fs::exists(adtest::testDir() / "nowhere.qla"));
}

// ---- opening --------------------------------------------------------------------------------

// An album and a picture chosen together: each picture of the album, then the picture, at
// the album's end, and no picture replaced. Into an album that holds pictures the user
// is asked whether to start anew.
TEST_F(AlbumCommands, AlbumsAndPicturesOpenedTogetherKeepEveryPicture) {
  addPictures(3);
  const fs::path dir = folder("albums");
  ASSERT_TRUE(ImageOpe->SaveAlbum((dir / "a.qla").string(), copies()));
  const std::string b = picture("b.bmp", 50);
  fs::copy_file(b, dir / "b.bmp");
  Profile->WriteString("INIT", "ALBUM", dir.string());

  frmMain->Modified = 1;
  boxes.queue(MsgAnswer::No);  // add to the album
  dialogs.queue({(dir / "b.bmp").string(), (dir / "a.qla").string()});
  action("mnuAlbumOpen")->trigger();
  EXPECT_EQ(dialogs.shown().back().options.filter, msg("FD_ALBUM") + "(*.qla *.wza)|*.qla;*.wza");
  EXPECT_EQ(dialogs.shown().back().options.initialDir, dir.string());
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_ADDALBUM")});
  EXPECT_EQ(colours(), (std::vector<int>{0, 1, 2, 0, 1, 2, 50}));
  EXPECT_EQ(frmMain->Modified, 1);

  // Yes: the album is offered for saving (No here), emptied and filled from the file.
  boxes.queue(MsgAnswer::Yes);
  boxes.queue(MsgAnswer::No);
  dialogs.queue({(dir / "a.qla").string(), (dir / "b.bmp").string()});
  action("mnuAlbumOpen")->trigger();
  EXPECT_EQ(colours(), (std::vector<int>{0, 1, 2, 50}));
  EXPECT_EQ(frmMain->Modified, 1) << "the picture added after the album changed it";
  std::set<std::string> unique;
  for (const std::string& c : copies()) EXPECT_TRUE(unique.insert(c).second) << c;
}

// Files are added in the order of their names' bytes, after the pictures there are.
TEST_F(AlbumCommands, PictureOpenAddsInNameOrder) {
  addPictures(1);
  const std::string a = picture("IMG9.bmp", 9), b = picture("IMG10.bmp", 10), c = picture("img1.bmp", 1);
  dialogs.queue({a, b, c});
  action("mnuImgOpen")->trigger();
  EXPECT_EQ(dialogs.shown().back().options.filter, msg("FD_IMAGE") + "|*.*");
  EXPECT_EQ(colours(), (std::vector<int>{0, 10, 9, 1}));
  std::string stored;
  ASSERT_TRUE(Profile->ReadString("INIT", "LOADIMAGE", stored));
  EXPECT_EQ(stored, (adtest::testDir() / "src").string());
}

// Files that cannot be added are named in one message at the end of the command, whichever
// command brought them; the others are added. An empty list or a good one says nothing.
TEST_F(AlbumCommands, FilesThatCouldNotBeAddedAreNamedAtTheEnd) {
  const fs::path src = adtest::testDir() / "src";
  const std::string good = picture("good.bmp", 40);
  const std::string unreadable = (src / "broken.jpg").string(), missing = (src / "gone.png").string();
  adtest::writeFile(unreadable, "not a picture");
  const std::string expected = msg("MSG_NOTADDED") + "\n" + unreadable + "\n" + missing;
  struct Case {
    const char* name;
    std::function<void(const std::vector<std::string>&)> run;
  } cases[] = {
      {"open pictures",
       [&](const std::vector<std::string>& files) {
         dialogs.queue(files);
         action("mnuImgOpen")->trigger();
       }},
      {"drop",
       [&](const std::vector<std::string>& files) {
         DropFiles = files;
         platform::postMessage(frmMain, platform::WM_INSERT_FILES, -1, static_cast<platform::LPARAM>(files.size()));
         QCoreApplication::processEvents();
       }},
      {"paste",
       [&](const std::vector<std::string>& files) {
         PutFilesOnClipboard(files);
         album().SelectAll(false);
         action("mnuPaste")->trigger();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = album().Count();
    const size_t shown = boxes.shown().size();
    c.run({missing, good, unreadable});
    EXPECT_EQ(album().Count(), before + 1);
    EXPECT_EQ(colours().back(), 40);
    ASSERT_EQ(boxes.shown().size(), shown + 1);
    EXPECT_EQ(boxes.shown().back().text, expected);
    EXPECT_EQ(boxes.shown().back().icon, platform::MsgIcon::Stop);
    c.run({good});
    EXPECT_EQ(boxes.shown().size(), shown + 1) << "nothing to name";
  }
}

// A damaged album is named too: one whose end is cut off and one with a picture that cannot
// be read; their other pictures are added. Beyond five names the rest are counted.
TEST_F(AlbumCommands, DamagedAlbumsAreNamedAndLongListsCounted) {
  addPictures(3);
  const fs::path dir = folder("albums");
  const std::string junk = (dir / "junk.jpg").string();
  adtest::writeFile(junk, "not a picture");
  const std::string damaged = (dir / "a-damaged.qla").string(), cut = (dir / "b-cut.qla").string();
  ASSERT_TRUE(ImageOpe->SaveAlbum(damaged, {copies()[0], junk, copies()[1]}));
  ASSERT_TRUE(ImageOpe->SaveAlbum(cut, copies()));
  const std::string whole = adtest::readFile(cut);
  adtest::writeFile(cut, whole.substr(0, whole.size() - 100));
  std::vector<std::string> chosen = {damaged, cut};
  for (int i = 0; i < 6; ++i) {
    chosen.push_back((dir / ("c" + std::to_string(i) + ".bmp")).string());
    adtest::writeFile(chosen.back(), "BM but nothing more");
  }
  frmMain->Modified = 0;
  boxes.queue(MsgAnswer::No);  // add to the album
  boxes.queue(MsgAnswer::No);
  dialogs.queue(chosen);
  action("mnuAlbumOpen")->trigger();
  EXPECT_EQ(colours(), (std::vector<int>{0, 1, 2, 0, 1, 0, 1}));
  const std::vector<std::string> texts = boxTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[2], msg("MSG_NOTADDED") + "\n" + damaged + "\n" + cut + "\n" + chosen[2] + "\n" + chosen[3] +
                          "\n" + chosen[4] + "\n" + msg("MSG_MORE1") + "3" + msg("MSG_MORE2"));
}

// At the limit: opening pictures says so without a dialog; files added by a dialog or a
// drop stop at the limit after the message.
TEST_F(AlbumCommands, AlbumLimitWhileAdding) {
  addPictures(198);
  std::vector<std::string> four;
  for (int i = 0; i < 4; ++i) four.push_back(picture("d" + std::to_string(i) + ".bmp", 300 + i));
  DropFiles = four;
  platform::postMessage(frmMain, platform::WM_INSERT_FILES, -1, 4);
  QCoreApplication::processEvents();
  EXPECT_EQ(album().Count(), 200);
  EXPECT_EQ(colours()[198], 300);
  EXPECT_EQ(colours()[199], 301);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_FRMOVER1") + "200" + msg("MSG_FRMOVER2")});
  EXPECT_TRUE(frmMain->isEnabled());

  action("mnuImgOpen")->trigger();
  EXPECT_TRUE(dialogs.shown().empty()) << "no dialog for a full album";
  EXPECT_EQ(boxes.shown().size(), 2u);
  EXPECT_TRUE(frmMain->DropsRefused());
}

// ---- picture save ---------------------------------------------------------------------------

// One picture: its name always ends in the format's extension. Several: after the first,
// Yes saves the rest under the next free numbered names in the first one's folder, with
// one line each in the results window.
TEST_F(AlbumCommands, PictureSaveOneAndTheRest) {
  addPictures(4);
  const fs::path dir = folder("out");
  select({1});
  dialogs.queue({(dir / "photo.jpeg").string()});
  frmMain->mnuImgSaveClick(nullptr);
  EXPECT_EQ(settings->shown, 1);
  EXPECT_EQ(dialogs.shown().back().options.defaultExt, "JPG");
  EXPECT_EQ(dialogs.shown().back().options.filter, "JPEG/DCF(*.jpg)|*.jpg");
  EXPECT_TRUE(fs::exists(dir / "photo.JPG"));
  EXPECT_EQ(adtest::readFile(dir / "photo.JPG").substr(0, 2), "\xFF\xD8");
  EXPECT_TRUE(boxes.shown().empty()) << "one picture: no further question";

  // Where the settings file cannot keep the folder, the rest still go where the first went.
  fs::remove(Profile->SettingsPath());
  fs::create_directories(Profile->SettingsPath());
  settings->format = OutputFormatSettings::kBmp;
  select({0, 2, 3});
  boxes.queue(MsgAnswer::Yes);
  dialogs.queue({(dir / "first").string()});
  QString results;
  resultsSpy.onShow = [&] {
    results = frmAutoSave->memo()->toPlainText();
    QTimer::singleShot(0, frmAutoSave, [] { frmAutoSave->setModalResult(platform::mrOk); });
  };
  frmMain->mnuImgSaveClick(nullptr);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_IMG_SAVE")});
  EXPECT_EQ(dialogs.shown().back().options.fileName, DesktopDir + "/IMAGE001.BMP") << "no folder could be remembered";
  for (const char* f : {"first.BMP", "IMAGE001.BMP", "IMAGE002.BMP"}) {
    ASSERT_TRUE(fs::exists(dir / f)) << f;
    EXPECT_EQ(adtest::readFile(dir / f).substr(0, 2), "BM");
  }
  EXPECT_EQ(results.count('\n'), 1) << results.toStdString();
  EXPECT_TRUE(results.contains("003") && results.contains("IMAGE001") && results.contains("004") &&
              results.contains("IMAGE002"))
      << results.toStdString();
}

TEST_F(AlbumCommands, PictureSaveCancelledOrRefused) {
  addPictures(3);
  const fs::path dir = folder("out");
  adtest::writeFile(dir / "taken.JPG", "keep");
  struct Case {
    const char* name;
    bool settingsOk;
    std::vector<std::string> files;  // the save dialog's answer, none: cancelled
    std::vector<MsgAnswer> answers;
    int dialogsShown;
  } cases[] = {
      {"settings_cancelled", false, {}, {}, 0},
      {"dialog_cancelled", true, {}, {}, 1},
      {"not_replaced", true, {(dir / "taken.jpg").string()}, {MsgAnswer::No}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    select({0});
    settings->ok = c.settingsOk;
    const size_t before = dialogs.shown().size();
    if (c.settingsOk) dialogs.queue(c.files);
    for (MsgAnswer a : c.answers) boxes.queue(a);
    EXPECT_EQ(frmMain->SaveOneImage(0), 0);
    EXPECT_EQ(dialogs.shown().size() - before, static_cast<size_t>(c.dialogsShown));
    EXPECT_EQ(adtest::readFile(dir / "taken.JPG"), "keep");
    EXPECT_EQ(boxes.answersLeft(), 0u);
  }
  settings->ok = true;
  // A picture not saved asks whether to stop: Yes ends the command.
  select({0, 1, 2});
  dialogs.queueCancel();
  boxes.queue(MsgAnswer::Yes);
  frmMain->mnuImgSaveClick(nullptr);
  EXPECT_EQ(boxTexts().back(), msg("MSG_STOP_SAVE"));
  EXPECT_EQ(dialogs.answersLeft(), 0u);
}

// ---- the clipboard and paste ----------------------------------------------------------------

// Pictures 0 to 9 with picture 4 selected and two picture files on the clipboard: the
// pasted pictures become 4 and 5, the others move up behind them.
TEST_F(AlbumCommands, PasteGoesBeforeTheFirstSelectedPicture) {
  addPictures(10);
  const std::vector<std::string> before = copies();
  PutFilesOnClipboard({picture("q.bmp", 61), picture("p.bmp", 60)});
  select({4, 7});
  action("mnuPaste")->trigger();
  EXPECT_EQ(colours(), (std::vector<int>{0, 1, 2, 3, 60, 61, 4, 5, 6, 7, 8, 9}));
  const std::vector<std::string> after = copies();
  EXPECT_EQ(std::set<std::string>(after.begin(), after.end()).size(), 12u) << "no picture twice";
  for (int i = 4; i < 10; ++i) EXPECT_EQ(after[static_cast<size_t>(i + 2)], before[static_cast<size_t>(i)]);
  EXPECT_EQ(frmMain->Modified, 1);

  // Nothing selected: at the end.
  album().SelectAll(false);
  action("mnuPaste")->trigger();
  EXPECT_EQ(colours().size(), 14u);
  EXPECT_EQ(colours()[12], 60);
}

// Pasted into the middle of an album longer than the grid shows, the pictures are in view
// where they landed: cut from the top and pasted back before the next picture, and pasted
// before a picture far from the album's end.
TEST_F(AlbumCommands, PasteIntoTheMiddleShowsThePastedPictures) {
  addPictures(40);
  auto* grid = named<QScrollArea>("sbTN");
  QScrollBar* bar = grid->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "the album fits the grid";
  auto inView = [&](int index) {
    QWidget* c = cell(index);
    if (!c) return false;
    const QRect shown(c->mapTo(grid->viewport(), QPoint(0, 0)), c->size());
    return grid->viewport()->rect().contains(shown);
  };
  bar->setValue(0);
  select({0, 1});
  action("mnuCut")->trigger();
  select({0});
  action("mnuPaste")->trigger();
  const std::vector<int> order = colours();
  ASSERT_EQ(order.size(), 40u);
  EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(inView(0) && inView(1)) << "scrolled to " << bar->value() << " of " << bar->maximum();

  // From the top of the grid, before picture 15, which lies below what it shows.
  bar->setValue(0);
  PutFilesOnClipboard({picture("a.bmp", 80), picture("b.bmp", 81)});
  select({15});
  action("mnuPaste")->trigger();
  EXPECT_EQ(colours()[15], 80);
  EXPECT_TRUE(inView(15) && inView(16)) << "scrolled to " << bar->value() << " of " << bar->maximum();
}

// Only files that hold exactly one picture are pasted, an album of one picture as that
// picture without a question; a file that cannot be read leaves no gap and no copy. The
// files not pasted are named at the end.
TEST_F(AlbumCommands, PasteTakesSinglePicturesOnly) {
  addPictures(6);
  const fs::path dir = folder("albums");
  const std::vector<std::string> all = copies();
  const std::vector<std::string> one = {all[2]}, five(all.begin(), all.begin() + 5);
  ASSERT_TRUE(ImageOpe->SaveAlbum((dir / "one.qla").string(), one));
  ASSERT_TRUE(ImageOpe->SaveAlbum((dir / "five.qla").string(), five));
  const fs::path broken = adtest::testDir() / "src" / "broken.dvf";  // counts as one picture, cannot be read
  adtest::writeFile(broken, "DVF but nothing more");
  PutFilesOnClipboard({(dir / "five.qla").string(), broken.string(), (dir / "one.qla").string(), picture("x.bmp", 70)});
  select({1});
  action("mnuPaste")->trigger();
  EXPECT_EQ(colours(), (std::vector<int>{0, 2, 70, 1, 2, 3, 4, 5}));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_NOTADDED") + "\n" + (dir / "five.qla").string() + "\n" +
                                                 broken.string()});
  const std::vector<std::string> c = copies();
  EXPECT_EQ(std::set<std::string>(c.begin(), c.end()).size(), c.size()) << "no picture twice";
}

// Stop while pasting: what was added before it stays, in its place, and nothing else.
TEST_F(AlbumCommands, StopWhilePastingKeepsWhatWasAdded) {
  addPictures(6);
  int reported = 0;
  frmMain->onMessage(platform::WM_IMAGE_INFO, [&](platform::WPARAM w, platform::LPARAM l) {
    const platform::LRESULT r = frmMain->WMImageInfo(w, l);
    if (++reported == 1) frmWait->AbortFlag = 1;  // Stop, pressed during the first picture
    return r;
  });
  PutFilesOnClipboard({picture("a.bmp", 90), picture("b.bmp", 91), picture("c.bmp", 92)});
  select({2});
  action("mnuPaste")->trigger();
  EXPECT_EQ(colours(), (std::vector<int>{0, 1, 90, 2, 3, 4, 5}));
  const std::vector<std::string> c = copies();
  EXPECT_EQ(std::set<std::string>(c.begin(), c.end()).size(), c.size()) << "no picture twice";
}

TEST_F(AlbumCommands, PasteBeyondTheLimitChangesNothing) {
  addPictures(199);
  PutFilesOnClipboard({picture("a.bmp", 80), picture("b.bmp", 81)});
  select({3});
  const std::vector<std::string> before = copies();
  action("mnuPaste")->trigger();
  EXPECT_EQ(copies(), before);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_FRMOVER1") + "200" + msg("MSG_FRMOVER2")});
}

// Copy names the pictures' files (a DV frame's BMP beside its working copy); Cut also
// takes them out of the album and keeps their files; pasting brings them back as new
// pictures. A picture whose file cannot be made stays in the album.
TEST_F(AlbumCommands, CopyCutAndPasteBack) {
  addPictures(2);
  ASSERT_TRUE(frmMain->OpenFile(captureFixture("ntsc_4x3.dvf"), 2));
  const std::vector<std::string> before = copies();
  const std::string dvBmp = FileName(before[2]).RemoveExt() + ".bmp";

  select({0, 2});
  action("mnuCopy")->trigger();
  EXPECT_EQ(FilesOnClipboard(), (std::vector<std::string>{before[0], dvBmp}));
  EXPECT_EQ(album().Count(), 3);

  // The DV frame's working copy is damaged: its BMP cannot be made, so it stays.
  const std::string frame = adtest::readFile(before[2]);
  adtest::writeFile(before[2], "damaged");
  fs::remove(dvBmp);
  frmMain->Modified = 0;
  select({1, 2});
  action("mnuCut")->trigger();
  EXPECT_EQ(FilesOnClipboard(), std::vector<std::string>{before[1]});
  EXPECT_EQ(copies(), (std::vector<std::string>{before[0], before[2]}));
  EXPECT_TRUE(fs::exists(before[1])) << "the clipboard names it";
  EXPECT_EQ(frmMain->Modified, 1);
  EXPECT_TRUE(frmMain->isEnabled());

  album().SelectAll(false);
  action("mnuPaste")->trigger();
  ASSERT_EQ(album().Count(), 3);
  EXPECT_NE(copies()[2], before[1]) << "a new working copy";
  EXPECT_EQ(adtest::readFile(copies()[2]), adtest::readFile(before[1]));
  adtest::writeFile(before[2], frame);
}

// ---- mail and new ---------------------------------------------------------------------------

TEST_F(AlbumCommands, MailHandsOnTheSelectedPicturesInAlbumOrder) {
  addPictures(4);
  select({3, 1});
  action("mnuMail")->trigger();
  ASSERT_EQ(launcher.programs().size(), 1u);
  EXPECT_EQ(launcher.programs()[0].args, (std::vector<std::string>{"-f", WorkDir + "IMG_LIST.DAT"}));
  EXPECT_EQ(adtest::readFile(WorkDir + "IMG_LIST.DAT"), copies()[1] + "\r\n" + copies()[3] + "\r\n");

  platform::RegistryStore().create(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")->writeDword("TIMES", 3);
  action("mnuMail")->trigger();
  EXPECT_EQ(launcher.programs().size(), 1u);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_MAILOVER")});
}

// New empties the album only when the user let it go or it was saved: a save that was
// cancelled or failed keeps every picture and working copy and ends the command.
TEST_F(AlbumCommands, NewEmptiesTheAlbumOnlyWhenNothingIsLost) {
  const fs::path albums = folder("albums");
  struct Case {
    const char* name;
    MsgAnswer answer;
    std::string saveTo;  // "" cancels the save dialog
    bool emptied;
  } cases[] = {
      {"no", MsgAnswer::No, "", true},
      {"yes, cancelled", MsgAnswer::Yes, "", false},
      {"yes, failed", MsgAnswer::Yes, (albums / "gone" / "a.qla").string(), false},
      {"yes, saved", MsgAnswer::Yes, (albums / "b.qla").string(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    addPictures(3 - album().Count());
    const std::vector<std::string> before = copies();
    frmMain->Modified = 1;
    boxes.queue(c.answer);
    if (!c.saveTo.empty()) {
      dialogs.queue({c.saveTo});
    } else if (c.answer == MsgAnswer::Yes) {
      dialogs.queueCancel();
    }
    const size_t asked = boxes.shown().size();
    action("mnuNew")->trigger();
    EXPECT_EQ(boxes.shown()[asked].text, msg("MSG_SAVE1") + "\n" + msg("MSG_SAVE2"));
    EXPECT_EQ(boxes.answersLeft(), 0u);
    EXPECT_EQ(album().Count(), c.emptied ? 0 : 3);
    for (const std::string& copy : before) EXPECT_EQ(fs::exists(copy), !c.emptied) << copy;
    if (!c.emptied) {
      EXPECT_EQ(frmMain->Modified, 1);
    }
  }
  EXPECT_EQ(adtest::readFile(albums / "b.qla").substr(0, 8), std::string("QLA\0\x03\0\0\0", 8));
}

// Opening an album into one that holds pictures: Yes to starting anew, then Yes to saving,
// and the save is cancelled or fails: nothing of the old album goes, nothing is added,
// and the other files chosen with it are not added either.
TEST_F(AlbumCommands, AlbumOpenKeepsTheAlbumWhenItsSaveDidNotHappen) {
  addPictures(2);
  const fs::path dir = folder("albums");
  ASSERT_TRUE(ImageOpe->SaveAlbum((dir / "a.qla").string(), copies()));
  const std::string b = picture("b.bmp", 50);
  addPictures(1);
  for (const std::string& saveTo : {std::string(), (dir / "gone" / "x.qla").string()}) {
    SCOPED_TRACE(saveTo);
    const std::vector<std::string> before = copies();
    frmMain->Modified = 1;
    boxes.queue(MsgAnswer::Yes);  // start a new album with the file
    boxes.queue(MsgAnswer::Yes);  // save the album first
    dialogs.queue({(dir / "a.qla").string(), b});
    if (saveTo.empty()) {
      dialogs.queueCancel();
    } else {
      dialogs.queue({saveTo});
    }
    action("mnuAlbumOpen")->trigger();
    EXPECT_EQ(colours(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(copies(), before);
    for (const std::string& copy : before) EXPECT_TRUE(fs::exists(copy)) << copy;
    EXPECT_EQ(frmMain->Modified, 1);
    EXPECT_EQ(boxes.answersLeft(), 0u);
    EXPECT_FALSE(frmWait->isVisible());
  }
}

}  // namespace

// ---- a full disk ----------------------------------------------------------------------------

namespace {

// A picture of noise, which no writer can make much smaller than its pixels.
std::string noisePicture(const fs::path& path, const char* format, int w = 160, int h = 120) {
  QImage img(w, h, QImage::Format_RGB32);
  uint32_t x = 12345;
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < w; ++i) img.setPixel(i, y, (x = x * 1103515245u + 12345u) >> 8);
  fs::create_directories(path.parent_path());
  img.save(QString::fromStdString(path.string()), format);
  return path.string();
}

// Every file below a folder, with a digest of its bytes and permissions; the settings
// file, which remembers folders as the commands run, aside.
std::map<std::string, size_t> filesBelow(const fs::path& folder) {
  std::map<std::string, size_t> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file() && e.path() != Profile->SettingsPath()) {
      const auto mode = static_cast<unsigned>(e.status().permissions());
      files[e.path().string()] = std::hash<std::string>()(adtest::readFile(e.path()) + std::to_string(mode));
    }
  }
  return files;
}

// The files added (+), removed (-) or changed (~) from one listing to the next.
std::vector<std::string> changes(const std::map<std::string, size_t>& before,
                                 const std::map<std::string, size_t>& after) {
  std::vector<std::string> c;
  for (const auto& [name, digest] : after) {
    auto it = before.find(name);
    if (it == before.end()) c.push_back("+" + name);
    else if (it->second != digest) c.push_back("~" + name);
  }
  for (const auto& [name, digest] : before)
    if (!after.count(name)) c.push_back("-" + name);
  return c;
}

}  // namespace

// The work folder's disk fills up: saving the album or a picture onto it, and adding
// pictures or an album to the album, fail with their messages part-way through writing,
// and leave the disk, the album and its files as they were. Once there is room, the
// program goes on as before.
TEST_F(AlbumCommands, AFullDiskFailsEverySaveAndAddingAndChangesNothing) {
  adtest::FullDisk disk(WorkDir, 4 << 20);
  addPictures(2);
  const fs::path out = fs::path(WorkDir) / "out";
  fs::create_directories(out);
  // Files the user may not write, to be replaced after the question.
  for (const char* f : {"old.qla", "old.JPG", "old.BMP"}) {
    adtest::writeFile(out / f, std::string("old ") + f);
    fs::permissions(out / f, fs::perms(0444));
  }
  const fs::path src = adtest::testDir() / "src";
  const std::string big = noisePicture(src / "big.bmp", "BMP");        // its working copy does not fit
  QImage flat(160, 120, QImage::Format_RGB32);  // its working copy fits, its thumbnail does not
  flat.fill(adtest::colourOf(7));
  flat.save(QString::fromStdString((src / "small.jpg").string()), "JPG");
  ASSERT_TRUE(ImageOpe->SaveAlbum((src / "two.qla").string(), {big, big}));
  // Noise in the album, so that a JPEG of a picture is large too.
  noisePicture(album().Record(0)->workPath, "BMP");
  disk.leave(8 << 10);

  const auto records = [&] {
    std::vector<std::string> r;
    for (int i = 0; i < album().Count(); ++i) r.push_back(album().Record(i)->workPath + album().Record(i)->thumbPath);
    return r;
  };
  const std::vector<std::string> albumBefore = records();
  const auto diskBefore = filesBelow(WorkDir);
  const std::string replace = msg("MSG_SAVEOW1") + "\n" + msg("MSG_SAVEOW2");
  // One picture saved over an existing file of the output folder, in the given format.
  auto savePicture = [&](auto format, int picture, const char* name) {
    settings->format = format;
    select({picture});
    boxes.queue(MsgAnswer::Yes);
    dialogs.queue({(out / name).string()});
    frmMain->mnuImgSaveClick(nullptr);
  };
  struct Case {
    const char* what;
    std::function<void()> run;
    std::vector<std::string> shown;
  } cases[] = {
      {"album save",
       [&] {
         boxes.queue(MsgAnswer::Yes);
         dialogs.queue({(out / "old.qla").string()});
         action("mnuAlbumSave")->trigger();
       },
       {replace, msg("MSG_SAVE_ERR")}},
      {"picture save as JPEG", [&] { savePicture(OutputFormatSettings::kJpeg, 0, "old.JPG"); },
       {replace, msg("MSG_SAVE_ERR")}},
      {"picture save as BMP", [&] { savePicture(OutputFormatSettings::kBmp, 1, "old.BMP"); },
       {replace, msg("MSG_SAVE_ERR")}},
      {"pictures added",
       [&] {
         dialogs.queue({big, (src / "small.jpg").string()});
         action("mnuImgOpen")->trigger();
       },
       {msg("MSG_NOTADDED") + "\n" + big + "\n" + (src / "small.jpg").string()}},
      {"album added",
       [&] {
         boxes.queue(MsgAnswer::No);  // added to the album, not in its place
         dialogs.queue({(src / "two.qla").string()});
         action("mnuAlbumOpen")->trigger();
       },
       {msg("MSG_ADDALBUM"), msg("MSG_NOTADDED") + "\n" + (src / "two.qla").string()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " on " + disk.how());
    frmMain->Modified = 1;
    const size_t before = boxes.shown().size();
    c.run();
    std::vector<std::string> shown;
    for (size_t i = before; i < boxes.shown().size(); ++i) shown.push_back(boxes.shown()[i].text);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(boxes.answersLeft(), 0u);
    EXPECT_EQ(records(), albumBefore);
    EXPECT_EQ(changes(diskBefore, filesBelow(WorkDir)), std::vector<std::string>{})
        << "old files as they were, nothing new left";
    EXPECT_EQ(frmMain->Modified, 1);
    EXPECT_FALSE(frmWait->isVisible());
  }

  // With room again, the same commands succeed.
  disk.leave(4 << 20);
  boxes.queue(MsgAnswer::Yes);
  dialogs.queue({(out / "old.qla").string()});
  action("mnuAlbumSave")->trigger();
  EXPECT_EQ(adtest::readFile(out / "old.qla").substr(0, 8), std::string("QLA\0\x02\0\0\0", 8));
  EXPECT_EQ(fs::status(out / "old.qla").permissions(), fs::perms(0644)) << "made replaceable, then replaced";
  dialogs.queue({big, (src / "small.jpg").string()});
  action("mnuImgOpen")->trigger();
  EXPECT_EQ(album().Count(), 4);
}
