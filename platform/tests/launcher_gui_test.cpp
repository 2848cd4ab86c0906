// Documents handed to the desktop's opener: a stand-in "xdg-open" first on PATH records
// what it was given and ends as the case asks; what became of the document is told in the
// event loop once the opener has ended.
#include "platform/launcher.h"
#include "platform/testsupport/testsupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QTest>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

using platform::Opening;
using platform::SystemLauncher;

namespace {

// Opens `path` with the system's launcher and waits in the event loop for what became of it;
// nullopt when nothing was told.
std::optional<Opening> open(const std::string& path) {
  std::optional<Opening> told;
  int calls = 0;
  EXPECT_TRUE(SystemLauncher().openDocument(path, [&](Opening o) {
    told = o;
    ++calls;
  }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return told.has_value(); }, 30000));
  QTest::qWait(50);  // told once only
  EXPECT_EQ(calls, 1);
  return told;
}

}  // namespace

TEST(Launcher, DocumentsGoToTheDesktopsOpenerAsWholePaths) {
  adtest::StandInProgram opener("xdg-open");
  std::filesystem::create_directories(adtest::testDir() / "my album#1");
  const std::vector<std::string> names = {"help 100%.chm", "\xE5\x86\x99\xE7\x9C\x9F.avi", "index?.htm",
                                          "-x.htm"};
  std::vector<std::vector<std::string>> expected;
  for (const auto& n : names) {
    const std::string path = (adtest::testDir() / "my album#1" / n).string();
    adtest::writeFile(path, "x");
    EXPECT_EQ(open(path), Opening::Opened) << n;
    expected.push_back({path});
  }
  // A relative name is taken from the current folder (the test's folder), and a name that
  // begins with "-" reaches the opener as a whole path, never as an option.
  ASSERT_EQ(::chdir((adtest::testDir() / "my album#1").c_str()), 0);
  EXPECT_EQ(open("-x.htm"), Opening::Opened);
  expected.push_back({(adtest::testDir() / "my album#1" / "-x.htm").string()});
  ASSERT_EQ(::chdir(adtest::testDir().c_str()), 0);
  EXPECT_EQ(opener.runs(), expected);

  // Without anyone to tell, the opener is started all the same.
  EXPECT_TRUE(SystemLauncher().openDocument(expected[0][0]));
  EXPECT_TRUE(QTest::qWaitFor([&] { return opener.runs().size() == expected.size() + 1; }, 30000));

  // A missing file goes nowhere and nothing is told.
  bool told = false;
  EXPECT_FALSE(SystemLauncher().openDocument("my album#1/missing.chm", [&](Opening) { told = true; }));
  QTest::qWait(100);
  EXPECT_FALSE(told);
  EXPECT_EQ(opener.runs().size(), expected.size() + 1);
}

TEST(Launcher, WhatTheOpenerMadeOfADocumentIsTold) {
  const std::string path = (adtest::testDir() / "index.htm").string();
  adtest::writeFile(path, "<html></html>");
  adtest::StandInProgram opener("xdg-open");
  struct Case {
    const char* name;
    std::string commands;
    Opening told;
  };
  const Case cases[] = {
      {"a program opened it", "exit 0", Opening::Opened},
      {"no program for the file's type", "exit 3", Opening::NoProgram},
      {"the program failed on it", "exit 4", Opening::Failed},
      {"the opener could not read its arguments", "exit 1", Opening::Failed},
      {"the opener was killed", "kill -9 $$", Opening::Failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    opener.then(c.commands);
    EXPECT_EQ(open(path), c.told);
  }

  // The window goes on while the opener runs: it is told when the opener ends.
  const std::string gate = (adtest::testDir() / "gate").string();
  ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
  opener.then("read line < \"" + gate + "\"; exit 3");
  std::optional<Opening> told;
  ASSERT_TRUE(SystemLauncher().openDocument(path, [&](Opening o) { told = o; }));
  QTest::qWait(200);
  EXPECT_FALSE(told.has_value()) << "told before the opener ended";
  adtest::writeFile(gate, "go\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return told.has_value(); }, 30000));
  EXPECT_EQ(told, Opening::NoProgram);

  // No opener on PATH at all: no program opens it.
  ::setenv("PATH", (adtest::testDir() / "empty").c_str(), 1);
  EXPECT_EQ(open(path), Opening::NoProgram);
}
