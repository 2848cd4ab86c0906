#include "platform/dialogs.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

using namespace platform;

TEST(Dialogs, FilterStringsBecomeQtFilters) {
  struct Case {
    const char* filter;
    const char* qt;
  } cases[] = {
      {"Albums(*.qla *.wza)|*.qla;*.wza", "Albums (*.qla *.wza)"},
      {"BITMAP(*.bmp)|*.bmp", "BITMAP (*.bmp)"},
      {"JPEG/DCF(*.jpg)|*.jpg", "JPEG/DCF (*.jpg)"},
      {"Pictures|*.*", "Pictures (*)"},
      {"All files (*.*)|*.*", "All files (*)"},
      {"Albums|*.qla|Pictures|*.jpg; *.bmp", "Albums (*.qla);;Pictures (*.jpg *.bmp)"},
      {"Sizes (small)|*.s", "Sizes (small) (*.s)"},  // a group of other text stays
      {"|*.qla", "(*.qla)"},
      {"Dangling|*.a|Orphan", "Dangling (*.a)"},
      {"Nothing|", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(toQtFilter(c.filter), c.qt) << c.filter;
}

TEST(Dialogs, DefaultExtensionOnlyForNamesWithoutOne) {
  std::string dir = adtest::testDir().string();
  std::filesystem::create_directories(dir + "/pics.old/sub");
  struct Case {
    std::string path, ext, expect;
  } cases[] = {
      {"/d/album", "qla", "/d/album.qla"},
      {"/d/album.QLA", "qla", "/d/album.QLA"},
      {"/d/album.tar.gz", "qla", "/d/album.tar.gz"},
      {"/d/album.", "qla", "/d/album."},
      {dir + "/pics.old/album", "qla", dir + "/pics.old/album.qla"},  // a dot in a folder name counts not
      {dir + "/pics.old/sub", "qla", dir + "/pics.old/sub"},          // an existing folder
      {"album", "JPG", "album.JPG"},
      {"/d/album", "", "/d/album"},
      {"", "qla", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(withDefaultExt(c.path, c.ext), c.expect) << c.path;
}

TEST(Dialogs, FileDialogHandsTheOptionsOnAndTakesTheChoice) {
  ScriptedFileDialogs dialogs;
  FileDialog save(FileDialogOptions::Mode::Save);
  save.options.initialDir = "/home/u/Desktop";
  save.options.fileName = "/home/u/Desktop/ALBUM001.qla";
  save.options.filter = "Albums(*.qla)|*.qla";
  save.options.defaultExt = "qla";
  dialogs.queue({"/home/u/trip"});
  ASSERT_TRUE(save.execute(nullptr));
  EXPECT_EQ(save.fileName, "/home/u/trip.qla");
  ASSERT_EQ(dialogs.shown().size(), 1u);
  const FileDialogOptions& o = dialogs.shown()[0].options;
  EXPECT_EQ(o.mode, FileDialogOptions::Mode::Save);
  EXPECT_EQ(o.initialDir, "/home/u/Desktop");
  EXPECT_EQ(o.fileName, "/home/u/Desktop/ALBUM001.qla");
  EXPECT_EQ(o.filter, "Albums(*.qla)|*.qla");

  // Cancelled (queued, or nothing queued): false, and the last choice is kept.
  dialogs.queueCancel();
  EXPECT_FALSE(save.execute(nullptr));
  EXPECT_FALSE(save.execute(nullptr));
  EXPECT_EQ(save.fileName, "/home/u/trip.qla");
  EXPECT_EQ(dialogs.shown().size(), 3u);

  FileDialog open(FileDialogOptions::Mode::OpenMany);
  dialogs.queue({"/p/a.jpg", "/p/b.bmp"});
  ASSERT_TRUE(open.execute(nullptr));
  EXPECT_EQ(open.files, std::vector<std::string>({"/p/a.jpg", "/p/b.bmp"}));
  EXPECT_EQ(open.fileName, "/p/a.jpg");
}

TEST(Dialogs, ScriptedBoxesRecordEveryBoxAndAnswerInOrder) {
  ScriptedMessageBoxes boxes;
  boxes.queue(MsgAnswer::Yes);
  boxes.queue(MsgAnswer::Ok);
  boxes.queue(MsgAnswer::Yes);  // does not fit an OK box
  EXPECT_TRUE(askYesNo(nullptr, "Save?\nThe album changed."));
  showError(nullptr, "Cannot write");
  showWarning(nullptr, "No reply");
  EXPECT_FALSE(askYesNo(nullptr, "Close?"));  // nothing queued: answered as closed
  EXPECT_EQ(messageBox(nullptr, "Done", MsgButtons::Ok, MsgIcon::Information), MsgAnswer::Ok);

  using B = ScriptedMessageBoxes::Box;
  const std::vector<B>& s = boxes.shown();
  ASSERT_EQ(s.size(), 5u);
  struct Expect {
    const char* text;
    MsgButtons buttons;
    MsgIcon icon;
    MsgAnswer answer;
  } expect[] = {
      {"Save?\nThe album changed.", MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::Yes},
      {"Cannot write", MsgButtons::Ok, MsgIcon::Stop, MsgAnswer::Ok},
      {"No reply", MsgButtons::Ok, MsgIcon::Warning, MsgAnswer::Ok},
      {"Close?", MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No},
      {"Done", MsgButtons::Ok, MsgIcon::Information, MsgAnswer::Ok},
  };
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(s[i].text, expect[i].text);
    EXPECT_EQ(s[i].caption, applicationTitle());
    EXPECT_EQ(s[i].buttons, expect[i].buttons) << i;
    EXPECT_EQ(s[i].icon, expect[i].icon) << i;
    EXPECT_EQ(s[i].answer, expect[i].answer) << i;
  }
  EXPECT_EQ(boxes.unanswered(), 3);  // the misfit Yes, then two with the queue empty
  EXPECT_EQ(boxes.answersLeft(), 0u);
}

TEST(Dialogs, ApplicationTitleIsSetOnce) {
  // The title is process-wide, so it is tried in a child process of its own.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    bool ok = setApplicationTitle("Album Desk") && !setApplicationTitle("Other") &&
              applicationTitle() == "Album Desk";
    ScriptedMessageBoxes boxes;
    showError(nullptr, "x");
    ok = ok && boxes.shown().at(0).caption == "Album Desk";
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
