// The installed desktop entry and MIME package, as the desktop's own tools read them.
#include <filesystem>

#include "platform/testsupport/testsupport.h"
#include "workspace/lang.h"

namespace {

namespace fs = std::filesystem;

// The desktop entry and MIME package as installed, and as the desktop reads them: the
// album types by name and by content, the program as their opener, and the file type's
// name of each language as their comment.
TEST(DesktopEntry, InstalledEntryAndMimePackageAreWhatTheDesktopSees) {
  AD_REQUIRE_TOOL("update-mime-database");
  AD_REQUIRE_TOOL("gio");
  AD_REQUIRE_TOOL("update-desktop-database");
  AD_REQUIRE_TOOL("desktop-file-validate");
  const fs::path prefix = adtest::testDir() / "prefix";
  std::string err;
  ASSERT_EQ(adtest::runProgram({"cmake", "--install", AD_BUILD_DIR, "--prefix", prefix.string()}, nullptr, &err), 0)
      << err;
  const fs::path data = prefix / "share";
  ASSERT_TRUE(fs::exists(data / "applications/albumdesk.desktop"));
  ASSERT_TRUE(fs::exists(data / "mime/packages/albumdesk.xml"));
  std::string out;
  EXPECT_EQ(adtest::runProgram({"desktop-file-validate", (data / "applications/albumdesk.desktop").string()}, &out), 0)
      << out;
  EXPECT_EQ(out, "") << "no warnings";
  ASSERT_EQ(adtest::runProgram({"update-mime-database", (data / "mime").string()}, nullptr, &err), 0) << err;
  ASSERT_EQ(adtest::runProgram({"update-desktop-database", (data / "applications").string()}, nullptr, &err), 0) << err;
  // The desktop lists only programs it can find: the installed one.
  const fs::path bin = prefix / "bin";
  ASSERT_TRUE(fs::exists(bin / "albumdesk"));
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  ::setenv("XDG_DATA_DIRS", "/usr/share", 1);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

  const fs::path dir = adtest::testDir();
  adtest::writeFile(dir / "trip.qla", std::string("QLA\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
  adtest::writeFile(dir / "frames.wza", "WZA");
  adtest::writeFile(dir / "no_name_album", std::string("QLA\0\x01\0\0\0\0\0\0\0\0\0\0\0", 16));
  adtest::writeFile(dir / "no_name_frames", std::string("WZA\0\x02\0\x40", 7) + std::string(64, '\0'));
  struct Case {
    const char* file;
    const char* type;
  } cases[] = {{"trip.qla", "application/x-albumdesk-qla"},
               {"frames.wza", "application/x-albumdesk-wza"},
               {"no_name_album", "application/x-albumdesk-qla"},
               {"no_name_frames", "application/x-albumdesk-wza"}};
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(adtest::runProgram({"gio", "info", "-a", "standard::content-type", (dir / c.file).string()}, &out), 0);
    EXPECT_NE(out.find(std::string("standard::content-type: ") + c.type + "\n"), std::string::npos) << c.file << out;
  }
  // The program is the registered opener of both types.
  for (const char* type : {"application/x-albumdesk-qla", "application/x-albumdesk-wza"}) {
    std::string out;
    ASSERT_EQ(adtest::runProgram({"gio", "mime", type}, &out), 0);
    EXPECT_NE(out.find("albumdesk.desktop"), std::string::npos) << type << out;
  }

  // Each language's comment is the file type's name of the caption table.
  const std::string xml = adtest::readFile(data / "mime/packages/albumdesk.xml");
  const std::string entry = adtest::readFile(data / "applications/albumdesk.desktop");
  EXPECT_NE(entry.find("\nExec=albumdesk %f\n"), std::string::npos) << "one file, as one argument";
  for (uint16_t language : {workspace::kEnglish, workspace::kFrench, workspace::kJapanese}) {
    workspace::MLang l;
    l.SetLanguage(language);
    ASSERT_TRUE(l.LoadCaptions(std::string(AD_PROJECT_DIR) + "/app/data/kbx40.cpt"));
    const std::string name = l.GetMsg("ALBUM_NAME").toStdString();
    ASSERT_FALSE(name.empty());
    EXPECT_NE(xml.find(">" + name + "</comment>"), std::string::npos) << name;
  }
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("XDG_DATA_DIRS");
  ::setenv("PATH", path.c_str(), 1);
}

}  // namespace
