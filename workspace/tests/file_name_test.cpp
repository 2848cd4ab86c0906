#include "workspace/file_name.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"

using namespace workspace;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

struct SplitCase {
  const char* path;
  const char* ext;
  const char* base;
  const char* removeExt;
  const char* dir;
};

TEST(FileName, SplitsPaths) {
  const SplitCase cases[] = {
      {"/pic/photo.jpeg", "jpeg", "photo", "/pic/photo", "/pic"},
      {"/pic.old/file", "", "file", "/pic.old/file", "/pic.old"},
      {"/a/b.c.d", "d", "b", "/a/b", "/a"},
      {"/a/.txt", "txt", "", "", "/a"},
      {"/a/readme", "", "readme", "/a/readme", "/a"},
      {"file.bmp", "bmp", "file", "file", ""},
      {"", "", "", "", ""},
      // A dot in a folder name is never the extension's.
      {"/a.q/xy", "", "xy", "/a.q/xy", "/a.q"},
      {"/x/photo.jpeg1", "", "photo", "/x/photo", "/x"},
      {"/x/my.album.txt", "txt", "my", "/x/my", "/x"},
      {"/x/name.", "", "name", "/x/name", "/x"},
      {"/dir/", "", "", "/dir/", "/dir"},
      {"/top", "", "top", "/top", ""},
      {"/写真/旅行.jpg", "jpg", "旅行", "/写真/旅行", "/写真"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    FileName f(c.path);
    EXPECT_EQ(f.GetExt(), c.ext);
    EXPECT_EQ(f.GetBaseName(), c.base);
    EXPECT_EQ(f.RemoveExt(), c.removeExt);
    EXPECT_EQ(f.GetDir(), c.dir);
    EXPECT_EQ(f.GetDrive(), "");
    EXPECT_EQ(f.Get(), c.path);  // no question changes the path
  }
}

TEST(FileName, FullPathIsAbsolute) {
  std::string cwd = fs::current_path().string();
  EXPECT_EQ(FileName("").GetFullPath(), "");
  EXPECT_EQ(FileName("/a/b").GetFullPath(), "/a/b");
  EXPECT_EQ(FileName("a/b").GetFullPath(), cwd + "/a/b");
}

struct FreeNameCase {
  const char* pattern;
  uint32_t start;
  std::vector<std::string> files, folders, danglingLinks;
  const char* expected;  // relative to the test folder; "" for none
};

TEST(FileName, NextFreeNameSkipsEveryTakenName) {
  const FreeNameCase cases[] = {
      {"ALBUM000.qla", 1, {}, {}, {}, "ALBUM001.qla"},
      {"ALBUM000.qla", 1, {"ALBUM001.qla"}, {}, {}, "ALBUM002.qla"},
      {"ALBUM000.qla", 1, {}, {"ALBUM001.qla"}, {}, "ALBUM002.qla"},
      {"ALBUM000.qla", 1, {}, {}, {"ALBUM001.qla"}, "ALBUM002.qla"},
      {"IMAGE000", 1, {"IMAGE001"}, {}, {}, "IMAGE002"},
      {"zbmt0000.dvf", 5, {}, {}, {}, "zbmt0005.dvf"},
      {"MOVIE000.AVI", 1, {"movie001.avi"}, {}, {}, "MOVIE001.AVI"},
      {"album.qla", 1, {}, {}, {}, ""},
      {"IMG123456789.jpg", 1, {}, {}, {}, ""},
      {"P0.x", 1, {"P1.x", "P2.x", "P3.x", "P4.x", "P5.x", "P6.x", "P7.x", "P8.x"}, {"P9.x"}, {}, ""},
      {"P0.x", 10, {}, {}, {}, ""},
      {"P0.x", 0, {}, {}, {}, "P0.x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    fs::path dir = adtest::testDir() / "out";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& f : c.files) adtest::writeFile(dir / f, "x");
    for (const auto& f : c.folders) fs::create_directory(dir / f);
    for (const auto& f : c.danglingLinks) fs::create_symlink(dir / "nowhere", dir / f);
    std::string expected = *c.expected ? (dir / c.expected).string() : "";
    EXPECT_EQ(FileName((dir / c.pattern).string()).NextFreeName(c.start), expected);
  }
}

TEST(FileName, NextFreeNameOfABareNameStaysInTheCurrentFolder) {
  adtest::writeFile("ALBUM001.qla", "x");  // the test folder is the current folder
  EXPECT_EQ(FileName("ALBUM000.qla").NextFreeName(1), "ALBUM002.qla");
}

struct CheckDirsCase {
  const char* path;  // below the test folder
  bool create;
  bool result;
  std::vector<std::string> foldersAfter, missingAfter;
};

TEST(FileName, CheckDirsTestsAndMakesFoldersFromTheTop) {
  const CheckDirsCase cases[] = {
      {"x/y/", true, true, {"x", "x/y"}, {}},
      {"x/y", true, true, {"x"}, {"x/y"}},
      {"x/y/", false, false, {}, {"x"}},
      {"f/y/", true, false, {}, {"f/y"}},  // f is a file
      {"d/y/", false, true, {"d/y"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    fs::path base = adtest::testDir() / "t";
    fs::remove_all(base);
    fs::create_directories(base / "d/y");
    adtest::writeFile(base / "f", "x");
    EXPECT_EQ(FileName((base / c.path).string()).CheckDirs(c.create), c.result);
    for (const auto& d : c.foldersAfter) EXPECT_TRUE(fs::is_directory(base / d)) << d;
    for (const auto& d : c.missingAfter) EXPECT_FALSE(fs::is_directory(base / d)) << d;
  }
}

TEST(FileHelpers, AnswerForFilesFoldersAndMissingPaths) {
  fs::path file = adtest::testDir() / "a.bin";
  fs::path folder = adtest::testDir() / "folder";
  fs::path missing = adtest::testDir() / "missing";
  adtest::writeFile(file, "12345");
  fs::create_directory(folder);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  const FileTime fileTime = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;

  const fs::path dangling = adtest::testDir() / "dangling", toFolder = adtest::testDir() / "to-folder";
  fs::create_symlink(missing, dangling);
  fs::create_symlink(folder, toFolder);

  struct Case {
    fs::path path;
    bool exists;
    bool occupied;  // a save there asks first
    std::optional<uint64_t> size;
    std::optional<FileTime> time;
    std::string existingDir;
  } cases[] = {
      {file, true, true, 5, fileTime, ""},
      {folder, false, false, {}, {}, folder.string()},
      {missing, false, false, {}, {}, ""},
      {dangling, false, true, {}, {}, ""},
      {toFolder, false, true, {}, {}, toFolder.string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    FileName f(c.path.string());
    EXPECT_EQ(f.Exists(), c.exists);
    EXPECT_EQ(f.Occupied(), c.occupied);
    uint64_t size = 77;
    EXPECT_EQ(f.GetSize(size), c.size.has_value());
    EXPECT_EQ(size, c.size.value_or(77));
    FileTime time = -1;
    EXPECT_EQ(GetFileWriteTime(c.path.string(), time), c.time.has_value());
    EXPECT_EQ(time, c.time.value_or(-1));
    EXPECT_EQ(GetExistingDir(c.path.string()), c.existingDir);
  }
}

TEST(FileHelpers, SizesBeyond4GiBAreWhole) {
  fs::path file = adtest::testDir() / "big.bin";
  adtest::writeFile(file, "");
  const uint64_t big = (uint64_t{5} << 30) + 3;
  fs::resize_file(file, big);  // sparse: takes no space
  uint64_t size = 0;
  ASSERT_TRUE(FileName(file.string()).GetSize(size));
  EXPECT_EQ(size, big);
}

// A clock whose sleeps advance it at once and run an action when time passes a mark.
class ScriptClock final : public platform::Clock {
 public:
  time_point now() const override { return time_point(duration(now_.load())); }
  void sleepFor(duration d) override {
    now_ += d.count();
    if (action_ && now() >= time_point(mark_)) std::exchange(action_, nullptr)();
  }
  void at(milliseconds mark, std::function<void()> action) {
    mark_ = mark;
    action_ = std::move(action);
  }
  milliseconds elapsed() const {
    return std::chrono::duration_cast<milliseconds>(now().time_since_epoch());
  }

 private:
  std::atomic<duration::rep> now_{0};
  duration mark_{};
  std::function<void()> action_;
};

TEST(FileHelpers, FileWaitsEndWhenTheStateHoldsOrAfterTheLimit) {
  int argc = 0;
  QCoreApplication app(argc, nullptr);
  const std::string path = (adtest::testDir() / "temp.dvf").string();
  struct Case {
    const char* name;
    bool present;               // at the start
    std::optional<int> flipAt;  // ms after which the file appears or goes
    bool waitForPresence;
    bool result;
    int minMs, maxMs;           // elapsed virtual time
  } cases[] = {
      {"already there", true, {}, true, true, 0, 0},
      {"appears after 3 s", false, 3000, true, true, 3000, 3020},
      {"never appears", false, {}, true, false, 10000, 10040},
      {"already gone", false, {}, false, true, 0, 0},
      {"goes after 3 s", true, 3000, false, true, 3000, 3020},
      {"never goes", true, {}, false, false, 10000, 10040},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path);
    if (c.present) adtest::writeFile(path, "x");
    ScriptClock clock;
    if (c.flipAt) {
      clock.at(milliseconds(*c.flipAt), [&] {
        if (c.present) fs::remove(path);
        else adtest::writeFile(path, "x");
      });
    }
    bool result = c.waitForPresence ? WaitFileExists(path, clock) : WaitFileGone(path, clock);
    EXPECT_EQ(result, c.result);
    EXPECT_GE(clock.elapsed().count(), c.minMs);
    EXPECT_LE(clock.elapsed().count(), c.maxMs);
  }
}

TEST(FileHelpers, WaitPumpsEventsOnlyOnTheGuiThread) {
  int argc = 0;
  QCoreApplication app(argc, nullptr);
  struct Counter : QObject {
    int seen = 0;
    bool event(QEvent*) override { return ++seen; }
  } counter;
  const auto post = [&] { QCoreApplication::postEvent(&counter, new QEvent(QEvent::User)); };

  // Sleeps of 10 ms while more than 10 ms are asked for; none otherwise.
  for (uint32_t ms : {0u, 30u}) {
    SCOPED_TRACE(ms);
    counter.seen = 0;
    post();
    ScriptClock clock;
    Wait(ms, clock);
    EXPECT_EQ(clock.elapsed().count(), ms);
    EXPECT_EQ(counter.seen, 1);
  }
  // A short wait does not sleep: it keeps processing events until the time is up.
  counter.seen = 0;
  post();
  auto start = std::chrono::steady_clock::now();
  Wait(5);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(5));
  EXPECT_EQ(counter.seen, 1);

  // A worker thread only sleeps: the GUI thread's event stays pending.
  counter.seen = 0;
  post();
  ScriptClock clock;
  std::thread([&] { Wait(25, clock); }).join();
  EXPECT_EQ(clock.elapsed().count(), 25);
  EXPECT_EQ(counter.seen, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.seen, 1);
}

}  // namespace
