// Results, status codes, progress calls and cancels of the four exports; files and
// memory left behind by every failure.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

fs::path dir() { return adtest::testDir(); }

// Temporary files a save left in the test's folder.
int strayTemporaries() {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir())) n += e.path().filename().string().find(".tmp") != std::string::npos;
  return n;
}

// A 24-bit bitmap whose header claims other things than the block holds.
QmHandle dibWithHeader(uint16_t bits, int32_t w, int32_t h, size_t blockBytes) {
  QmHandle dib = QmGlobalAlloc(blockBytes);
  auto* p = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(dib));
  p->biSize = 40;
  p->biWidth = w;
  p->biHeight = h;
  p->biPlanes = 1;
  p->biBitCount = bits;
  QmGlobalUnlock(dib);
  return dib;
}

std::string savedJpeg(int w, int h, int progressive = 0) {
  QmHandle dib = makeDib(makePicture(w, h, 3));
  fs::path f = dir() / "made.jpg";
  EXPECT_EQ(_QMJpegFileSave(f.c_str(), dib, progressive, 80, 0, nullptr, 1, 0, 0, 0), 1);
  QmGlobalFree(dib);
  std::string bytes = readFile(f);
  fs::remove(f);
  return bytes;
}

// A file whose header declares a picture of the given size.
std::string jpegDeclaring(uint16_t w, uint16_t h, int progressive = 0) {
  std::string j = savedJpeg(8, 8, progressive);
  size_t sof = j.find(progressive ? "\xFF\xC2" : "\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  j[sof + 5] = static_cast<char>(h >> 8), j[sof + 6] = static_cast<char>(h);
  j[sof + 7] = static_cast<char>(w >> 8), j[sof + 8] = static_cast<char>(w);
  return j;
}

// Runs to the end or cancels at a progress call, with the module's own display
// (context 0) or the caller's context.
struct CancelCase {
  const char* name;
  intptr_t context;
  int cancelAt;
};
const CancelCase kCancelCases[] = {
    {"own display, to the end", 0, 0},  {"caller's context, to the end", 77, 0},
    {"cancel at the first row", 77, 1}, {"cancel at a middle row", 0, 6},
    {"cancel at the last row", 77, 12},
};

// One progress call a row, (rows done + 1, height, 0, 100, context), up to the cancel;
// the module's own display opened and closed only without a context.
void expectRowCalls(const RecordingHook& hook, const CancelCase& c, int height) {
  int rows = c.cancelAt ? c.cancelAt : height;
  ASSERT_EQ(hook.calls.size(), size_t(rows));
  for (int i = 0; i < rows; ++i) {
    EXPECT_EQ(hook.calls[i].current, i + 2);
    EXPECT_EQ(hook.calls[i].total, height);
    EXPECT_EQ(hook.calls[i].low, 0);
    EXPECT_EQ(hook.calls[i].high, 100);
    EXPECT_EQ(hook.calls[i].context, c.context);
  }
  EXPECT_EQ(hook.opens, c.context ? 0 : 1);
  EXPECT_EQ(hook.closes, hook.opens);
}

}  // namespace

TEST(JpegExports, ExactlyTheFourNamesLeaveTheLibraryUnderItsVersion) {
  AD_REQUIRE_TOOL("nm");
  std::string lib = std::string(AD_BIN_DIR) + "/libQm6Jpeg.so";
  std::string out;
  ASSERT_EQ(adtest::runProgram({"nm", "-D", "--defined-only", lib}, &out), 0);
  // Each export carries the version node of the module's first interface.
  std::vector<std::string> names;
  std::istringstream lines(out);
  std::string addr, kind, name;
  while (lines >> addr >> kind >> name) {
    if (kind == "A" && name == "QM6JPEG_1") continue;  // the node itself
    const size_t at = name.find("@@");
    EXPECT_EQ(at == std::string::npos ? "" : name.substr(at + 2), "QM6JPEG_1") << name;
    names.push_back(name.substr(0, at));
  }
  std::vector<std::string> want;
  for (const auto& e : qm6jpeg::kExports) want.push_back(e.name);
  EXPECT_EQ(names, want);
  for (size_t i = 0; i < std::size(qm6jpeg::kExports); ++i) EXPECT_EQ(qm6jpeg::kExports[i].ordinal, int(i) + 1);

  // Loaded by its installed name as the toolkit's file layer loads it, along the run path.
  void* h = dlopen("libQm6Jpeg.so.1", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  for (const auto& e : qm6jpeg::kExports) EXPECT_NE(dlsym(h, e.name), nullptr) << e.name;
  dlclose(h);
}

// What each export gives for a NULL argument, as its header says.
TEST(JpegExports, NullArguments) {
  const fs::path file = dir() / "picture.jpg";
  writeFile(file, savedJpeg(12, 8));

  // Without a record the description only checks the file.
  SetErrorStatus(QM_STATUS_FAILED);
  EXPECT_EQ(_QMJpegFileInfo(file.c_str(), nullptr), 1);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
  writeFile(dir() / "not.jpg", "not a JPEG file");
  EXPECT_EQ(_QMJpegFileInfo((dir() / "not.jpg").c_str(), nullptr), 0);

  JPEGFILEINFO info;
  std::memset(&info, 0x5A, sizeof info);
  const JPEGFILEINFO before = info;
  EXPECT_EQ(_QMJpegFileInfo(nullptr, &info), 0);
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0) << "a failed description leaves the record";

  SetErrorStatus(QM_STATUS_OK);
  EXPECT_EQ(_QMJpegExifInfo(file.c_str(), nullptr), 0);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_FAILED);
  EXIFINFO exif;
  std::memset(&exif, 0x5A, sizeof exif);
  EXPECT_EQ(_QMJpegExifInfo(nullptr, &exif), 0);
  EXPECT_EQ(exif.Ifd0.Orientation, 0) << "the record is cleared first";

  EXPECT_EQ(_QMJpegFileLoad(nullptr, 1, 0, 0, 0), 0u);
  const QmHandle dib = makeDib(makePicture(12, 8, 3));
  EXPECT_EQ(_QMJpegFileSave(nullptr, dib, 0, 75, 0, nullptr, 1, 0, 0, 0), 0);
  EXPECT_EQ(_QMJpegFileSave((dir() / "none.jpg").c_str(), 0, 0, 75, 0, nullptr, 1, 0, 0, 0), 0);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_BAD_KIND);
  EXPECT_FALSE(fs::exists(dir() / "none.jpg"));
  QmGlobalFree(dib);
}

TEST(JpegSaveStatus, FailureTable) {
  Picture pic = makePicture(20, 10, 3);
  std::vector<uint32_t> colourPalette(256, 0x00FF0000);
  Picture indexes = makePicture(20, 10, 1);
  struct Case {
    const char* name;
    std::function<QmHandle()> dib;
    std::string path = "out.jpg";
    bool dialogFails = false;
    int32_t status;
  };
  std::vector<Case> cases = {
      {"8-bit colour palette", [&] { return makeDib(indexes, 0, 0, colourPalette); }, "out.jpg", false,
       QM_STATUS_BAD_KIND},
      {"1-bit", [] { return dibWithHeader(1, 8, 8, 40 + 8 + 32); }, "out.jpg", false, QM_STATUS_BAD_KIND},
      {"4-bit", [] { return dibWithHeader(4, 8, 8, 40 + 64 + 32); }, "out.jpg", false, QM_STATUS_BAD_KIND},
      {"16-bit", [] { return dibWithHeader(16, 8, 8, 40 + 128); }, "out.jpg", false, QM_STATUS_BAD_KIND},
      {"32-bit", [] { return dibWithHeader(32, 8, 8, 40 + 256); }, "out.jpg", false, QM_STATUS_BAD_KIND},
      {"no bitmap", [] { return QmHandle{0}; }, "out.jpg", false, QM_STATUS_BAD_KIND},
      {"progress display cannot open", [&] { return makeDib(pic); }, "out.jpg", true, QM_STATUS_NO_DIALOG},
      {"folder missing", [&] { return makeDib(pic); }, "no/such/folder/out.jpg", false, QM_STATUS_FAILED},
      {"rows beyond the block", [] { return dibWithHeader(24, 100, 100, 40 + 300 * 99); }, "out.jpg", false,
       QM_STATUS_SAVE_FAILED},
      {"zero height", [] { return dibWithHeader(24, 8, 0, 40 + 96); }, "out.jpg", false, QM_STATUS_SAVE_FAILED},
      {"top-down rows", [] { return dibWithHeader(24, 8, -8, 40 + 8 * 24); }, "out.jpg", false,
       QM_STATUS_SAVE_FAILED},
      {"wider than the library takes", [] { return dibWithHeader(24, 70000, 1, 40 + 210000); }, "out.jpg", false,
       QM_STATUS_SAVE_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A file is already at the target: no failure may touch it.
    fs::path target = dir() / c.path;
    if (fs::exists(target.parent_path())) writeFile(target, "old picture");
    RecordingHook hook;
    hook.openFails = c.dialogFails;
    QmHandle dib = c.dib();
    uint32_t blocks = QmGlobalCount();
    EXPECT_EQ(_QMJpegFileSave(target.c_str(), dib, 0, 75, 0, nullptr, 0, 1, 2, 3), 0);
    EXPECT_EQ(GetErrorStatus(), c.status);
    EXPECT_EQ(QmGlobalCount(), blocks);
    EXPECT_EQ(hook.opens, hook.closes + (c.dialogFails ? 1 : 0)) << "an opened display is closed";
    if (fs::exists(target.parent_path())) {
      EXPECT_EQ(readFile(target), "old picture");
      EXPECT_EQ(strayTemporaries(), 0);
    }
    if (dib) {
      EXPECT_EQ(QmGlobalUnlock(dib), 0) << "the bitmap comes back unlocked";
      QmGlobalFree(dib);
    }
  }
}

TEST(JpegSaveStatus, ProgressAndCancel) {
  Picture pic = makePicture(30, 12, 3);
  QmHandle dib = makeDib(pic);
  fs::path target = dir() / "out.jpg";
  for (const CancelCase& c : kCancelCases) {
    SCOPED_TRACE(c.name);
    writeFile(target, "old picture");
    RecordingHook hook;
    hook.cancelAtCall = c.cancelAt;
    QmBool ok = _QMJpegFileSave(target.c_str(), dib, 0, 75, 0, "note", c.context, 4, 5, 6);
    expectRowCalls(hook, c, 12);
    if (hook.opens) {
      EXPECT_EQ(hook.openValues, (std::vector<int32_t>{4, 5, 6}));
    }
    if (c.cancelAt) {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(GetErrorStatus(), QM_STATUS_SAVE_FAILED);
      EXPECT_EQ(readFile(target), "old picture");
    } else {
      EXPECT_EQ(ok, 1);
      EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
      EXPECT_EQ(readFile(target).substr(0, 2), "\xFF\xD8");
    }
    EXPECT_EQ(strayTemporaries(), 0);
  }
  QmGlobalFree(dib);
}

TEST(JpegSaveStatus, ReplacedFileKeepsItsPermissions) {
  QmHandle dib = makeDib(makePicture(8, 8, 3));
  fs::path target = dir() / "out.jpg";
  writeFile(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_EQ(_QMJpegFileSave(target.c_str(), dib, 0, 75, 0, nullptr, 1, 0, 0, 0), 1);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  QmGlobalFree(dib);
}

TEST(JpegSaveStatus, TargetsTheSaveMayAndMayNotReplace) {
  QmHandle dib = makeDib(makePicture(8, 8, 3));
  auto save = [&](const fs::path& target) { return _QMJpegFileSave(target.c_str(), dib, 0, 75, 0, nullptr, 1, 0, 0, 0); };

  // The longest name the system takes: 85 three-byte characters.
  std::string name;
  for (int i = 0; i < 85; ++i) name += "\xE3\x81\x82";
  ASSERT_EQ(name.size(), 255u);
  EXPECT_EQ(save(dir() / name), 1);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
  EXPECT_EQ(readFile(dir() / name).substr(0, 2), "\xFF\xD8");

  // A read-only file stays as it is, whoever runs the save.
  const fs::path kept = dir() / "kept.jpg";
  writeFile(kept, "old picture");
  ::chmod(kept.c_str(), 0444);
  EXPECT_EQ(save(kept), 0);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_FAILED);
  EXPECT_EQ(readFile(kept), "old picture");

  // A link at the target is replaced; the file it names is not written.
  const fs::path elsewhere = dir() / "elsewhere.jpg";
  writeFile(elsewhere, "not ours");
  fs::create_symlink(elsewhere, dir() / "linked.jpg");
  EXPECT_EQ(save(dir() / "linked.jpg"), 1);
  EXPECT_FALSE(fs::is_symlink(dir() / "linked.jpg"));
  EXPECT_EQ(readFile(dir() / "linked.jpg").substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(readFile(elsewhere), "not ours");
  EXPECT_EQ(strayTemporaries(), 0);
  QmGlobalFree(dib);
}

TEST(JpegLoadStatus, FailureTable) {
  std::string good = savedJpeg(40, 24);
  std::string progressive = savedJpeg(40, 24, 1);
  // A progressive file whose second scan asks for an impossible progression.
  std::string badScan = progressive;
  size_t sos = badScan.find("\xFF\xDA", badScan.find("\xFF\xDA") + 2);
  badScan[sos + 4 + 1 + 2 * static_cast<uint8_t>(badScan[sos + 4])] = 63;  // Ss
  badScan[sos + 4 + 2 + 2 * static_cast<uint8_t>(badScan[sos + 4])] = 1;   // Se < Ss
  struct Case {
    const char* name;
    std::string bytes;  // empty with missing: no file
    bool missing = false;
    bool dialogFails = false;
    int32_t status;
    bool opens;
    bool infoOk;  // the information exports read the header
  } cases[] = {
      {"missing", "", true, false, QM_STATUS_FAILED, false, false},
      {"empty", "", false, false, QM_STATUS_FAILED, false, false},
      {"not starting with FF D8", "\xFF\xD9" + good.substr(2), false, false, QM_STATUS_FAILED, false, false},
      {"header cut off", good.substr(0, 30), false, false, QM_STATUS_LOAD_FAILED, false, false},
      {"progress display cannot open", good, false, true, QM_STATUS_NO_DIALOG, true, true},
      {"bitmap too large to allocate", jpegDeclaring(65000, 65000), false, false, QM_STATUS_NO_MEMORY, true, true},
      {"progressive, too large", jpegDeclaring(65000, 65000, 1), false, false, QM_STATUS_NO_MEMORY, true, true},
      {"broken scan", badScan, false, false, QM_STATUS_LOAD_FAILED, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = dir() / "in.jpg";
    fs::remove(file);
    if (!c.missing) writeFile(file, c.bytes);
    RecordingHook hook;
    hook.openFails = c.dialogFails;
    uint32_t blocks = QmGlobalCount();
    EXPECT_EQ(_QMJpegFileLoad(file.c_str(), 0, 0, 0, 0), 0u);
    EXPECT_EQ(GetErrorStatus(), c.status);
    EXPECT_EQ(hook.opens > 0, c.opens);
    EXPECT_EQ(hook.closes, c.dialogFails ? 0 : hook.opens);
    EXPECT_EQ(QmGlobalCount(), blocks);

    // The information exports share the gate.
    JPEGFILEINFO info{};
    EXIFINFO exif;
    EXPECT_EQ(_QMJpegFileInfo(file.c_str(), &info), c.infoOk ? 1 : 0);
    EXPECT_EQ(_QMJpegExifInfo(file.c_str(), &exif), c.infoOk ? 1 : 0);
    EXPECT_EQ(GetErrorStatus(), c.infoOk ? QM_STATUS_OK : c.status);
  }
}

// Read calls this thread has made so far (the kernel's count, so every layer shows).
long readCalls() {
  std::ifstream io("/proc/thread-self/io");
  for (std::string key; io >> key;) {
    long value = 0;
    io >> value;
    if (key == "syscr:") return value;
  }
  return -1;
}

TEST(JpegLoadStatus, FileCutInsideASegmentIsNotReadPastItsEnd) {
  // Each file ends inside a segment that declares 65535 bytes: the rest of the segment
  // comes from the end marker the data source supplies, without asking the file again.
  const std::string start("\xFF\xD8", 2);
  const std::string cases[] = {
      start + std::string("\xFF\xE1\xFF\xFF" "Exif\0\0" "II*\0\x08\0\0\0", 18) + std::string(40, '\0'),
      start + std::string("\xFF\xFE\xFF\xFF", 4) + "a comment cut short",
      start + std::string("\xFF\xE2\xFF\xFF", 4) + std::string(30, 'x'),
  };
  for (const std::string& bytes : cases) {
    fs::path file = dir() / "cut.jpg";
    writeFile(file, bytes);
    JPEGFILEINFO info{};
    EXIFINFO exif;
    const long before = readCalls();
    ASSERT_GE(before, 0);
    EXPECT_EQ(_QMJpegFileInfo(file.c_str(), &info), 0);
    EXPECT_EQ(_QMJpegExifInfo(file.c_str(), &exif), 0);
    EXPECT_EQ(_QMJpegFileLoad(file.c_str(), 0, 0, 0, 77), 0u);
    // Three opens of a small file: a few reads each, not one a pair of bytes.
    EXPECT_LE(readCalls() - before, 16) << bytes.size() << " bytes";
  }
}

TEST(JpegLoadStatus, ProgressAndCancel) {
  fs::path file = dir() / "in.jpg";
  writeFile(file, savedJpeg(30, 12));
  for (const CancelCase& c : kCancelCases) {
    SCOPED_TRACE(c.name);
    RecordingHook hook;
    hook.cancelAtCall = c.cancelAt;
    uint32_t blocks = QmGlobalCount();
    QmHandle dib = _QMJpegFileLoad(file.c_str(), c.context, 7, 8, 9);
    expectRowCalls(hook, c, 12);
    if (hook.opens) {
      EXPECT_EQ(hook.openValues, (std::vector<int32_t>{7, 8, 9}));
    }
    if (c.cancelAt) {
      EXPECT_EQ(dib, 0u);
      EXPECT_EQ(GetErrorStatus(), QM_STATUS_LOAD_FAILED);
      EXPECT_EQ(QmGlobalCount(), blocks) << "the half-made bitmap is freed";
    } else {
      ASSERT_NE(dib, 0u);
      EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
      EXPECT_EQ(QmGlobalUnlock(dib), 0) << "returned unlocked";
      QmGlobalFree(dib);
    }
  }
}
