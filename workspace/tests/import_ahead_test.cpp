// Lists of files dropped on the main window with the pictures to come decoded ahead on
// worker threads, against the same drops with the look-ahead off: the same album, and a
// stop, the window's events and the threads, memory and work files as without it.
#include <QCoreApplication>
#include <QImage>
#include <QTimer>
#include <chrono>
#include <thread>

#include "engine_fixture.h"
#include "hostile.h"
#include "main_window_fixture.h"
#include "platform/single_instance.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/import_ahead.h"

namespace {

// What the album holds for one picture, files included.
struct Stored {
  FlameInfo record;
  std::string copy, thumbnail;
  bool operator==(const Stored&) const = default;
};

// The look-ahead's workers alive in this process (the toolkit of the windows keeps
// threads of its own).
size_t workers() {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator("/proc/self/task")) {
    if (adtest::readFile(e.path() / "comm") == std::string(ImportAhead::kWorkerName) + "\n") ++n;
  }
  return n;
}

// The files in the work folder, its lock file aside.
std::set<std::string> workFiles() {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(platform::workDir())) names.insert(e.path().filename().string());
  names.erase(fs::path(platform::SingleInstanceLock::defaultPath()).filename().string());
  return names;
}

class ImportAheadTest : public MainWindow {
 protected:
  void SetUp() override { start(); }
  void TearDown() override { SetImportThreads(-1); }

  // A JPEG of the test picture drawn at w x h (grey when `grey`) with the toolkit's writer.
  std::string jpeg(const std::string& name, int w, int h, int progressive, int sampling, bool grey = false,
                   int seed = 0) {
    QmHandle pic = pictest::make(w, h, [&](int x, int y) {
      const auto v = static_cast<uint8_t>((x * 7 + y * 3 + seed * 40) ^ (x * y >> 4));
      const auto g = static_cast<uint8_t>(y * 255 / h), b = static_cast<uint8_t>(seed * 30);
      return grey ? pictest::Rgb{v, v, v} : pictest::Rgb{v, g, b};
    });
    const std::string path = (dir / name).string();
    EXPECT_NE(ImageFileSaveJpeg(path.c_str(), pic, progressive, 85, sampling, ""), 0);
    ImageFree(pic);
    return path;
  }

  // JPEGs of every kind the look-ahead decodes: reductions by 2, 4 and 8, 2x2, 2x1 and
  // 1x1 sampling, progressive, grey, odd sizes, portrait, and one too small to reduce.
  std::vector<std::string> jpegs(int count) {
    struct Kind {
      int w, h, progressive, sampling;
      bool grey;
    } kinds[] = {{640, 480, 0, 0, false}, {1701, 999, 0, 1, false}, {801, 1203, 1, 0, false},
                 {1001, 751, 0, 2, true}, {430, 320, 1, 1, false},  {120, 90, 0, 0, false}};
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      const Kind& k = kinds[i % std::size(kinds)];
      char name[16];
      std::snprintf(name, sizeof name, "p%02d.jpg", i);
      files.push_back(jpeg(name, k.w, k.h, k.progressive, k.sampling, k.grey, i));
    }
    return files;
  }

  // Drops the files on the window, as a file manager does.
  void drop(const std::vector<std::string>& files) {
    DropFiles = files;
    platform::postMessage(frmMain, platform::WM_INSERT_FILES, -1, static_cast<platform::LPARAM>(files.size()));
    QCoreApplication::processEvents();
  }

  std::vector<Stored> stored() const {
    std::vector<Stored> all;
    for (int i = 0; i < album().Count(); ++i) {
      const FlameInfo& r = *album().Record(i);
      all.push_back({r, adtest::readFile(r.workPath), adtest::readFile(r.thumbPath)});
    }
    return all;
  }

  void emptyAlbum() {
    frmMain->Modified = 0;  // no offer to save it
    action("mnuNew")->trigger();
    ASSERT_EQ(album().Count(), 0);
  }

  fs::path dir = [] {
    fs::create_directories(adtest::testDir() / "in");
    return adtest::testDir() / "in";
  }();
};

// Mixed kinds, a broken JPEG, a damaged one, a missing file and an album file among
// many JPEGs: the album is the same, record by record and byte by byte, in the same
// order, with the look-ahead on as with it off; and it was the look-ahead that decoded.
TEST_F(ImportAheadTest, SameAlbumAsWithoutLookAhead) {
  std::vector<std::string> files = jpegs(14);
  QImage png(64, 48, QImage::Format_RGB32);
  png.fill(adtest::colourOf(7));
  png.save(QString::fromStdString((dir / "q_png.png").string()), "PNG");
  files.push_back((dir / "q_png.png").string());
  files.push_back(adtest::writePicture(dir / "r_bmp.bmp", adtest::colourOf(3), 320, 240));
  adtest::writeFile(dir / "s_broken.jpg", std::string("\xFF\xD8\xFF\xE0 no picture follows", 22));
  files.push_back((dir / "s_broken.jpg").string());
  const std::string whole = adtest::readFile(files[1]);
  adtest::writeFile(dir / "t_cut.jpg", whole.substr(0, whole.size() / 2));  // decodes with its end missing
  files.push_back((dir / "t_cut.jpg").string());
  files.push_back((dir / "u_missing.jpg").string());
  const std::vector<std::string> inAlbum = {files[2], files[14], files[3], files[5], files[0]};
  ASSERT_TRUE(ImageOpe->SaveAlbum((dir / "v_album.qla").string(), inAlbum));
  files.push_back((dir / "v_album.qla").string());

  SetImportThreads(0);
  boxes.queue(platform::MsgAnswer::No);  // the album file adds to the album
  drop(files);
  const std::vector<Stored> alone = stored();
  ASSERT_EQ(alone.size(), 14u + 2 + 1 + 5) << "every picture but the broken and the missing one";
  emptyAlbum();

  SetImportThreads(3);
  const uint64_t taken = ImportAhead::PicturesTaken();
  const uint32_t blocks = QmGlobalCount();
  int reports = 0, busy = 0;
  frmMain->onMessage(platform::WM_IMAGE_INFO, [&](platform::WPARAM w, platform::LPARAM l) {
    busy = std::max(busy, static_cast<int>(workers()));
    // The first picture takes its time: the workers are ahead from then on.
    if (++reports == 1) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return frmMain->WMImageInfo(w, l);
  });
  boxes.queue(platform::MsgAnswer::No);
  drop(files);
  const std::vector<Stored> ahead = stored();
  ASSERT_EQ(ahead.size(), alone.size());
  for (size_t i = 0; i < alone.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ahead[i].record.width, alone[i].record.width);
    EXPECT_EQ(ahead[i].record.height, alone[i].record.height);
    EXPECT_EQ(ahead[i].record.type, alone[i].record.type);
    EXPECT_EQ(ahead[i].record.sourceSize, alone[i].record.sourceSize);
    // (An album file's pictures come from files written as they are read.)
    if (i < alone.size() - inAlbum.size()) {
      EXPECT_EQ(ahead[i].record.sourceTime, alone[i].record.sourceTime);
    }
    EXPECT_TRUE(ahead[i].copy == alone[i].copy);
    EXPECT_TRUE(ahead[i].thumbnail == alone[i].thumbnail) << "thumbnail of " << ahead[i].record.width << "x"
                                                          << ahead[i].record.height;
  }
  EXPECT_GT(ImportAhead::PicturesTaken() - taken, 0u);
  EXPECT_GE(busy, 3) << "the workers, seen while they work";
  EXPECT_EQ(workers(), 0u) << "no worker left";
  EXPECT_EQ(QmGlobalCount(), blocks) << "no picture left";
}

// Stop during a list of files and during an album file's pictures: the album keeps the
// pictures before the stop, whole and in order, and nothing else: no other work file,
// no thread, no picture in memory.
TEST_F(ImportAheadTest, StopKeepsAWholePrefixAndNothingElse) {
  const std::vector<std::string> files = jpegs(12);
  const std::string albumFile = (dir / "album.qla").string();
  ASSERT_TRUE(ImageOpe->SaveAlbum(albumFile, files));
  SetImportThreads(0);
  drop(files);
  const std::vector<Stored> all = stored();
  ASSERT_EQ(all.size(), files.size());
  emptyAlbum();

  SetImportThreads(3);
  for (const std::vector<std::string>& list : {files, std::vector<std::string>{albumFile}}) {
    SCOPED_TRACE(list.size() == 1 ? "album file" : "list of files");
    ImageOpe->DeleteFiles(platform::workDir() + "zbm*.*");
    const uint32_t blocks = QmGlobalCount();
    int reports = 0;
    frmMain->onMessage(platform::WM_IMAGE_INFO, [&](platform::WPARAM w, platform::LPARAM l) {
      const platform::LRESULT r = frmMain->WMImageInfo(w, l);
      if (++reports == 5) frmWait->AbortFlag = 1;  // Stop, pressed during the fifth picture
      return r;
    });
    drop(list);
    const std::vector<Stored> kept = stored();
    ASSERT_EQ(kept.size(), 5u);
    std::set<std::string> expected;
    for (size_t i = 0; i < kept.size(); ++i) {
      EXPECT_TRUE(kept[i].copy == all[i].copy) << i;
      EXPECT_TRUE(kept[i].thumbnail == all[i].thumbnail) << i;
      expected.insert(fs::path(kept[i].record.workPath).filename().string());
      expected.insert(fs::path(kept[i].record.thumbPath).filename().string());
    }
    // An album file's pictures pass through one file of the album reader's own.
    if (list.size() == 1) expected.insert("zbmt.jpg");
    EXPECT_EQ(workFiles(), expected);
    EXPECT_EQ(workers(), 0u);
    EXPECT_EQ(QmGlobalCount(), blocks);
    emptyAlbum();
  }
}

// The window goes on handling its events between one picture and the next, as without
// the look-ahead: a timer that runs whenever events are handled sees every count of
// pictures on the way.
TEST_F(ImportAheadTest, EventsRunBetweenPictures) {
  const std::vector<std::string> files = jpegs(10);
  SetImportThreads(3);
  std::set<int> seen;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] { seen.insert(album().Count()); });
  timer.start();
  drop(files);
  timer.stop();
  for (int n = 1; n < static_cast<int>(files.size()); ++n) EXPECT_TRUE(seen.count(n)) << "after picture " << n;
}

// Progressive pictures whose files hold them, each of whose decodings (even reduced, as
// a thumbnail) keeps the JPEG library's coefficients of the whole picture: the look-ahead
// counts its decodings under way against its cap. At 3000 x 3000 (54 MB each) two fit at
// once and the others wait their turn, so the look-ahead still makes pictures; at 6000 x
// 6000 (216 MB) one alone takes more than the cap and is left to the engine. Either way
// the album is the same and the memory stays within the cap and one decoding.
TEST_F(ImportAheadTest, DecodingsUnderWayCountAgainstTheCap) {
  struct Case {
    uint16_t side;
    bool madeAhead;
  } const cases[] = {{3000, true}, {6000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.side);
    // Full colour: a DC scan of 3 x (side / 8)^2 blocks of one bit each.
    const uint64_t blocks = uint64_t{3} * (c.side / 8) * (c.side / 8);
    const std::string bytes = pictest::tinyJpeg(
        {c.side, c.side, 3, 1, 1, pictest::TinyJpeg::Coding::Progressive, static_cast<size_t>(blocks / 8 + 1000)});
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) {
      files.push_back((dir / ("grey" + std::to_string(c.side) + "-" + std::to_string(i) + ".jpg")).string());
      adtest::writeFile(files.back(), bytes);
    }
    const uint64_t coefficients = blocks * 128;
    SetImportThreads(4);
    const uint64_t taken = ImportAhead::PicturesTaken();
    uint64_t rise = 0;
    {
      adtest::MemoryRise memory;
      drop(files);
      rise = memory.rise();
    }
    EXPECT_EQ(album().Count(), 8);
    if (c.madeAhead) {
      EXPECT_GT(ImportAhead::PicturesTaken() - taken, 0u) << "the look-ahead made none";
    } else {
      EXPECT_EQ(ImportAhead::PicturesTaken() - taken, 0u) << "a decoding larger than the cap was made ahead";
    }
    // The address sanitizer keeps freed blocks a while, so that they still count there.
#if defined(__SANITIZE_ADDRESS__)
    constexpr bool kFreedBlocksGoBack = false;
#else
    constexpr bool kFreedBlocksGoBack = true;
#endif
    if (kFreedBlocksGoBack) {
      EXPECT_LT(rise, coefficients + ImportAhead::kHeldBytes + (uint64_t{64} << 20)) << "MiB: " << (rise >> 20);
    }
    EXPECT_EQ(workers(), 0u);
    emptyAlbum();
  }
}

// An album file of eight pictures whose heads declare 26000 x 26000 pixels each, in 784
// bytes: none is added, the album is named in the message, and reading it takes next to
// no memory, however many the look-ahead would decode at once.
TEST_F(ImportAheadTest, AnAlbumOfPicturesItsFilesCannotHoldIsRefused) {
  const std::string bytes =
      pictest::tinyJpeg({26000, 26000, 3, 1, 1, pictest::TinyJpeg::Coding::Progressive, 784});
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) {
    files.push_back((dir / ("big" + std::to_string(i) + ".jpg")).string());
    adtest::writeFile(files.back(), bytes);
  }
  const std::string albumFile = (dir / "eight.qla").string();
  ASSERT_TRUE(ImageOpe->SaveAlbum(albumFile, files));
  SetImportThreads(4);
  const uint32_t blocks = QmGlobalCount();
  uint64_t rise = 0;
  {
    adtest::MemoryRise memory;
    drop({albumFile});
    rise = memory.rise();
  }
  EXPECT_EQ(album().Count(), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_NOTADDED") + "\n" + albumFile});
  EXPECT_LT(rise, uint64_t{1} << 28) << "MiB: " << (rise >> 20);
  EXPECT_EQ(QmGlobalCount(), blocks);
}

}  // namespace
