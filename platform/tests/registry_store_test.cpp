#include "platform/registry_store.h"
#include "platform/testsupport/testsupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

using platform::RegistryStore;
using platform::RegRoot;
namespace fs = std::filesystem;

namespace {
std::string storeFile() { return (adtest::testDir() / "reg" / "registry.reg").string(); }
}  // namespace

TEST(RegistryStore, DefaultPathFollowsEnvironment) {
  EXPECT_EQ(RegistryStore::defaultPath(), (adtest::testDir() / ".config/ZEB/registry.reg").string());
  ::setenv("ZEB_REGISTRY_FILE", "/x/y.reg", 1);
  EXPECT_EQ(RegistryStore::defaultPath(), "/x/y.reg");
}

TEST(RegistryStore, OpenNeverCreatesAndCreateMakesAKeyWithoutValues) {
  RegistryStore store(storeFile());
  EXPECT_FALSE(store.open(RegRoot::LocalMachine, "Software\\ZEB\\RLM"));
  EXPECT_FALSE(fs::exists(storeFile())) << "a failed open must not write the store";

  ASSERT_TRUE(store.create(RegRoot::LocalMachine, "Software\\ZEB\\RLM"));
  auto key = store.open(RegRoot::LocalMachine, "software\\zeb\\rlm");
  ASSERT_TRUE(key);
  EXPECT_FALSE(key->readDword("TIMES"));
  EXPECT_EQ(adtest::readFile(storeFile()), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\ZEB\\RLM]\n");
  // The same path under another root is another key.
  EXPECT_FALSE(store.open(RegRoot::ClassesRoot, "Software\\ZEB\\RLM"));
}

TEST(RegistryStore, TypedValuesRoundTripWithCaseInsensitiveNames) {
  RegistryStore store(storeFile());
  auto key = store.create(RegRoot::LocalMachine, "Software\\ZEB\\VARN\\INIT");
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->writeDword("COM", 3));
  EXPECT_TRUE(key->writeDword("BaudRate", 0xFFFFFFFFu));
  EXPECT_TRUE(key->writeString("Path", "C:\\a \"quoted\"\nline"));
  EXPECT_TRUE(key->writeDword("com", 4));  // the same value, first spelling kept

  RegistryStore again(storeFile());
  auto k = again.open(RegRoot::LocalMachine, "SOFTWARE/zeb/varn/init/");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->readDword("COM"), 4u);
  EXPECT_EQ(k->readDword("baudrate"), 0xFFFFFFFFu);
  EXPECT_EQ(k->readString("PATH"), "C:\\a \"quoted\"\nline");
  // A value of the other type reads as missing.
  EXPECT_FALSE(k->readString("COM"));
  EXPECT_FALSE(k->readDword("Path"));
  std::string text = adtest::readFile(storeFile());
  EXPECT_NE(text.find("\"COM\"=dword:00000004\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"com\""), std::string::npos) << text;

  EXPECT_TRUE(k->deleteValue("Com"));
  EXPECT_FALSE(k->deleteValue("Com"));
  EXPECT_FALSE(k->readDword("COM"));
}

TEST(RegistryStore, DeleteKeyRemovesSubkeysOnly) {
  RegistryStore store(storeFile());
  store.create(RegRoot::ClassesRoot, ".qla")->writeString("", "albumdesk.album");
  store.create(RegRoot::ClassesRoot, "albumdesk.album\\shell\\open\\command");
  store.create(RegRoot::ClassesRoot, "albumdesk.albumX");
  EXPECT_TRUE(store.deleteKey(RegRoot::ClassesRoot, "ALBUMDESK.album"));
  EXPECT_FALSE(store.open(RegRoot::ClassesRoot, "albumdesk.album\\shell\\open\\command"));
  EXPECT_TRUE(store.open(RegRoot::ClassesRoot, "albumdesk.albumX"));
  EXPECT_TRUE(store.open(RegRoot::ClassesRoot, ".qla"));
  EXPECT_FALSE(store.deleteKey(RegRoot::ClassesRoot, "albumdesk.album"));
}

TEST(RegistryStore, ReadsHandWrittenFilesAndSkipsBrokenLines) {
  fs::create_directories(fs::path(storeFile()).parent_path());
  adtest::writeFile(storeFile(),
                    "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
                    "; comment\r\n"
                    "\"orphan\"=dword:1\r\n"            // before any key: ignored
                    "[HKEY_LOCAL_MACHINE\\Software\\ZEB\\RLM]\r\n"
                    "\"TIMES\"=dword:0000000A\r\n"
                    "\"bad1\"=dword:123456789\r\n"      // more than 32 bits
                    "\"bad2\"=dword:xyz\r\n"
                    "\"bad3\"=\"unterminated\r\n"
                    "\"bad4\"=hex:00,01\r\n"
                    "[broken\r\n"
                    "\"Name\"=\"v\"\r\n");              // after a broken header: ignored
  RegistryStore store(storeFile());
  auto key = store.open(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readDword("TIMES"), 10u);
  for (const char* name : {"bad1", "bad2", "bad3", "bad4", "Name", "orphan"}) {
    EXPECT_FALSE(key->readDword(name)) << name;
    EXPECT_FALSE(key->readString(name)) << name;
  }
}

TEST(RegistryStore, ChangesRewriteOnlyTheirOwnLines) {
  // A store another program wrote: a byte order mark, CR LF, comments, a default value,
  // values of other types (some continued over lines), lines under a broken header.
  const std::string before =
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "\r\n"
      "; written by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\ZEB\\RLM]\r\n"
      "@=\"default\"\r\n"
      "\"TIMES\"=dword:0000000A\r\n"
      "\"Blob\"=hex:00,01,02,\\\r\n"
      "  03,04\r\n"
      "\"Big\"=qword:0000000000000001\r\n"
      "\r\n"
      "[broken\r\n"
      "\"Name\"=\"v\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\ZEB\\Other]\r\n"
      "\"Keep\"=\"x\"  ; note\r\n";
  auto replaced = [&](const std::string& what, const std::string& with) {
    std::string text = before;
    const size_t at = text.find(what);
    return at == std::string::npos ? std::string("(no ") + what + ")" : text.replace(at, what.size(), with);
  };
  const std::string rlm = "Software\\ZEB\\RLM";
  struct Case {
    const char* name;
    std::function<bool(RegistryStore&)> change;
    std::string after;
  } cases[] = {
      {"a value rewritten", [&](RegistryStore& s) { return s.open(RegRoot::LocalMachine, rlm)->writeDword("times", 11); },
       replaced("\"TIMES\"=dword:0000000A", "\"TIMES\"=dword:0000000b")},
      {"a value added", [&](RegistryStore& s) { return s.open(RegRoot::LocalMachine, rlm)->writeString("New", "n"); },
       replaced("0000000000000001\r\n", "0000000000000001\r\n\"New\"=\"n\"\r\n")},
      {"a value of another type replaced",
       [&](RegistryStore& s) { return s.open(RegRoot::LocalMachine, rlm)->writeDword("blob", 1); },
       replaced("\"Blob\"=hex:00,01,02,\\\r\n  03,04", "\"Blob\"=dword:00000001")},
      {"a value deleted", [&](RegistryStore& s) { return s.open(RegRoot::LocalMachine, rlm)->deleteValue("Big"); },
       replaced("\"Big\"=qword:0000000000000001\r\n", "")},
      {"a key added", [](RegistryStore& s) { return s.create(RegRoot::LocalMachine, "Software\\ZEB\\New").has_value(); },
       before + "\r\n[HKEY_LOCAL_MACHINE\\Software\\ZEB\\New]\r\n"},
      {"a key deleted", [](RegistryStore& s) { return s.deleteKey(RegRoot::LocalMachine, "Software\\ZEB\\Other"); },
       replaced("[HKEY_LOCAL_MACHINE\\Software\\ZEB\\Other]\r\n\"Keep\"=\"x\"  ; note\r\n", "")},
      {"the same value again", [&](RegistryStore& s) { return s.open(RegRoot::LocalMachine, rlm)->writeDword("TIMES", 10); },
       before},
  };
  fs::create_directories(fs::path(storeFile()).parent_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    adtest::writeFile(storeFile(), before);
    RegistryStore store(storeFile());
    ASSERT_TRUE(c.change(store));
    EXPECT_EQ(adtest::readFile(storeFile()), c.after);
  }
  adtest::writeFile(storeFile(), before);
  RegistryStore store(storeFile());
  EXPECT_EQ(store.open(RegRoot::LocalMachine, "Software\\ZEB\\Other")->readString("Keep"), "x");
  EXPECT_FALSE(store.open(RegRoot::LocalMachine, rlm)->readString("Blob"));
}

TEST(RegistryStore, ConcurrentWritersLoseNoValue) {
  RegistryStore store(storeFile());
  store.create(RegRoot::LocalMachine, "Software\\ZEB\\T");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      RegistryStore s(storeFile());
      auto key = s.open(RegRoot::LocalMachine, "Software\\ZEB\\T");
      for (int i = 0; i < 10; ++i) key->writeDword("v" + std::to_string(t * 10 + i), i);
    });
  }
  for (auto& th : threads) th.join();
  auto key = store.open(RegRoot::LocalMachine, "Software\\ZEB\\T");
  for (int n = 0; n < 40; ++n) EXPECT_EQ(key->readDword("v" + std::to_string(n)), uint32_t(n % 10)) << n;
}

TEST(RegistryStore, UnwritableStoreFailsCleanly) {
  RegistryStore store("/proc/no-such/registry.reg");
  EXPECT_FALSE(store.create(RegRoot::LocalMachine, "Software\\ZEB"));
  EXPECT_FALSE(store.open(RegRoot::LocalMachine, "Software\\ZEB"));
}

// On a full disk a change fails and the store stays whole, with nothing beside it.
TEST(RegistryStore, AFullDiskLeavesTheStoreAsItWas) {
  const fs::path folder = adtest::testDir() / "full";
  adtest::FullDisk disk(folder, 1 << 20);
  RegistryStore store((folder / "registry.reg").string());
  auto key = store.create(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->writeDword("TIMES", 2));
  const std::string before = adtest::readFile(folder / "registry.reg");
  disk.leave(0);
  SCOPED_TRACE(disk.how());
  EXPECT_FALSE(key->writeDword("TIMES", 0));
  EXPECT_FALSE(key->writeString("Owner", std::string(5000, 'x')));
  EXPECT_EQ(adtest::readFile(folder / "registry.reg"), before);
  EXPECT_EQ(key->readDword("TIMES"), 2u);
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock" || name == ".filler") << name;
  }
}

TEST(RegistryStore, AStoreThatCannotBeReadOrWrittenIsLeftAsItWas) {
  RegistryStore store(storeFile());
  auto key = store.create(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->writeDword("TIMES", 2));
  ASSERT_TRUE(key->writeString("Owner", "x"));
  const std::string before = adtest::readFile(storeFile());
  fs::path folder = fs::path(storeFile()).parent_path();
  ::chmod(adtest::testDir().c_str(), 0755);

  // The file cannot be read, the folder can be written: a rewrite from an empty
  // store would replace every key.
  ::chmod(folder.c_str(), 0777);
  ::chmod(storeFile().c_str(), 0);
  EXPECT_TRUE(adtest::asOtherUser([&] {
    return !key->writeDword("TIMES", 0) && !key->deleteValue("Owner") &&
           !store.create(RegRoot::LocalMachine, "Software\\ZEB\\Other") && !store.open(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  }));
  ::chmod(storeFile().c_str(), 0644);
  EXPECT_EQ(adtest::readFile(storeFile()), before);

  // The file can be read, the folder cannot be written: nothing reports success.
  ::chmod(folder.c_str(), 0555);
  EXPECT_TRUE(adtest::asOtherUser([&] {
    return key->readDword("TIMES") == 2u && !key->writeDword("TIMES", 0) && !key->deleteValue("Owner") &&
           key->readString("Owner") == "x";
  }));
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(adtest::readFile(storeFile()), before);
}
