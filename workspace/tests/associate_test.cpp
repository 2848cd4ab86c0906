// The file association in the registry store.
#include "workspace/associate.h"

#include <unistd.h>

#include <filesystem>

#include "platform/registry_store.h"
#include "platform/testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
using platform::RegRoot;
using workspace::ASSOCIATE;

std::string programFile() { return fs::read_symlink("/proc/self/exe").string(); }

std::optional<std::string> defaultValue(const std::string& key) {
  const platform::RegistryStore store;
  auto k = store.open(RegRoot::ClassesRoot, key);
  return k ? k->readString("") : std::nullopt;
}

ASSOCIATE albums() {
  ASSOCIATE a;
  a.Extensions = {".qla", ".wza"};
  a.Name = "Album file";
  return a;
}

TEST(Associate, WritesTheLayoutAndFindsItInPlace) {
  EXPECT_EQ(workspace::SystemMajorVersion(), 6) << "no association question on this system";
  const ASSOCIATE a = albums();
  EXPECT_FALSE(a.IsAssociated());
  ASSERT_TRUE(a.Associate());
  EXPECT_TRUE(a.IsAssociated());
  EXPECT_EQ(defaultValue(".qla"), "Album file");
  EXPECT_EQ(defaultValue(".wza"), "Album file");
  EXPECT_EQ(defaultValue("Album file"), "Album file");
  EXPECT_EQ(defaultValue("Album file\\shell\\open\\command"), "\"" + programFile() + "\"%1");
  EXPECT_EQ(defaultValue("Album file\\DefaultIcon"), programFile() + ",1");
}

// Any part missing or naming another program: not associated.
TEST(Associate, IsNotAssociatedWhenAnyPartIsMissingOrElsewhere) {
  struct Case {
    const char* name;
    std::function<void(const platform::RegistryStore&)> spoil;
  } cases[] = {
      {"extension_missing", [](auto& s) { s.deleteKey(RegRoot::ClassesRoot, ".wza"); }},
      {"icon_missing", [](auto& s) { s.deleteKey(RegRoot::ClassesRoot, "Album file\\DefaultIcon"); }},
      {"another_program",
       [](auto& s) { s.open(RegRoot::ClassesRoot, "Album file\\shell\\open\\command")->writeString("", "\"/usr/bin/other\"%1"); }},
      {"blank_before_the_argument",
       [](auto& s) {
         s.open(RegRoot::ClassesRoot, "Album file\\shell\\open\\command")
             ->writeString("", "\"" + programFile() + "\" %1");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ASSOCIATE a = albums();
    ASSERT_TRUE(a.Associate());
    c.spoil(platform::RegistryStore());
    EXPECT_FALSE(a.IsAssociated());
  }
}

TEST(Associate, FailsWhereTheRegistryCannotBeWritten) {
  const fs::path blocked = adtest::testDir() / "blocked";
  fs::create_directories(blocked / "registry.reg");  // a folder where the file should be
  ::setenv("ZEB_REGISTRY_FILE", (blocked / "registry.reg").c_str(), 1);
  EXPECT_FALSE(albums().Associate());
  EXPECT_FALSE(albums().IsAssociated());
  ::unsetenv("ZEB_REGISTRY_FILE");
}

}  // namespace
