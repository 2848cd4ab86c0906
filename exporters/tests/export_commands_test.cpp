// The movie and HTML album commands as the user runs them from the main window: their
// dialogs, the names asked for and written, the overwrite question, cancelling, Stop,
// failures that leave nothing behind, the selection and the album's size, and opening
// the result. Dialogs, boxes and choosers answer by script; movies are read back with
// the tests' own RIFF walker (the peer tests read them with ffprobe and ffmpeg).
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "command_fixture.h"
#include "exporters/avi_writer.h"
#include "exporters/export_commands.h"
#include "exporters/frmhtml.h"
#include "exporters/frmmovie.h"
#include "exporters/html_writer.h"
#include "exporters/picture_writer.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/icons.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"

using namespace exporters;
using namespace extest;
using platform::MsgAnswer;
using platform::MsgIcon;

namespace {

// A movie file as the tests read it.
struct Movie {
  bool sound = false;
  uint32_t frames = 0, width = 0, height = 0, scale = 0, rate = 0;
  std::string handler, chunkId;
  std::vector<std::string> chunks;
  // A pixel of an uncompressed frame (rows bottom-up, blue green red).
  Rgb at(size_t frame, int x, int y) const {
    const std::string& c = chunks[frame];
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    const size_t o = stride * (height - 1 - size_t(y)) + 3 * size_t(x);
    return {uint8_t(c[o + 2]), uint8_t(c[o + 1]), uint8_t(c[o])};
  }
};

Movie readMovie(const fs::path& path) {
  Movie m;
  const std::string avi = adtest::readFile(path);
  const Chunk riff = walkRiff(avi);
  if (riff.id != "RIFF" || riff.children.size() != 3) return m;
  m.sound = true;
  m.frames = le32(avi, 48);
  m.width = le32(avi, 64);
  m.height = le32(avi, 68);
  m.handler = avi.substr(112, 4);
  m.scale = le32(avi, 128);
  m.rate = le32(avi, 132);
  for (const Chunk& c : riff.children[1].children) {
    m.chunkId = c.id;
    m.chunks.push_back(avi.substr(c.offset, c.size));
  }
  return m;
}

std::string readSetting(const char* key) {
  std::string value;
  workspace::Profile->ReadString("INIT", key, value);
  return value;
}

Extent jpegSize(const fs::path& path) {
  ImageFileInfoRecord info;
  if (!ImageFileInfo(path.c_str(), &info)) return {};
  return {info.width, info.height};
}

class MovieCommand : public CommandTest {};
class HtmlCommand : public CommandTest {};
class OpeningTheResult : public CommandTest {};

}  // namespace

// ---- the movie -----------------------------------------------------------------------------------

TEST_F(MovieCommand, OptionsGiveTheTimeBaseFrameSizeAndCompressor) {
  addPicture(64, 48);
  struct Case {
    bool animation;
    int number, size;
    std::deque<uint32_t> codecs;  // chosen with btnComp
    uint32_t scale, rate, width, height;
    const char* handler;
    const char* label;  // lblComp after OK
  };
  const Case cases[] = {
      {false, 5, 2, {}, 5, 1, 320, 240, "MJPG", "MV_COMP_MJPG"},
      {true, 12, 0, {0}, 1, 12, 80, 60, "DIB ", nullptr},
      {true, 30, 1, {kHandlerMJPG}, 1, 30, 160, 120, "MJPG", "MV_COMP_MJPG"},
      {false, 1, 0, {0}, 1, 1, 80, 60, "DIB ", nullptr},
      // A compressor the movie writer does not have: no name, uncompressed frames.
      {false, 2, 2, {MakeFourcc('c', 'v', 'i', 'd')}, 2, 1, 320, 240, "DIB ", nullptr},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const fs::path out = desktop() / ("case" + std::to_string(++n) + ".avi");
    files.queue({out.string()});
    choosers.codecs = c.codecs;
    boxes.queue(MsgAnswer::No);  // not played
    runMovie([&](TfrmMovie& f) {
      EXPECT_EQ(f.Cancelled, 1);
      EXPECT_EQ(f.FrameWidth, 320);  // each showing starts at 320 x 240
      (c.animation ? f.rbAnime() : f.rbSS())->click();
      f.csFrame()->setValue(c.number);
      f.cbSize()->setCurrentIndex(c.size);
      if (!c.codecs.empty()) click(&f, "btnComp");
      EXPECT_EQ(f.lblFrame()->text(), msg(c.animation ? "LBL_UANIME" : "LBL_USS").c_str());
    });
    TfrmMovie& f = *MovieForm();
    EXPECT_EQ(f.Cancelled, 0);
    EXPECT_EQ(f.Mode, c.animation ? TfrmMovie::kAnimation : TfrmMovie::kSlideShow);
    EXPECT_EQ(f.lblComp()->text().toStdString(), c.label ? msg(c.label) : "");
    const Movie m = readMovie(out);
    ASSERT_TRUE(m.sound);
    EXPECT_EQ(m.frames, 1u);
    EXPECT_EQ(m.scale, c.scale);
    EXPECT_EQ(m.rate, c.rate);
    EXPECT_EQ(m.width, c.width);
    EXPECT_EQ(m.height, c.height);
    EXPECT_EQ(m.handler, c.handler);
  }
  EXPECT_EQ(workFiles("MVTMP"), 0);
  EXPECT_EQ(boxes.unanswered(), 0);
  EXPECT_TRUE(launcher.documents().empty());
}

TEST_F(MovieCommand, NamesFoldersAndOpeningTheResult) {
  addPicture(64, 48);
  // The first free name of the series in the desktop folder.
  for (int i = 1; i <= 4; ++i) adtest::writeFile(desktop() / ("MOVIE00" + std::to_string(i) + ".AVI"), "x");
  const fs::path films = adtest::testDir() / "films";
  fs::create_directories(films);
  struct Case {
    std::string chosen, written;
    std::string initialDir, proposed;
    bool play;
  };
  const Case cases[] = {
      {(films / "holiday.mov").string(), (films / "holiday.AVI").string(), desktop().string(),
       (desktop() / "MOVIE005.AVI").string(), true},
      // The folder of the last movie is remembered.
      {(films / "clip.avi").string(), (films / "clip.avi").string(), films.string(), (films / "MOVIE001.AVI").string(),
       false},
      {(films / "clip.Avi").string(), (films / "clip.Avi").string(), films.string(), (films / "MOVIE001.AVI").string(),
       false},
      {(films / "my.trip.txt").string(), (films / "my.AVI").string(), films.string(), (films / "MOVIE001.AVI").string(),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    const size_t shown = files.shown().size();
    files.queue({c.chosen});
    if (fs::exists(c.written)) boxes.queue(MsgAnswer::Yes);  // the same name again: replaced
    boxes.queue(c.play ? MsgAnswer::Yes : MsgAnswer::No);
    runMovie([](TfrmMovie&) {});
    ASSERT_EQ(files.shown().size(), shown + 1);
    const platform::FileDialogOptions& o = files.shown().back().options;
    EXPECT_EQ(o.initialDir, c.initialDir);
    EXPECT_EQ(o.fileName, c.proposed);
    EXPECT_EQ(o.filter, msg("FD_MOVIE") + "|*.avi");
    EXPECT_EQ(o.defaultExt, "AVI");
    EXPECT_TRUE(readMovie(c.written).sound);
    EXPECT_EQ(readSetting("MOVIE"), films.string());
    EXPECT_EQ(boxes.shown().back().text, msg("MSG_PLAYMOVIE"));
    EXPECT_EQ(boxes.shown().back().icon, MsgIcon::Question);
  }
  EXPECT_FALSE(fs::exists(films / "holiday.mov"));
  EXPECT_EQ(launcher.documents(), std::vector<std::string>{cases[0].written});
  EXPECT_EQ(boxes.unanswered(), 0);
}

TEST_F(MovieCommand, CancellingWritesAndStoresNothing) {
  addPicture(64, 48);
  runMovie(nullptr);  // the options dialog
  EXPECT_TRUE(files.shown().empty());
  files.queueCancel();
  runMovie([](TfrmMovie&) {});
  EXPECT_EQ(files.shown().size(), 1u);
  EXPECT_TRUE(fs::is_empty(desktop()));
  EXPECT_EQ(readSetting("MOVIE"), "");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MovieCommand, ReplacesAnOldMovieOnlyWhenAskedToAndComplete) {
  addPicture(64, 48);
  addPicture(64, 48);
  const fs::path out = desktop() / "old.avi";
  adtest::writeFile(out, "old movie");
  struct Case {
    MsgAnswer replace;
    int stopAt;
    bool replaced;
  };
  for (const Case& c : {Case{MsgAnswer::No, 0, false}, Case{MsgAnswer::Yes, 2, false}, Case{MsgAnswer::Yes, 0, true}}) {
    files.queue({out.string()});
    boxes.queue(c.replace);
    boxes.queue(MsgAnswer::No);  // the error box takes OK; this answers "play it?"
    stopAt = c.stopAt;
    progressMessages = 0;
    runMovie([](TfrmMovie&) {});
    EXPECT_EQ(boxes.shown().front().text, msg("MSG_SAVEOW1") + "\n" + msg("MSG_SAVEOW2"));
    EXPECT_EQ(readMovie(out).sound, c.replaced);
    if (!c.replaced) {
      EXPECT_EQ(adtest::readFile(out), "old movie");
    }
    boxes = {};
  }
}

TEST_F(MovieCommand, StopAndFailuresLeaveNoMovieAndNoFrames) {
  for (int i = 0; i < 3; ++i) addPicture(64, 48);
  // Leftovers of a program that was stopped go with this movie's frames.
  adtest::writeFile(fs::path(workspace::WorkDir) / "MVTMP001.BMP", "left over");
  struct Case {
    const char* what;
    int stopAt;        // progress messages: one a frame written, then one a frame stored
    bool unreadable;   // the second picture's working copy is gone
  };
  const int workingCopies = workFiles("zbm");
  const Case cases[] = {{"stop after the first frame", 1, false},
                        {"stop after the last frame", 3, false},
                        {"stop while the movie is written", 5, false},
                        {"a picture that cannot be read", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path out = desktop() / "movie.avi";
    files.queue({out.string()});
    stopAt = c.stopAt;
    progressMessages = 0;
    if (c.unreadable) fs::rename(workspace::frmMain->Album().Record(1)->workPath, adtest::testDir() / "away");
    runMovie([](TfrmMovie&) {});
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, msg("MSG_SAVE_ERR"));
    EXPECT_EQ(boxes.shown()[0].icon, MsgIcon::Stop);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(workFiles("MVTMP"), 0);
    EXPECT_EQ(workFiles("zbm"), workingCopies - (c.unreadable ? 1 : 0));
    EXPECT_EQ(readSetting("MOVIE"), "");
    EXPECT_FALSE(workspace::frmWait->isVisible());
    EXPECT_TRUE(launcher.documents().empty());
    boxes = {};
  }
}

TEST_F(MovieCommand, PicturesOfAnotherShapeSitOnTheBackgroundColour) {
  addPicture(160, 120);  // fills the frame
  addPicture(60, 80);    // portrait: columns of the colour at both sides
  addPicture(200, 50);   // wide: rows of the colour above and below
  const fs::path out = desktop() / "shapes.avi";
  files.queue({out.string()});
  boxes.queue(MsgAnswer::No);
  choosers.codecs = {0};
  choosers.colours = {0x00336699};
  runMovie([](TfrmMovie& f) {
    f.cbSize()->setCurrentIndex(1);
    click(&f, "btnComp");
    click(&f, "btnColor");
    EXPECT_EQ(f.BackColor, 0x00336699u);
  });
  const Movie m = readMovie(out);
  ASSERT_EQ(m.chunks.size(), 3u);
  EXPECT_EQ(m.chunkId, "00db");
  const Rgb back{0x99, 0x66, 0x33};
  const Frame f0 = testFrame(160, 120, 0);
  EXPECT_EQ(m.at(0, 0, 0), f0.at(0, 0));
  EXPECT_EQ(m.at(0, 159, 119), f0.at(159, 119));
  // 60 x 80 in 160 x 120: 90 x 120 at left 35.
  for (int y : {0, 60, 119}) {
    EXPECT_EQ(m.at(1, 0, y), back);
    EXPECT_EQ(m.at(1, 34, y), back);
    EXPECT_NE(m.at(1, 36, y), back);
    EXPECT_EQ(m.at(1, 125, y), back);
  }
  // 200 x 50 in 160 x 120: 160 x 40 at top 40.
  for (int x : {0, 80, 159}) {
    EXPECT_EQ(m.at(2, x, 39), back);
    EXPECT_NE(m.at(2, x, 41), back);
    EXPECT_EQ(m.at(2, x, 80), back);
  }
}

TEST_F(MovieCommand, TheSelectionInAlbumOrder) {
  for (int i = 0; i < 4; ++i) addPicture(80, 60);
  const fs::path out = desktop() / "movie.avi";
  // Nothing selected: the user is asked whether to take the whole album.
  workspace::frmMain->Album().SelectAll(false);
  boxes.queue(MsgAnswer::No);
  command("mnuMovie")->trigger();
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_NOSELECT1") + "\n" + msg("MSG_NOSELECT2")});
  EXPECT_FALSE(MovieForm()->isVisible());
  EXPECT_TRUE(files.shown().empty());
  boxes.queue(MsgAnswer::Yes);
  files.queue({out.string()});
  boxes.queue(MsgAnswer::No);
  choosers.codecs = {0};
  runMovie([](TfrmMovie& f) {
    f.cbSize()->setCurrentIndex(0);
    click(&f, "btnComp");
  });
  EXPECT_EQ(readMovie(out).frames, 4u);
  // Pictures 3 and 1 selected: frames of pictures 1 and 3, in that order.
  select({3, 1});
  files.queue({out.string()});
  boxes.queue(MsgAnswer::Yes);
  boxes.queue(MsgAnswer::No);
  runMovie([](TfrmMovie& f) { f.cbSize()->setCurrentIndex(0); });
  const Movie m = readMovie(out);
  ASSERT_EQ(m.frames, 2u);
  EXPECT_EQ(m.at(0, 40, 50), testFrame(80, 60, 1).at(40, 50));
  EXPECT_EQ(m.at(1, 40, 50), testFrame(80, 60, 3).at(40, 50));
}

TEST_F(MovieCommand, NoOtherExportStartsWhileOneRuns) {
  addPicture(64, 48);
  addPicture(64, 48);
  const fs::path out = desktop() / "movie.avi";
  files.queue({out.string()});
  boxes.queue(MsgAnswer::No);
  int tried = 0;
  onProgress = [&](int) {
    // The main window is disabled meanwhile; its commands are tried all the same.
    ++tried;
    command("mnuMovie")->trigger();
    command("mnuHTML")->trigger();
  };
  runMovie([](TfrmMovie&) {});
  onProgress = nullptr;
  EXPECT_GT(tried, 0);
  EXPECT_EQ(files.shown().size(), 1u);
  EXPECT_FALSE(HtmlForm()->isVisible());
  EXPECT_EQ(readMovie(out).frames, 2u);
}

TEST_F(MovieCommand, MenuItemsAndExportIconsRunBothCommands) {
  addPicture(64, 48);
  EXPECT_TRUE(command("mnuMovie")->isEnabled());
  EXPECT_TRUE(command("mnuHTML")->isEnabled());
  // The export page shows at start; icon 4 is the HTML album, icon 5 the movie.
  QWidget* panel = workspace::frmMain->component<QWidget>("pnlIco");
  struct Case {
    int icon;
    QWidget* form;
  };
  for (const Case& c : {Case{4, HtmlForm()}, Case{5, MovieForm()}}) {
    bool shown = false;
    onNextShow(c.form, [&] {
      shown = true;
      click(c.form, "btnCancel");
    });
    QLabel* image = workspace::frmMain->ExportIcons().Icon(c.icon)->image();
    const QPoint at = image->mapTo(panel, image->rect().center());
    QTest::mousePress(panel, Qt::LeftButton, {}, at);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, at);
    EXPECT_TRUE(shown) << "icon " << c.icon;
  }
  EXPECT_TRUE(files.shown().empty());
}

// ---- opening what was written ----------------------------------------------------------------------

// "Play it now?" and "Show it now?" answered Yes hand the written file to the desktop's
// opener (a stand-in first on PATH) once; when no program opens it, the user is told so in
// a box that names the file.
TEST_F(OpeningTheResult, WhatTheDesktopMadeOfItIsTold) {
  addPicture(64, 48);
  platform::Launcher* recording = platform::setLauncher(nullptr);  // the system's own
  adtest::StandInProgram opener("xdg-open");
  const fs::path out = adtest::testDir() / "out";
  fs::create_directories(out);
  struct Case {
    bool movie;
    std::string commands;
    const char* told;  // the message key of the box; nullptr: none
  };
  const Case cases[] = {
      {false, "exit 0", nullptr},
      {false, "exit 3", "MSG_OPEN_NOPROGRAM"},
      {false, "exit 4", "MSG_OPEN_FAILED"},
      {true, "exit 0", nullptr},
      {true, "exit 3", "MSG_OPEN_NOPROGRAM"},
      {true, "kill -9 $$", "MSG_OPEN_FAILED"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string written = (out / ((c.movie ? "clip" : "album") + std::to_string(i) + (c.movie ? ".avi" : ".htm"))).string();
    SCOPED_TRACE(written + " " + c.commands);
    opener.then(c.commands);
    files.queue({written});
    boxes.queue(MsgAnswer::Yes);
    if (c.told) boxes.queue(MsgAnswer::Ok);
    const size_t shown = boxes.shown().size();
    if (c.movie)
      runMovie([](TfrmMovie&) {});
    else
      runHtml([](TfrmHTML&) {});
    ASSERT_TRUE(fs::exists(written));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opener.runs().size() == i + 1; }, 30000)) << "the opener never ran";
    EXPECT_EQ(opener.runs().back(), std::vector<std::string>{written});
    if (c.told) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown().size() == shown + 2; }, 30000)) << "nothing was told";
      EXPECT_EQ(boxes.shown().back().text, msg(c.told) + "\n" + written);
      EXPECT_EQ(boxes.shown().back().icon, MsgIcon::Stop);
      EXPECT_EQ(boxes.shown().back().owner, workspace::frmMain);
    } else {
      QTest::qWait(300);
      EXPECT_EQ(boxes.shown().size(), shown + 1) << boxes.shown().back().text;
    }
  }
  EXPECT_EQ(opener.runs().size(), std::size(cases));
  EXPECT_EQ(boxes.unanswered(), 0);
  platform::setLauncher(recording);
}

// ---- the HTML album ---------------------------------------------------------------------------------

TEST_F(HtmlCommand, NamesOfTheIndexAndItsPictureFolder) {
  addPicture(64, 48);
  addPicture(64, 48);
  const fs::path web = adtest::testDir() / "Web Site";
  fs::create_directories(web);
  struct Case {
    std::string chosen, index, folder, link;
    std::string initialDir, proposed;
  };
  const Case cases[] = {
      {"album.html", "album.html", "album", "album/zbn001.htm", desktop().string(), (desktop() / "page001.HTM").string()},
      {"album.HTM", "album.HTM", "album", "album/zbn001.htm", web.string(), (web / "page001.HTM").string()},
      {"trip.txt", "trip.htm", "trip", "trip/zbn001.htm", web.string(), (web / "page001.HTM").string()},
      {"My Album.htm", "My Album.htm", "My Album", "My%20Album/zbn001.htm", web.string(),
       (web / "page001.HTM").string()},
      {"my.album.html", "my.album.html", "my.album", "my.album/zbn001.htm", web.string(),
       (web / "page001.HTM").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    files.queue({(web / c.chosen).string()});
    boxes.queue(MsgAnswer::Yes);  // show it
    runHtml([](TfrmHTML&) {});
    const platform::FileDialogOptions& o = files.shown().back().options;
    EXPECT_EQ(o.initialDir, c.initialDir);
    EXPECT_EQ(o.fileName, c.proposed);
    EXPECT_EQ(o.filter, "HTML|*.htm;*.html");
    EXPECT_EQ(o.defaultExt, "htm");
    const fs::path index = web / c.index;
    ASSERT_TRUE(fs::exists(index));
    EXPECT_NE(adtest::readFile(index).find("<A HREF=\"" + c.link + "\">"), std::string::npos);
    for (const char* f : {"tn001.jpg", "tn002.jpg", "fs001.jpg", "fs002.jpg", "zbn001.htm", "zbn002.htm"})
      EXPECT_TRUE(fs::exists(web / c.folder / f)) << f;
    EXPECT_NE(adtest::readFile(web / c.folder / "zbn001.htm").find("\"../" + PercentEncode(c.index) + "\""),
              std::string::npos);
    EXPECT_EQ(launcher.documents().back(), index.string());
    EXPECT_EQ(readSetting("HTML"), web.string());
    EXPECT_EQ(boxes.shown().back().text, msg("MSG_HTMDISP"));
  }
  // "album.html" and "album.HTM" are two index pages over one picture folder.
  EXPECT_FALSE(fs::exists(web / "album.htm"));
  EXPECT_EQ(boxes.unanswered(), 0);
}

TEST_F(HtmlCommand, ExtentsFollowTheWidthLimit) {
  addPicture(5000, 40);
  addPicture(640, 480, true);
  addPicture(400, 300);
  addPicture(30, 20);
  struct Case {
    bool limited;
    int widest;
    std::vector<Extent> pictures, thumbnails;
  };
  const Case cases[] = {
      {false, 480, {{4000, 32}, {640, 480}, {400, 300}, {30, 20}}, {{80, 1}, {80, 60}, {80, 60}, {80, 53}}},
      {true, 480, {{480, 3}, {480, 360}, {400, 300}, {30, 20}}, {{80, 1}, {80, 60}, {80, 60}, {80, 53}}},
      {true, 100, {{100, 1}, {100, 75}, {100, 75}, {30, 20}}, {{80, 1}, {80, 60}, {80, 60}, {80, 53}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const fs::path index = desktop() / ("sizes" + std::to_string(++n) + ".htm");
    files.queue({index.string()});
    boxes.queue(MsgAnswer::No);
    runHtml([&](TfrmHTML& f) {
      f.seMax()->setValue(c.widest);
      f.cbImgSize()->setChecked(c.limited);
      EXPECT_EQ(f.seMax()->isEnabled(), c.limited);
      EXPECT_EQ(f.lblMax()->isEnabled(), c.limited);
      EXPECT_EQ(f.MaxWidth, c.limited ? c.widest : 4000);
    });
    const fs::path folder = desktop() / ("sizes" + std::to_string(n));
    for (size_t i = 0; i < c.pictures.size(); ++i) {
      const std::string k = ThreeDigits(int32_t(i + 1));
      EXPECT_EQ(jpegSize(folder / ("fs" + k + ".jpg")), c.pictures[i]) << i;
      EXPECT_EQ(jpegSize(folder / ("tn" + k + ".jpg")), c.thumbnails[i]) << i;
    }
    EXPECT_EQ(readSetting("HTML_SIZE"), std::to_string(c.widest));
  }
}

TEST_F(HtmlCommand, ASecondAlbumInTheSameFolderContinuesTheNumbers) {
  for (int i = 0; i < 3; ++i) addPicture(64, 48);
  const fs::path index = desktop() / "trip.htm";
  files.queue({index.string()});
  boxes.queue(MsgAnswer::No);
  runHtml([](TfrmHTML&) {});
  select({0, 2});
  files.queue({index.string()});
  boxes.queue(MsgAnswer::Yes);  // replace trip.htm
  boxes.queue(MsgAnswer::No);
  runHtml([](TfrmHTML&) {});
  const std::string page = adtest::readFile(desktop() / "trip/zbn002.htm");
  EXPECT_NE(page.find("<IMG SRC=\"fs005.jpg\""), std::string::npos);
  EXPECT_NE(adtest::readFile(index).find("trip/tn004.jpg"), std::string::npos);
  EXPECT_EQ(page.find("zbn003"), std::string::npos);  // the last page of two
  EXPECT_TRUE(fs::exists(desktop() / "trip/fs003.jpg"));  // the first album's pictures stay
}

TEST_F(HtmlCommand, CancellingWritesAndStoresNothing) {
  addPicture(64, 48);
  runHtml(nullptr);
  EXPECT_TRUE(files.shown().empty());
  files.queueCancel();
  runHtml([](TfrmHTML& f) { f.edTitle()->setText("Kept"); });
  EXPECT_TRUE(fs::is_empty(desktop()));
  EXPECT_EQ(readSetting("HTML"), "");
  EXPECT_EQ(readSetting("HTML_TITLE"), "Kept");  // the dialog's OK stores its own
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(HtmlCommand, StopAndFailuresRemoveWhatTheRunWrote) {
  for (int i = 0; i < 3; ++i) addPicture(64, 48);
  // An earlier album in the same folder, and its index under the name chosen now.
  const fs::path index = desktop() / "trip.htm", folder = desktop() / "trip";
  fs::create_directories(folder);
  for (const char* f : {"tn001.jpg", "fs001.jpg", "zbn001.htm"}) adtest::writeFile(folder / f, "earlier");
  adtest::writeFile(index, "earlier index");
  struct Case {
    const char* what;
    std::string chosen;
    int stopAt;
    bool unreadable;
  };
  const Case cases[] = {{"stop after a picture", index.string(), 1, false},
                        {"stop after the last picture", index.string(), 3, false},
                        {"a picture that cannot be read", index.string(), 0, true},
                        {"a new folder", (desktop() / "new.htm").string(), 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    files.queue({c.chosen});
    if (fs::exists(c.chosen)) boxes.queue(MsgAnswer::Yes);
    stopAt = c.stopAt;
    progressMessages = 0;
    const std::string moved = adtest::testDir() / "away";
    if (c.unreadable) fs::rename(workspace::frmMain->Album().Record(2)->workPath, moved);
    runHtml([](TfrmHTML&) {});
    if (c.unreadable) fs::rename(moved, workspace::frmMain->Album().Record(2)->workPath);
    EXPECT_EQ(boxTexts().back(), msg("MSG_SAVE_ERR"));
    EXPECT_EQ(boxes.shown().back().icon, MsgIcon::Stop);
    EXPECT_EQ(adtest::readFile(index), "earlier index");
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"fs001.jpg", "tn001.jpg", "zbn001.htm"}));
    EXPECT_EQ(adtest::readFile(folder / "zbn001.htm"), "earlier");
    EXPECT_FALSE(fs::exists(desktop() / "new"));
    EXPECT_FALSE(fs::exists(desktop() / "new.htm"));
    EXPECT_EQ(readSetting("HTML"), "");
    boxes = {};
  }
  // A file where the picture folder would be.
  adtest::writeFile(desktop() / "plain", "a file");
  files.queue({(desktop() / "plain.htm").string()});
  runHtml([](TfrmHTML&) {});
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_SAVE_ERR")});
  EXPECT_FALSE(fs::exists(desktop() / "plain.htm"));
}

// The pages and pictures the export names itself: a link planted among them is replaced
// (a page) or passed over (a picture's numbered name), never written through; a page
// that is read-only fails the export and stays as it was.
TEST_F(HtmlCommand, PlantedLinksAndReadOnlyPagesInThePictureFolder) {
  addPicture(64, 48);
  addPicture(64, 48);
  const fs::path index = desktop() / "shared.htm", folder = desktop() / "shared";
  fs::create_directories(folder);
  const fs::path victim = adtest::testDir() / "victim.txt";
  adtest::writeFile(victim, "not the program's");
  fs::create_symlink(victim, folder / "zbn001.htm");
  fs::create_symlink(adtest::testDir() / "nowhere.htm", folder / "zbn002.htm");
  fs::create_symlink(adtest::testDir() / "nowhere.jpg", folder / "fs001.jpg");
  files.queue({index.string()});
  boxes.queue(MsgAnswer::No);
  runHtml([](TfrmHTML&) {});
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_HTMDISP")});
  EXPECT_EQ(adtest::readFile(victim), "not the program's");
  EXPECT_FALSE(fs::exists(adtest::testDir() / "nowhere.htm"));
  EXPECT_FALSE(fs::exists(adtest::testDir() / "nowhere.jpg"));
  for (const char* page : {"zbn001.htm", "zbn002.htm"}) {
    EXPECT_FALSE(fs::is_symlink(folder / page)) << page;
    EXPECT_NE(adtest::readFile(folder / page).find("<HTML>"), std::string::npos) << page;
  }
  EXPECT_NE(adtest::readFile(folder / "zbn001.htm").find("fs002.jpg"), std::string::npos);

  boxes = {};
  ::chmod((folder / "zbn002.htm").c_str(), 0444);
  const std::string page = adtest::readFile(folder / "zbn002.htm");
  files.queue({index.string()});
  boxes.queue(MsgAnswer::Yes);  // replace shared.htm
  runHtml([](TfrmHTML&) {});
  EXPECT_EQ(boxTexts().back(), msg("MSG_SAVE_ERR"));
  EXPECT_EQ(adtest::readFile(folder / "zbn002.htm"), page);
  EXPECT_FALSE(fs::exists(folder / "fs004.jpg")) << "what the failed run wrote is removed";
}

TEST_F(HtmlCommand, DialogKeepsTitleColoursAndWidthInTheSettings) {
  addPicture(64, 48);
  workspace::CProfile& profile = *workspace::Profile;
  profile.WriteInt("INIT", "HTML_BG", 0x00563412);
  profile.WriteInt("INIT", "HTML_TX", int32_t(0x80000008));  // an old system colour
  profile.WriteInt("INIT", "HTML_SIZE", 5000);
  profile.WriteString("INIT", "HTML_TITLE", "Trip <2024>");
  const fs::path index = desktop() / "colours.htm";
  files.queue({index.string()});
  boxes.queue(MsgAnswer::No);
  choosers.colours = {0x000000FF};
  runHtml([](TfrmHTML& f) {
    EXPECT_EQ(f.edTitle()->text(), "Trip <2024>");
    EXPECT_EQ(f.edTitle()->palette().color(QPalette::Base), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(f.seMax()->value(), 3000);
    EXPECT_EQ(f.MaxWidth, 3000);
    click(&f, "btnFColor");  // red text
  });
  const TfrmHTML& f = *HtmlForm();
  EXPECT_EQ(f.PageColor, 0x00563412u);
  EXPECT_EQ(f.TextColor, 0x000000FFu);
  EXPECT_EQ(readSetting("HTML_TX"), "255");
  EXPECT_EQ(readSetting("HTML_SIZE"), "3000");
  const std::string page = adtest::readFile(index);
  EXPECT_NE(page.find("<BODY BGCOLOR=#123456 TEXT=#FF0000>"), std::string::npos);
  EXPECT_NE(page.find("<H1>Trip &lt;2024&gt;</H1>"), std::string::npos);
  // The stored system colour, as the pages write it.
  profile.WriteInt("INIT", "HTML_TX", int32_t(0x80000008));
  files.queue({index.string()});
  boxes.queue(MsgAnswer::Yes);
  boxes.queue(MsgAnswer::No);
  runHtml([](TfrmHTML&) {});
  EXPECT_NE(adtest::readFile(index).find("TEXT=#080000>"), std::string::npos);
}

TEST_F(HtmlCommand, AlbumOfTwoHundredPictures) {
  for (int i = 0; i < workspace::kAlbumLimit; ++i) addPicture(16, 12);
  ASSERT_EQ(workspace::frmMain->Album().Count(), 200);
  workspace::frmMain->Album().SelectAll(true);
  files.queue({(desktop() / "all.htm").string()});
  boxes.queue(MsgAnswer::No);
  runHtml([](TfrmHTML&) {});
  EXPECT_TRUE(fs::exists(desktop() / "all/zbn200.htm"));
  EXPECT_TRUE(fs::exists(desktop() / "all/fs200.jpg"));
  const std::string index = adtest::readFile(desktop() / "all.htm");
  EXPECT_NE(index.find("all/zbn200.htm"), std::string::npos);
  files.queue({(desktop() / "all.avi").string()});
  boxes.queue(MsgAnswer::No);
  runMovie([](TfrmMovie& f) { f.cbSize()->setCurrentIndex(0); });
  EXPECT_EQ(readMovie(desktop() / "all.avi").frames, 200u);
  EXPECT_EQ(workFiles("MVTMP"), 0);
}

// ---- a full disk -----------------------------------------------------------------------------

namespace {

// The files of a folder and below, with their bytes.
std::map<std::string, std::string> filesIn(const fs::path& folder) {
  std::map<std::string, std::string> f;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) f[e.path().lexically_relative(folder).string()] = adtest::readFile(e.path());
  return f;
}

class FullDiskExport : public CommandTest {};

}  // namespace

// The disk of the chosen folder fills up part-way through the movie or the HTML album:
// the error is shown, the earlier movie or album there stays byte for byte (and read-only,
// as the user had it), nothing new is left there or in the work folder, and the next
// export onto a disk with room succeeds.
TEST_F(FullDiskExport, TheEarlierFileStaysAndNothingIsLeft) {
  for (int i = 0; i < 3; ++i) addPicture(640, 480, true);
  const fs::path folder = adtest::testDir() / "full";
  adtest::FullDisk disk(folder, 2 << 20);
  adtest::writeFile(folder / "old.avi", "the old movie");
  fs::create_directories(folder / "old");
  adtest::writeFile(folder / "old.htm", "the old index");
  adtest::writeFile(folder / "old" / "zbn001.htm", "the old page");
  adtest::writeFile(folder / "old" / "fs001.jpg", "the old picture");
  for (const char* name : {"old.avi", "old.htm"}) fs::permissions(folder / name, fs::perms(0444));
  disk.leave(4 << 10);
  const auto before = filesIn(folder);
  const int workingFiles = workFiles("zbm");
  struct Case {
    const char* name;
    std::string target;
    std::function<void()> run;
  } cases[] = {
      {"movie", (folder / "old.avi").string(), [&] { runMovie([](TfrmMovie&) {}); }},
      {"HTML album", (folder / "old.htm").string(), [&] { runHtml([](TfrmHTML&) {}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " on " + disk.how());
    boxes = {};
    files.queue({c.target});
    boxes.queue(MsgAnswer::Yes);  // replace it
    c.run();
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{msg("MSG_SAVEOW1") + "\n" + msg("MSG_SAVEOW2"), msg("MSG_SAVE_ERR")}));
    std::map<std::string, std::string> after = filesIn(folder);
    after.erase(".filler");
    std::map<std::string, std::string> expected = before;
    expected.erase(".filler");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(fs::status(c.target).permissions(), fs::perms(0444));
    EXPECT_EQ(workFiles("MVTMP"), 0);
    EXPECT_EQ(workFiles("zbm"), workingFiles);
    EXPECT_EQ(readSetting(c.name[0] == 'm' ? "MOVIE" : "HTML"), "");
    EXPECT_FALSE(workspace::frmWait->isVisible());
    EXPECT_TRUE(launcher.documents().empty());
  }
  disk.leave(2 << 20);
  boxes = {};
  files.queue({cases[0].target});
  boxes.queue(MsgAnswer::Yes);
  boxes.queue(MsgAnswer::No);  // not played
  runMovie([](TfrmMovie&) {});
  EXPECT_TRUE(readMovie(folder / "old.avi").sound);
}
