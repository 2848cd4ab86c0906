// The mail program with a stand-in for the desktop's mail composer: an `xdg-email` put
// first on PATH that records its arguments and the mail counter as the registry store
// holds it while the composer runs, and exits with the code the test asks for.
#include "app/mail/mail_program.h"

#include <signal.h>
#include <unistd.h>

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "main_window_fixture.h"
#include "platform/registry_store.h"
#include "platform/scripted.h"
#include "workspace/frmwait.h"
#include "workspace/icons.h"
#include "workspace/lang.h"

namespace {

using platform::RegRoot;

const std::string kKey = "Software\\ZEB\\RLM";

// The stand-in composer, first on PATH for the rest of the test. Each run also notes the
// counter's line in the store as it stands then, and ends with the exit code it was given.
class StandInComposer {
 public:
  StandInComposer()
      : program_("xdg-email",
                 "store=\"${ZEB_REGISTRY_FILE:-$XDG_CONFIG_HOME/ZEB/registry.reg}\"\n"
                 "here=\"$(dirname \"$0\")\"\n"
                 "grep -i '^\"TIMES\"' \"$store\" > \"$here/times\"\n"
                 "exit $(cat \"$here/exit\" 2>/dev/null || echo 0)") {}
  void exitWith(int code) { adtest::writeFile(program_.folder() / "exit", std::to_string(code)); }
  void remove() { program_.remove(); }
  std::string folder() const { return program_.folder().string(); }
  const std::string& systemPath() const { return program_.systemPath(); }
  // The argument lists of every run, in order.
  std::vector<std::vector<std::string>> runs() const { return program_.runs(); }
  // The counter's line in the store while the composer ran.
  std::string timesSeen() const { return adtest::readFile(program_.folder() / "times"); }

 private:
  adtest::StandInProgram program_;
};

std::vector<std::string> attach(const std::vector<std::string>& files) {
  std::vector<std::string> args;
  for (const std::string& f : files) {
    args.push_back("--attach");
    args.push_back(f);
  }
  return args;
}

// A desktop where no mail program is set up: no desktop, no desktop entries, no browser.
void withoutAMailProgram() {
  const fs::path empty = adtest::testDir() / "empty";
  fs::create_directories(empty);
  ::setenv("XDG_DATA_DIRS", empty.c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", empty.c_str(), 1);
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "BROWSER",
                           "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"}) {
    ::unsetenv(name);
  }
}

class MailProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    lang.SetLanguage(workspace::kEnglish);
    ASSERT_TRUE(lang.LoadCaptions(std::string(AD_BIN_DIR) + "/kbx40.cpt"));
    for (int i = 0; i < 3; ++i) {
      pictures.push_back(adtest::writePicture(adtest::testDir() / "Pictures" / ("été " + std::to_string(i) + ".bmp"),
                                              adtest::colourOf(i)));
    }
  }
  std::string list(const std::vector<std::string>& files, const char* end = "\r\n") {
    std::string bytes;
    for (const std::string& f : files) bytes += f + end;
    const fs::path path = adtest::testDir() / ("IMG_LIST" + std::to_string(++lists) + ".DAT");
    adtest::writeFile(path, bytes);
    return path.string();
  }
  int run(const std::vector<std::string>& args) { return rlm::RunMailProgram(args, lang, rlm::RunXdgEmail); }
  std::string msg(const char* key) const { return lang.GetMsg(key).toStdString(); }

  workspace::MLang lang;
  std::vector<std::string> pictures;
  int lists = 0;
  StandInComposer composer;
  platform::ScriptedMessageBoxes boxes;
};

// The pictures of the list, in its order, go to one new mail; the counter is one higher
// while the composer has the mail and as before afterwards. Both forms of the option and
// both line ends are taken.
TEST_F(MailProgram, HandsThePicturesToTheComposerAndCountsTheMail) {
  struct Case {
    const char* name;
    std::optional<uint32_t> times;
    bool joined;
    const char* end;
    const char* during;
    uint32_t after;
  } cases[] = {
      {"no key yet", std::nullopt, false, "\r\n", "\"TIMES\"=dword:00000001", 0},
      {"two mails held", 2, true, "\n", "\"TIMES\"=dword:00000003", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::RegistryStore store;
    store.deleteKey(RegRoot::LocalMachine, kKey);
    if (c.times) store.create(RegRoot::LocalMachine, kKey)->writeDword("TIMES", *c.times);
    const std::string path = list({pictures[2], "", pictures[0]}, c.end);
    EXPECT_EQ(run(c.joined ? std::vector<std::string>{"-f" + path} : std::vector<std::string>{"-f", path}), 0);
    EXPECT_EQ(composer.runs().back(), attach({pictures[2], pictures[0]}));
    EXPECT_EQ(composer.timesSeen(), std::string(c.during) + "\n");
    EXPECT_EQ(rlm::MailTimes(), c.after);
    EXPECT_TRUE(boxes.shown().empty());
  }
}

// Each failure is told in one box; the counter is back where it was.
TEST_F(MailProgram, TellsWhatFailed) {
  const std::string missing = (adtest::testDir() / "Pictures" / "gone.jpg").string();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int composerExit;  // -1: no xdg-email at all
    int result;
    std::vector<std::string> attached;  // empty: the composer is not run
    std::string told;
  } cases[] = {
      {"no mail program set up", {"-f", list(pictures)}, 3, 1, pictures, msg("MSG_RLM_NOMAILER")},
      {"the composer failed", {"-f", list(pictures)}, 4, 1, pictures, msg("MSG_RLM_FAILED")},
      {"a picture is missing", {"-f", list({pictures[0], missing, pictures[1]})}, 0, 0, {pictures[0], pictures[1]},
       msg("MSG_RLM_MISSING") + "\n" + missing},
      {"every picture is missing", {"-f", list({missing})}, 0, 1, {}, msg("MSG_RLM_MISSING") + "\n" + missing},
      {"no list given", {}, 0, 2, {}, msg("MSG_RLM_NOLIST")},
      {"no list there", {"-f", missing}, 0, 2, {}, msg("MSG_RLM_NOLIST")},
      {"no xdg-email at all", {"-f", list(pictures)}, -1, 1, {}, msg("MSG_RLM_NOMAILER")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.composerExit < 0) {
      composer.remove();
      ::setenv("PATH", composer.folder().c_str(), 1);
    } else {
      composer.exitWith(c.composerExit);
    }
    const size_t runs = composer.runs().size(), shown = boxes.shown().size();
    EXPECT_EQ(run(c.args), c.result);
    EXPECT_EQ(composer.runs().size(), runs + (c.attached.empty() ? 0 : 1));
    if (!c.attached.empty()) {
      EXPECT_EQ(composer.runs().back(), attach(c.attached));
    }
    ASSERT_EQ(boxes.shown().size(), shown + 1);
    EXPECT_EQ(boxes.shown().back().text, c.told);
    EXPECT_EQ(boxes.shown().back().icon, platform::MsgIcon::Stop);
    EXPECT_EQ(rlm::MailTimes(), 0u);
  }
}

// A link planted where the counter's lock file goes is not followed: nothing is made
// where it points, and the mail is still counted.
TEST_F(MailProgram, TheCounterLockIsNeverOpenedThroughALink) {
  platform::RegistryStore store;
  const fs::path lock = store.file() + ".times.lock";
  const fs::path elsewhere = adtest::testDir() / "elsewhere" / "planted";
  fs::create_directories(lock.parent_path());
  fs::create_directories(elsewhere.parent_path());
  fs::create_symlink(elsewhere, lock);
  EXPECT_EQ(run({"-f", list({pictures[0]})}), 0);
  EXPECT_EQ(composer.timesSeen(), "\"TIMES\"=dword:00000001\n");
  EXPECT_EQ(rlm::MailTimes(), 0u);
  EXPECT_FALSE(fs::exists(elsewhere)) << "the lock was opened through the link";
  EXPECT_TRUE(fs::is_symlink(lock));
}

// Names in the list relative to the mail program's folder, one of them beginning with
// '-', reach the composer as whole paths; the real xdg-email takes them as files, so it
// gets as far as finding no mail program (3) instead of a missing file (2).
TEST_F(MailProgram, RelativeNamesReachTheComposerWhole) {
  const fs::path folder = adtest::testDir() / "Pictures";
  const fs::path dashed = adtest::writePicture(folder / "-x.bmp", adtest::colourOf(5));
  struct InFolder {
    fs::path before = fs::current_path();
    explicit InFolder(const fs::path& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(before); }
  } inFolder(folder);
  EXPECT_EQ(run({"-f", list({"-x.bmp", "été 1.bmp"})}), 0);
  ASSERT_FALSE(composer.runs().empty());
  EXPECT_EQ(composer.runs().back(), attach({dashed.string(), pictures[1]}));

  composer.remove();
  ::setenv("PATH", composer.systemPath().c_str(), 1);
  if (adtest::haveTool("xdg-email")) {
    withoutAMailProgram();
    int exitCode = -1;
    const int result = rlm::RunMailProgram({"-f", list({"-x.bmp"})}, lang, [&](const std::vector<std::string>& a) {
      return exitCode = rlm::RunXdgEmail(a);
    });
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(result, 1);
  }
}

// The real xdg-email on a desktop where no mail program is set up (no desktop, no
// desktop entries, no browser) says so with its exit code 3, which the user hears of.
TEST_F(MailProgram, RealXdgEmailWithoutAMailProgram) {
  composer.remove();
  ::setenv("PATH", composer.systemPath().c_str(), 1);
  AD_REQUIRE_TOOL("xdg-email");
  withoutAMailProgram();
  EXPECT_EQ(rlm::RunXdgEmail(pictures), 3);
  EXPECT_EQ(run({"-f", list(pictures)}), 1);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, msg("MSG_RLM_NOMAILER"));
}

// The built program, started as albumdesk starts it.
TEST_F(MailProgram, BuiltProgramOpensTheComposer) {
  const std::string program = std::string(AD_BIN_DIR) + "/ZEB_RLM.EXE";
  ASSERT_TRUE(fs::exists(program));
  EXPECT_EQ(adtest::runProgram({program, "-f", list(pictures)}), 0);
  ASSERT_EQ(composer.runs().size(), 1u);
  EXPECT_EQ(composer.runs()[0], attach(pictures));
  EXPECT_EQ(rlm::MailTimes(), 0u);
}

// The mail programs this test process started that still run.
std::vector<pid_t> runningMailPrograms() {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);  // empty for a process already gone
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || stat.find("(ZEB_RLM.EXE)") == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == ::getpid() && state != 'Z') found.push_back(static_cast<pid_t>(std::stol(entry.path().filename())));
  }
  return found;
}

// The E-mail icon of the main window, clicked where the user clicks it: the mail program
// beside albumdesk gets the list and the composer gets the selected pictures' files in
// album order (in every run: how often a click runs its command is the icon bar's test).
class MailFromTheMainWindow : public MainWindow {
 protected:
  StandInComposer composer;
};

TEST_F(MailFromTheMainWindow, IconClickReachesTheComposer) {
  start();
  addPictures(3);
  album().SelectAll(false);
  album().Cell(2)->Select(true);
  album().Cell(0)->Select(true);
  album().CountSelected();
  const std::vector<std::string> expected = attach({album().Record(0)->workPath, album().Record(2)->workPath});

  QTest::mouseClick(named("lblExp"), Qt::LeftButton);
  ASSERT_EQ(frmMain->IconPage, 0);
  QWidget* icon = frmMain->ExportIcons().Icon(2)->image();
  QWidget* window = icon->window();
  const QPoint at = icon->mapTo(window, icon->rect().center());
  QWidget* under = window->childAt(at);
  ASSERT_NE(under, nullptr);
  platform::Launcher* recording = platform::setLauncher(nullptr);  // the system's own
  QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(window, at));
  platform::setLauncher(recording);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !composer.runs().empty(); }, 20000))
      << "the mail program did not reach the composer";
  // Every mail program started ends by itself; one that waits on a box is ended here.
  EXPECT_TRUE(QTest::qWaitFor([] { return runningMailPrograms().empty(); }, 20000));
  for (pid_t pid : runningMailPrograms()) ::kill(pid, SIGKILL);
  // One click, one mail.
  ASSERT_EQ(composer.runs().size(), 1u);
  EXPECT_EQ(composer.runs().front(), expected);
  EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
