// Checks against outside tools: another INI reader and df.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"
#include "workspace/file_name.h"
#include "workspace/profile.h"

using namespace workspace;

namespace {

TEST(Profile, FileReadsBackWithAnotherIniReader) {
  AD_REQUIRE_TOOL("python3");
  CProfile profile;
  ASSERT_TRUE(profile.WriteString("INIT", "ALBUM", "/home/a b/albums"));
  ASSERT_TRUE(profile.WriteInt("AUTO", "INTERVALSEC", 60));
  ASSERT_TRUE(profile.WriteInt("frmMain", "Top", -3));
  ASSERT_TRUE(profile.WriteString("INIT", "HTML_TITLE", "Trip=2024"));
  std::string out;
  const char* script =
      "import configparser, sys\n"
      "c = configparser.RawConfigParser(); c.optionxform = str\n"
      "c.read(sys.argv[1], encoding='utf-8')\n"
      "for s in c.sections():\n"
      "  for k, v in c.items(s): print(f'{s}|{k}|{v}')\n";
  ASSERT_EQ(adtest::runProgram({"python3", "-c", script, profile.SettingsPath()}, &out), 0);
  EXPECT_EQ(out,
            "INIT|ALBUM|/home/a b/albums\n"
            "INIT|HTML_TITLE|Trip=2024\n"
            "AUTO|INTERVALSEC|60\n"
            "frmMain|Top|-3\n");
}

TEST(FileHelpers, DiskFreeAgreesWithDf) {
  AD_REQUIRE_TOOL("df");
  // A file that does not exist yet is asked about by the folder that would hold it.
  std::string path = (adtest::testDir() / "not/yet/there.qla").string();
  uint64_t free = 0;
  ASSERT_TRUE(FileName(path).GetDiskFree(free));
  std::string out;
  ASSERT_EQ(adtest::runProgram({"df", "-B1", "--output=avail", adtest::testDir().string()}, &out), 0);
  uint64_t dfFree = std::stoull(out.substr(out.find('\n') + 1));
  // Other processes may write in between; the two must still be close.
  const uint64_t slack = uint64_t{256} << 20;
  EXPECT_LE(free, dfFree + slack);
  EXPECT_GE(free + slack, dfFree);
}

}  // namespace
