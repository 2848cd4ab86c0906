#include "platform/launcher.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"

#include <sys/stat.h>

#include <filesystem>

using namespace platform;

// The started program writes each argument it got, one a line, into a FIFO that the
// test reads to its end: no waiting on time, and the read ends when the program does.
TEST(Launcher, StartsAProgramWithItsArgumentsAsTheyAre) {
  std::string fifo = (adtest::testDir() / "args").string();
  std::string marker = (adtest::testDir() / "marker").string();
  std::vector<std::string> odd = {"two words", "$(touch " + marker + ")", ";", "*", "", "'q'", "\"dq\"", "\xE5\x86\x99"};
  for (const char* program : {"/bin/sh", "sh"}) {
    SCOPED_TRACE(program);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> args = {"-c", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0\"", fifo};
    args.insert(args.end(), odd.begin(), odd.end());
    ASSERT_TRUE(SystemLauncher().startProgram(program, args));
    std::string expect;
    for (const auto& a : odd) expect += "[" + a + "]\n";
    EXPECT_EQ(adtest::readFile(fifo), expect);
    std::filesystem::remove(fifo);
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Launcher, ProgramsThatCannotStartReportFailure) {
  std::string plain = (adtest::testDir() / "notes.txt").string();
  adtest::writeFile(plain, "not a program");
  ::chmod(plain.c_str(), 0644);
  for (std::string program : {std::string(), std::string("/no/such/program"), plain,
                              adtest::testDir().string(), std::string("no-such-program-anywhere")})
    EXPECT_FALSE(SystemLauncher().startProgram(program, {"-f", "x"})) << program;
  EXPECT_FALSE(SystemLauncher().openDocument((adtest::testDir() / "missing.chm").string()));
  EXPECT_FALSE(SystemLauncher().openDocument(""));
}

TEST(Launcher, RecordingLauncherStandsInForTheSystem) {
  {
    RecordingLauncher rec;
    rec.programResult = false;
    EXPECT_FALSE(launcher().startProgram("/opt/app/ZEB_RLM.EXE", {"-f", "/w/IMG_LIST.DAT"}));
    EXPECT_TRUE(launcher().openDocument("/opt/app/help.chm"));
    ASSERT_EQ(rec.programs().size(), 1u);
    EXPECT_EQ(rec.programs()[0].program, "/opt/app/ZEB_RLM.EXE");
    EXPECT_EQ(rec.programs()[0].args, std::vector<std::string>({"-f", "/w/IMG_LIST.DAT"}));
    EXPECT_EQ(rec.documents(), std::vector<std::string>({"/opt/app/help.chm"}));
  }
  EXPECT_NE(dynamic_cast<SystemLauncher*>(&launcher()), nullptr);
}
