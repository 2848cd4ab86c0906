#include "workspace/profile.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/ini_file.h"

using namespace workspace;
namespace fs = std::filesystem;

namespace {

TEST(IniFile, FindsValuesByTheLookupRules) {
  const std::string file =
      "top=before any section\n"
      "[Init]\n"
      "Album=/home/a\n"
      "  Spaced  =  padded value  \n"
      "dq=\"  kept  \"\n"
      "sq='single'\n"
      "odd=\"half\n"
      "eq=a=b\n"
      "empty=\n"
      "; comment=no\n"
      "novalue\n"
      "album=second\n"
      "[ Auto ]\r\n"
      "Mode=3\r\n"
      "[init]\n"
      "late=never seen\n";
  IniFile ini(file);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"INIT", "ALBUM", "/home/a"},  // names ignore case; the first entry wins
      {"Init", "spaced", "padded value"},
      {"Init", "dq", "  kept  "},
      {"Init", "sq", "single"},
      {"Init", "odd", "\"half"},
      {"Init", "eq", "a=b"},
      {"Init", "empty", ""},
      {"Init", "; comment", std::nullopt},
      {"Init", "novalue", std::nullopt},
      {"Init", "late", std::nullopt},  // only the first section of a name counts
      {"Init", "top", std::nullopt},
      {"Init", "Mode", std::nullopt},
      {"auto", "mode", "3"},
      {"Missing", "Album", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.Get(c.section, c.key), c.value);
  }
}

TEST(IniFile, ChangesOnlyTheEntryItWrites) {
  struct Case {
    const char* name;
    std::string before;
    const char *section, *key, *value;
    std::string after;
  } cases[] = {
      {"new file", "", "INIT", "ALBUM", "/a", "[INIT]\nALBUM=/a\n"},
      {"replaced in place, spelling kept", "; keep\n[init]\n Album = old \nx=1\n", "INIT", "ALBUM", "/b",
       "; keep\n[init]\nAlbum=/b\nx=1\n"},
      {"added after the section's last line", "[A]\nk=1\n\n[B]\nk=2\n", "a", "n", "v",
       "[A]\nk=1\nn=v\n\n[B]\nk=2\n"},
      {"new section at the end", "[A]\nk=1", "B", "k", "2", "[A]\nk=1\n\n[B]\nk=2\n"},
      {"line ends kept", "[A]\r\nk=1\r\n", "A", "k", "2", "[A]\r\nk=2\r\n"},
      {"a CR ending other lines' text kept", "[A]\nk=1\nx=2\r\r\n[B\r\r", "A", "k", "3",
       "[A]\nk=3\nx=2\r\r\n[B\r\r\n"},
      {"blanks at the ends are quoted", "", "S", "k", " x ", "[S]\nk=\" x \"\n"},
      {"surrounding quotes are quoted", "", "S", "k", "'q'", "[S]\nk=\"'q'\"\n"},
      {"key with '=' refused", "[S]\n", "S", "a=b", "v", "[S]\n"},
      {"section with ']' refused", "", "S]", "k", "v", ""},
      {"line break refused", "", "S", "k", "a\nb", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile ini(c.before);
    bool storable = IniFile::Storable(c.section, c.key, c.value);
    EXPECT_EQ(ini.Set(c.section, c.key, c.value), storable);
    if (storable) {
      EXPECT_EQ(ini.Get(c.section, c.key), c.value);
    }
    EXPECT_EQ(ini.Text(), storable ? c.after : IniFile(c.before).Text());
  }
}

TEST(Profile, FreshUserGetsWorkFolderAndDefaultsUntilTheFirstWrite) {
  const std::string work = platform::workDir();
  ASSERT_FALSE(fs::exists(work));
  CProfile profile;
  EXPECT_TRUE(fs::is_directory(work));
  EXPECT_EQ(profile.WorkDir(), work);
  EXPECT_EQ(profile.SettingsPath(), work + "kbx40.ini");
  EXPECT_EQ(profile.ProgramDir() + "/", platform::appDir());

  std::string folder = "desktop";
  int32_t slideShow = 5;
  EXPECT_FALSE(profile.ReadString("INIT", "ALBUM", folder));
  EXPECT_FALSE(profile.ReadInt("INIT", "SLIDESHOW", slideShow));
  EXPECT_EQ(folder, "desktop");
  EXPECT_EQ(slideShow, 5);
  EXPECT_FALSE(fs::exists(profile.SettingsPath()));  // reading writes nothing

  EXPECT_TRUE(profile.WriteInt("frmMain", "Top", 120));
  EXPECT_EQ(adtest::readFile(profile.SettingsPath()), "[frmMain]\nTop=120\n");
}

TEST(Profile, ReadsIntegersOnlyFromWholeNumbers) {
  CProfile profile;
  struct Case {
    const char* stored;
    std::optional<int32_t> read;
  } cases[] = {
      {"42", 42},
      {"-16777208", -16777208},
      {"+7", 7},
      {"  9  ", 9},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"abc", std::nullopt},
      {"12abc", std::nullopt},
      {"0x10", std::nullopt},
      {"+-1", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(profile.WriteString("frmMain", "Top", c.stored));
    int32_t value = -99;
    EXPECT_EQ(profile.ReadInt("frmMain", "Top", value), c.read.has_value());
    EXPECT_EQ(value, c.read.value_or(-99));
  }
}

TEST(Profile, KeepsValuesWholeAndTakesEmptyOnesAsMissing) {
  CProfile profile;
  const std::string longFolder = "/" + std::string(1000, 'd') + "/pictures";
  struct Case {
    const char* key;
    std::string written;
    bool present;
  } cases[] = {
      {"ALBUM", longFolder, true},
      {"HTML_TITLE", "  My Pictures  ", true},
      {"MOVIE", "", false},
      {"LOADIMAGE", "/home/ü/写真", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    ASSERT_TRUE(profile.WriteString("INIT", c.key, c.written));
    std::string read = "default";
    EXPECT_EQ(profile.ReadString("INIT", c.key, read), c.present);
    EXPECT_EQ(read, c.present ? c.written : "default");
  }
  EXPECT_TRUE(profile.WriteInt("INIT", "VIEW_BG", 0x696969));
  int32_t colour = 0;
  EXPECT_TRUE(profile.ReadInt("INIT", "VIEW_BG", colour));
  EXPECT_EQ(colour, 6908265);
  EXPECT_NE(adtest::readFile(profile.SettingsPath()).find("VIEW_BG=6908265\n"), std::string::npos);
}

TEST(Profile, FailedWritesLeaveTheFileAsItWas) {
  CProfile profile;
  ASSERT_TRUE(profile.WriteString("INIT", "ALBUM", "/a"));
  const std::string before = adtest::readFile(profile.SettingsPath());

  EXPECT_FALSE(profile.WriteString("INIT", "bad\nkey", "v"));
  EXPECT_FALSE(profile.WriteString("INIT", "ALBUM", "two\nlines"));
  EXPECT_EQ(adtest::readFile(profile.SettingsPath()), before);
  // A settings file made read-only stays as it is, whoever runs the program.
  ::chmod(profile.SettingsPath().c_str(), 0444);
  EXPECT_FALSE(profile.WriteString("INIT", "ALBUM", "/b"));
  ::chmod(profile.SettingsPath().c_str(), 0644);
  EXPECT_EQ(adtest::readFile(profile.SettingsPath()), before);
  for (const auto& entry : fs::directory_iterator(profile.WorkDir())) {
    EXPECT_EQ(entry.path().filename(), "kbx40.ini");  // no temporary file left behind
  }

  // A full disk: the settings written as the program closes fail, and the old ones stay
  // whole, with no temporary beside them.
  {
    const fs::path full = adtest::testDir() / "full";
    adtest::FullDisk disk(full, 1 << 20);
    CProfile onFull(full.string(), "/prog");
    ASSERT_TRUE(onFull.WriteString("INIT", "ALBUM", "/a"));
    const std::string kept = adtest::readFile(onFull.SettingsPath());
    disk.leave(0);
    SCOPED_TRACE(disk.how());
    EXPECT_FALSE(onFull.WriteInt("frmMain", "Top", 10));
    EXPECT_FALSE(onFull.WriteString("INIT", "ALBUM", std::string(5000, 'x')));
    EXPECT_EQ(adtest::readFile(onFull.SettingsPath()), kept);
    for (const auto& entry : fs::directory_iterator(full)) {
      const std::string name = entry.path().filename();
      EXPECT_TRUE(name == "kbx40.ini" || name == ".filler") << name;
    }
  }

  // A settings "file" that cannot be read is never replaced.
  CProfile unreadable((adtest::testDir() / "other/").string(), "/prog");
  fs::create_directory(unreadable.SettingsPath());
  EXPECT_FALSE(unreadable.WriteString("INIT", "ALBUM", "/a"));
  EXPECT_TRUE(fs::is_directory(unreadable.SettingsPath()));

  // A work folder that went away: reads give defaults, writes fail.
  CProfile gone((adtest::testDir() / "gone").string(), "/prog");
  fs::remove_all(adtest::testDir() / "gone");
  EXPECT_FALSE(gone.WriteString("INIT", "ALBUM", "/a"));
  std::string value;
  EXPECT_FALSE(gone.ReadString("INIT", "ALBUM", value));
}

}  // namespace
