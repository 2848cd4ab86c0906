// Album files: writing ".qla", reading ".qla" and ".wza" into the album.
#include <QApplication>
#include <filesystem>

#include "engine_fixture.h"
#include "platform/scripted.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;
using platform::MsgAnswer;

std::string le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

// A ".qla" header and entries as the album file lays them out.
std::string qlaHeader(uint32_t count, char byte3 = 0) { return std::string("QLA") + byte3 + le32(count) + std::string(8, '\0'); }
std::string qlaEntry(uint32_t index, const std::string& ext3, const std::string& data, int64_t sizeDelta = 0) {
  std::string ext = ext3;
  ext.resize(3, '\0');
  return le32(index) + le32(static_cast<uint32_t>(data.size() + sizeDelta)) + ext + std::string(5, '\0') + data;
}

std::string captureFixture(const std::string& name) {
  return std::string(AD_SOURCE_DIR) + "/tests/data/capture/" + name;
}

// A whole DV frame from a DVF frame file: each sequence gets back a first block, here
// filled with 0xAA so that a test sees it is left out again.
std::string dvFrameOf(const std::string& dvf) {
  const std::string bytes = adtest::readFile(dvf);
  std::string frame;
  for (size_t at = 32; at + 11920 <= bytes.size(); at += 11920) frame += std::string(80, '\xAA') + bytes.substr(at, 11920);
  return frame;
}

// A ".wza" of the given frames (each a DVF head and a whole frame), the first frame at `first`.
std::string wza(uint8_t count, const std::vector<std::string>& frames, uint16_t first = 64) {
  std::string s = "WZA";
  s.push_back('\0');
  s.push_back(static_cast<char>(count));
  s.push_back(static_cast<char>(first >> 8));
  s.push_back(static_cast<char>(first & 0xFF));
  s.resize(first, '\0');
  for (const std::string& f : frames) s += f;
  return s;
}
std::string wzaFrame(const std::string& dvf, char byte10 = 0) {
  std::string head = adtest::readFile(dvf).substr(0, 32);
  if (byte10) head[10] = byte10;
  return head + dvFrameOf(dvf);
}

// The main window's album as the readers see it: File/New empties it, and the last
// word on the modified flag is kept.
class Album : public FakeAlbum {
 public:
  void SetModified() override { flags.push_back('M'); }
  void ClearModified() override { flags.push_back('C'); }
  bool NewAlbum() override {
    ++newAlbum;
    count = 0;
    return true;
  }
  int newAlbum = 0;
  std::string flags;
};

class AlbumFiles : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    album.mainWindow = &mainWindow;
    engine = std::make_unique<workspace::CImageOpe>(&mainWindow, &album, settings, clock);
    enginePtr = engine.get();
    // The album grows as the real one does: a report for its end adds a picture.
    mainWindow.onMessage(platform::WM_IMAGE_INFO, [this](platform::WPARAM w, platform::LPARAM) {
      const workspace::CImageOpe& e = *engine;
      mainWindow.received.push_back(Reported{w, e.Width, e.Height, e.PictureType, e.TitleNumber, e.SourceSize,
                                             e.SourceWriteTime, e.WorkingPath, e.ThumbnailPath, e.TimeCode});
      EXPECT_EQ(static_cast<uint32_t>(w), album.count) << "every picture goes to the album's end";
      ++album.count;
      if (abortAfter && mainWindow.received.size() == abortAfter) wait->AbortFlag = 1;
      return platform::LRESULT{0};
    });
    lang.ParseCaptions("PrgLevel\tMSG_ADDALBUM\tAdd to the album?\tSTD\r\n");
    workspace::Lang = &lang;
    wait = std::make_unique<workspace::TfrmWait>(lang);
    workspace::frmWait = wait.get();
  }
  void TearDown() override {
    workspace::frmWait = nullptr;
    workspace::Lang = nullptr;
    EngineTest::TearDown();
  }
  std::string file(const std::string& name, const std::string& bytes) {
    const std::string path = (adtest::testDir() / name).string();
    adtest::writeFile(path, bytes);
    return path;
  }
  std::vector<std::string> workingCopies() const {
    std::vector<std::string> w;
    for (const Reported& r : mainWindow.received) w.push_back(r.working);
    return w;
  }

  Album album;
  workspace::MLang lang;
  std::unique_ptr<workspace::TfrmWait> wait;
  platform::ScriptedMessageBoxes boxes;
  size_t abortAfter = 0;
};

// Pictures of every kind saved as one album and read back: the file is the header, then
// each working copy behind its head, and the album read from it holds the same pictures
// in the same order, byte for byte.
TEST_F(AlbumFiles, RoundTripKeepsEveryPictureAndItsBytes) {
  const std::string sources[] = {
      pictest::fixture("bmp24.bmp"),        pictest::fixture("jpeg_baseline.jpg"), pictest::fixture("png_rgb.png"),
      pictest::fixture("tiff_lzw.tif"),     pictest::fixture("bmp8_rle8.bmp"),     captureFixture("ntsc_4x3.dvf"),
      captureFixture("grey_16x4.yuv"),      captureFixture("pal_16x9.dvf"),        pictest::fixture("bmp8.bmp")};
  for (const std::string& s : sources) ASSERT_TRUE(engine->LoadImage(s, album.count)) << s;
  const std::vector<Reported> first = mainWindow.received;
  const std::vector<std::string> copies = workingCopies();

  const std::string albumPath = (adtest::testDir() / "trip.qla").string();
  ASSERT_TRUE(engine->SaveAlbum(albumPath, copies));
  EXPECT_EQ(album.flags.back(), 'C') << "a saved album is no longer modified";
  std::string expected = qlaHeader(static_cast<uint32_t>(copies.size()));
  for (size_t i = 0; i < copies.size(); ++i) {
    expected += qlaEntry(static_cast<uint32_t>(i), workspace::FileName(copies[i]).GetExt(), adtest::readFile(copies[i]));
  }
  ASSERT_EQ(adtest::readFile(albumPath), expected);
  EXPECT_EQ(engine->GetImageCount(albumPath), copies.size());

  album.count = 0;
  album.flags.clear();
  mainWindow.received.clear();
  ASSERT_TRUE(engine->LoadImage(albumPath, 0));
  ASSERT_EQ(mainWindow.received.size(), first.size());
  EXPECT_TRUE(boxes.shown().empty()) << "no question for an empty album";
  for (size_t i = 0; i < first.size(); ++i) {
    const Reported& a = first[i];
    const Reported& b = mainWindow.received[i];
    EXPECT_NE(a.working, b.working) << "a working copy of its own";
    EXPECT_EQ(adtest::readFile(b.working), adtest::readFile(a.working)) << i;
    EXPECT_EQ(std::tie(a.width, a.height, a.type, a.timeCode), std::tie(b.width, b.height, b.type, b.timeCode)) << i;
  }
  EXPECT_EQ(album.flags.back(), 'C') << "an album read into an empty one is as its file has it";
}

TEST_F(AlbumFiles, EmptyAlbumIsTheHeaderAlone) {
  const std::string path = (adtest::testDir() / "empty.qla").string();
  ASSERT_TRUE(engine->SaveAlbum(path, {}));
  EXPECT_EQ(adtest::readFile(path), qlaHeader(0));
  EXPECT_TRUE(engine->ImportQla(path));
  EXPECT_TRUE(mainWindow.received.empty());
}

// A save that fails part way leaves the album that was there as it was, and no other file.
TEST_F(AlbumFiles, FailedSaveLeavesTheOldFile) {
  const std::string path = file("old.qla", "the album saved before");
  const std::string good = solidBmp("a.bmp", 4, 4, {1, 2, 3});
  ASSERT_FALSE(engine->SaveAlbum(path, {good, (adtest::testDir() / "gone.jpg").string()}));
  EXPECT_EQ(adtest::readFile(path), "the album saved before");
  EXPECT_EQ(album.flags.find('C'), std::string::npos);
  for (auto& e : fs::directory_iterator(adtest::testDir())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "old.qla" || name.rfind("old", 0) != 0) << "left behind: " << name;
  }
}

// An album saved before camera pictures were read upright holds them as the camera stored
// them: its working copies are the camera's files byte for byte and it keeps no sizes. So
// each picture, read anew when the album is opened, gets the upright size in its record
// and an upright thumbnail (the mark where ImageMagick's -auto-orient puts it), and its
// working copy is still the camera's file.
TEST_F(AlbumFiles, CameraPicturesOfAnAlbumSavedBeforeComeOutUpright) {
  for (const char* tool : {"/usr/bin/convert", "cjpeg", "exiftool"}) AD_REQUIRE_TOOL(tool);
  // Large enough for the thumbnails to be made from reduced readings.
  const pictest::Pixels stored = pictest::markedPicture(643, 481);
  const int tags[] = {1, 3, 6, 8};
  std::string bytes = qlaHeader(std::size(tags));
  std::vector<std::string> cameraFiles;
  std::vector<pictest::MarkSeen> upright;
  for (int tag : tags) {
    const std::string path = (adtest::testDir() / ("camera" + std::to_string(tag) + ".jpg")).string();
    ASSERT_TRUE(pictest::writeOriented(path, stored, tag));
    cameraFiles.push_back(adtest::readFile(path));
    upright.push_back(pictest::lookForMark(pictest::convertRead(path, {"-auto-orient"})));
    bytes += qlaEntry(static_cast<uint32_t>(cameraFiles.size() - 1), "jpg", cameraFiles.back());
  }
  ASSERT_TRUE(engine->LoadImage(file("before.qla", bytes), 0));
  ASSERT_EQ(mainWindow.received.size(), std::size(tags));
  for (size_t i = 0; i < std::size(tags); ++i) {
    SCOPED_TRACE("orientation " + std::to_string(tags[i]));
    const Reported& r = mainWindow.received[i];
    EXPECT_EQ(r.width, upright[i].width);
    EXPECT_EQ(r.height, upright[i].height);
    EXPECT_EQ(adtest::readFile(r.working), cameraFiles[i]);
    const pictest::Pixels thumbnail = pictest::convertRead(r.thumbnail);
    const workspace::Extent t = workspace::CImageOpe::ThumbnailExtent({upright[i].width, upright[i].height});
    EXPECT_EQ(thumbnail.width, t.width);
    EXPECT_EQ(thumbnail.height, t.height);
    EXPECT_EQ(pictest::lookForMark(thumbnail).corner, upright[i].corner);
  }
}

struct QlaCase {
  const char* name;
  std::function<std::string(const std::string& jpg, const std::string& png)> bytes;
  bool result;
  std::vector<uint16_t> types;  // of the pictures added, in order
};
void PrintTo(const QlaCase& c, std::ostream* os) { *os << c.name; }

class QlaReading : public AlbumFiles, public ::testing::WithParamInterface<QlaCase> {};

// Crafted and cut albums: the pictures that can be read are added one after the other,
// nothing else is written outside the work folder's own names, nothing crashes.
TEST_P(QlaReading, AddsWhatCanBeRead) {
  const std::string jpg = adtest::readFile(pictest::fixture("jpeg_baseline.jpg"));
  const std::string png = adtest::readFile(pictest::fixture("png_rgb.png"));
  const std::string path = file("crafted.qla", GetParam().bytes(jpg, png));
  EXPECT_EQ(engine->ImportQla(path), GetParam().result);
  std::vector<uint16_t> types;
  for (const Reported& r : mainWindow.received) types.push_back(r.type);
  EXPECT_EQ(types, GetParam().types);
  for (auto& e : fs::directory_iterator(work)) {
    EXPECT_EQ(e.path().filename().string().rfind("zbm", 0), 0u) << e.path();
  }
}

const uint16_t J = QM_TYPE_JPEG, P = QM_TYPE_PNG, B = QM_TYPE_BMP;
const QlaCase kQlaCases[] = {
    {"two_pictures", [](auto& j, auto& p) { return qlaHeader(2) + qlaEntry(0, "jpg", j) + qlaEntry(1, "png", p); },
     true, {J, P}},
    {"byte3_not_zero", [](auto& j, auto&) { return qlaHeader(1, 'X') + qlaEntry(0, "jpg", j); }, false, {}},
    {"other_magic", [](auto& j, auto&) { return "QLB" + qlaHeader(1).substr(3) + qlaEntry(0, "jpg", j); }, false, {}},
    {"short_header", [](auto&, auto&) { return qlaHeader(1).substr(0, 15); }, false, {}},
    {"entry_past_the_end",
     [](auto& j, auto& p) { return qlaHeader(2) + qlaEntry(0, "jpg", j) + qlaEntry(1, "png", p, 1); }, false, {J}},
    {"head_cut", [](auto& j, auto& p) { return qlaHeader(2) + qlaEntry(0, "jpg", j) + qlaEntry(1, "png", p).substr(0, 9); },
     false, {J}},
    {"count_beyond_the_entries", [](auto& j, auto&) { return qlaHeader(0xFFFFFFFF) + qlaEntry(0, "jpg", j); }, false, {J}},
    {"count_below_the_entries", [](auto& j, auto& p) { return qlaHeader(1) + qlaEntry(0, "jpg", j) + qlaEntry(1, "png", p); },
     true, {J}},
    // Extensions other than letters and digits, and albums inside the album, are passed over.
    {"odd_extensions",
     [](auto& j, auto& p) {
       return qlaHeader(6) + qlaEntry(0, "../", j) + qlaEntry(1, std::string("\0pg", 3), j) +
              qlaEntry(2, std::string("j\0g", 3), j) + qlaEntry(3, "\xE9pg", j) + qlaEntry(4, "j/g", j) +
              qlaEntry(5, "png", p);
     },
     true, {P}},
    {"nested_albums",
     [](auto& j, auto& p) {
       const std::string inner = qlaHeader(1) + qlaEntry(0, "jpg", j);
       return qlaHeader(3) + qlaEntry(0, "QLA", inner) + qlaEntry(1, "wza", "WZA\0\x01\0\x07") + qlaEntry(2, "png", p);
     },
     true, {P}},
    // An entry that cannot be imported is skipped; the next picture takes its place.
    {"unreadable_entry",
     [](auto& j, auto& p) {
       return qlaHeader(3) + qlaEntry(0, "jpg", j) + qlaEntry(1, "jpg", "not a picture") + qlaEntry(2, "png", p);
     },
     true, {J, P}},
    {"no_extension_found_by_content",
     [](auto&, auto&) {
       return qlaHeader(1) + qlaEntry(0, "", adtest::readFile(pictest::fixture("bmp24.bmp")));
     },
     true, {B}},
    {"empty_entry", [](auto&, auto& p) { return qlaHeader(2) + qlaEntry(0, "jpg", "") + qlaEntry(1, "png", p); }, true,
     {P}},
    // Pictures on both sides of the first few hundred entries, with albums between them.
    {"many_entries",
     [](auto& j, auto& p) {
       std::string s = qlaHeader(300);
       for (uint32_t i = 0; i < 300; ++i) {
         s += i == 254 || i == 299 ? qlaEntry(i, "jpg", j)
              : i == 256           ? qlaEntry(i, "png", p)
                                   : qlaEntry(i, "qla", i == 255 ? "QLA" : "");
       }
       return s;
     },
     true, {J, P, J}},
};
INSTANTIATE_TEST_SUITE_P(Crafted, QlaReading, ::testing::ValuesIn(kQlaCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct WzaCase {
  const char* name;
  std::function<std::string()> bytes;
  bool result;
  std::vector<size_t> dvfSizes;  // of the frame files extracted and added, in order
};
void PrintTo(const WzaCase& c, std::ostream* os) { *os << c.name; }

class WzaReading : public AlbumFiles, public ::testing::WithParamInterface<WzaCase> {};

// Frames become DVF frame files of 10 or 12 sequences without their first blocks; a
// frame of another kind or one cut short ends the reading, and the frames before it are
// added.
TEST_P(WzaReading, ExtractsWholeFramesOnly) {
  const std::string path = file("crafted.wza", GetParam().bytes());
  EXPECT_EQ(engine->ImportWza(path), GetParam().result);
  std::vector<size_t> sizes;
  for (const Reported& r : mainWindow.received) {
    sizes.push_back(fs::file_size(r.working));
    EXPECT_EQ(r.type, workspace::CImageOpe::kTypeDv);
  }
  EXPECT_EQ(sizes, GetParam().dvfSizes);
}

const std::string kNtsc = captureFixture("ntsc_4x3.dvf");
const std::string kPal = captureFixture("pal_16x9.dvf");
const WzaCase kWzaCases[] = {
    {"ntsc_and_pal", [] { return wza(2, {wzaFrame(kNtsc), wzaFrame(kPal)}); }, true, {119232, 143072}},
    {"first_frame_further_on", [] { return wza(1, {wzaFrame(kPal)}, 300); }, true, {143072}},
    {"count_below_the_frames", [] { return wza(1, {wzaFrame(kNtsc), wzaFrame(kPal)}); }, true, {119232}},
    {"sequence_digit_9", [] { return wza(2, {wzaFrame(kNtsc), wzaFrame(kNtsc, '9')}); }, false, {119232}},
    {"sequence_digit_0", [] { return wza(1, {wzaFrame(kNtsc, '0')}); }, false, {}},
    {"frame_cut", [] { return wza(2, {wzaFrame(kNtsc), wzaFrame(kPal).substr(0, 100000)}); }, false, {119232}},
    {"head_cut", [] { return wza(2, {wzaFrame(kNtsc), wzaFrame(kPal).substr(0, 20)}); }, false, {119232}},
    {"first_frame_past_the_end", [] { return wza(1, {}, 0xFFFF); }, false, {}},
    {"short_header", [] { return std::string("WZA\0\x01\0", 6); }, false, {}},
    {"other_magic", [] { return "WZB" + wza(1, {wzaFrame(kNtsc)}).substr(3); }, false, {}},
};
INSTANTIATE_TEST_SUITE_P(Crafted, WzaReading, ::testing::ValuesIn(kWzaCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The extracted frame is the DVF file the frame came from, byte for byte.
TEST_F(AlbumFiles, ExtractedFrameIsTheDvfLayout) {
  ASSERT_TRUE(engine->ImportWza(file("one.wza", wza(1, {wzaFrame(kPal)}))));
  EXPECT_EQ(adtest::readFile(work + "zbmt0001.dvf"), adtest::readFile(kPal));
  ASSERT_EQ(mainWindow.received.size(), 1u);
  EXPECT_EQ(adtest::readFile(mainWindow.received[0].working), adtest::readFile(kPal));
}

// Reading into an album that holds pictures asks first: No adds to it and leaves it
// modified, Yes empties it through File/New and leaves it as the file has it; a paste
// adds without asking.
TEST_F(AlbumFiles, QuestionBeforeAddingToAnAlbum) {
  const std::string path =
      file("two.qla", qlaHeader(2) + qlaEntry(0, "jpg", adtest::readFile(pictest::fixture("jpeg_baseline.jpg"))) +
                          qlaEntry(1, "png", adtest::readFile(pictest::fixture("png_rgb.png"))));
  struct Case {
    const char* name;
    std::optional<MsgAnswer> answer;  // none: a paste, no question
    uint32_t countAfter;
    int newAlbum;
    char modified;  // the last word on the modified flag: 'M' set, 'C' cleared
  } cases[] = {{"no", MsgAnswer::No, 7, 0, 'M'}, {"yes", MsgAnswer::Yes, 2, 1, 'C'}, {"paste", std::nullopt, 7, 0, 'M'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    album.count = 5;
    album.newAlbum = 0;
    album.flags.clear();
    platform::ScriptedMessageBoxes answers;
    if (c.answer) answers.queue(*c.answer);
    engine->AppendAlbumsQuietly = !c.answer;
    EXPECT_TRUE(engine->ImportQla(path));
    ASSERT_EQ(answers.shown().size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(answers.shown()[0].text, "Add to the album?");
      EXPECT_EQ(answers.shown()[0].buttons, platform::MsgButtons::YesNo);
      EXPECT_TRUE(wait->isVisible()) << "the wait window is shown again after the question";
    }
    EXPECT_EQ(album.count, c.countAfter);
    EXPECT_EQ(album.newAlbum, c.newAlbum);
    ASSERT_FALSE(album.flags.empty());
    EXPECT_EQ(album.flags.back(), c.modified);
    wait->hide();
  }
  engine->AppendAlbumsQuietly = false;
}

// At the album's limit an album file stops with the album-full message and counts as
// read; a frame album takes what fits without a word.
TEST_F(AlbumFiles, AlbumLimit) {
  const std::string jpg = adtest::readFile(pictest::fixture("jpeg_baseline.jpg"));
  std::string bytes = qlaHeader(5);
  for (uint32_t i = 0; i < 5; ++i) bytes += qlaEntry(i, "jpg", jpg);
  const std::string qla = file("five.qla", bytes);
  const std::string frames = file("three.wza", wza(3, {wzaFrame(kNtsc), wzaFrame(kNtsc), wzaFrame(kNtsc)}));
  struct Case {
    std::string path;
    uint32_t before, after;
    int frameOver;
  } cases[] = {{qla, 197, 200, 1}, {frames, 198, 200, 0}, {frames, 200, 200, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " into " + std::to_string(c.before));
    album.count = c.before;
    album.frameOver = 0;
    platform::ScriptedMessageBoxes answers;
    answers.queue(MsgAnswer::No);
    EXPECT_TRUE(engine->LoadImage(c.path, album.count));
    EXPECT_EQ(album.count, c.after);
    EXPECT_EQ(album.frameOver, c.frameOver);
    engine->DeleteFiles(work + "zbm*.*");
  }
}

// Stop ends the reading after the picture in hand; the pictures read stay.
TEST_F(AlbumFiles, StopEndsTheReading) {
  const std::string jpg = adtest::readFile(pictest::fixture("jpeg_baseline.jpg"));
  const std::string qla = file("two.qla", qlaHeader(2) + qlaEntry(0, "jpg", jpg) + qlaEntry(1, "jpg", jpg));
  const std::string frames = file("two.wza", wza(2, {wzaFrame(kNtsc), wzaFrame(kNtsc)}));
  for (const std::string& path : {qla, frames}) {
    album.count = 0;
    mainWindow.received.clear();
    abortAfter = 1;
    wait->AbortFlag = 0;
    EXPECT_FALSE(engine->LoadImage(path, 0)) << path;
    EXPECT_EQ(album.count, 1u) << path;
  }
}

}  // namespace
