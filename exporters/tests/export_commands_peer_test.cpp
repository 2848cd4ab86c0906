// The movie and HTML album commands checked by outside tools: the movie as ffprobe
// describes it and ffmpeg decodes it, frame by frame against where each picture must
// sit in its frame; the album crawled from its index page, and its pictures measured by
// ImageMagick.
#include <QComboBox>
#include <QCheckBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QSpinBox>
#include <set>

#include <gtest/gtest.h>

#include "command_fixture.h"
#include "exporters/avi_writer.h"
#include "exporters/frmhtml.h"
#include "exporters/frmmovie.h"
#include "exporters/html_writer.h"
#include "peers.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/sframe.h"

using namespace exporters;
using namespace extest;
using platform::MsgAnswer;

namespace {

class CommandPeer : public CommandTest {};

// A picture of one colour in the album.
void addSolid(int width, int height, Rgb colour) {
  workspace::IFlames& album = workspace::frmMain->Album();
  const int k = album.Count();
  const fs::path path = adtest::testDir() / "sources" / ("solid" + std::to_string(k) + ".bmp");
  fs::create_directories(path.parent_path());
  writeBmp(path, Frame{width, height, std::vector<Rgb>(size_t(width) * height, colour)});
  ASSERT_TRUE(workspace::frmMain->OpenFile(path.string(), k));
  album.Cell(k)->Select(true);
  album.CountSelected();
}

}  // namespace

TEST_F(CommandPeer, MovieFramesAsFfmpegDecodesThem) {
  AD_REQUIRE_TOOL("ffprobe");
  AD_REQUIRE_TOOL("ffmpeg");
  struct Picture {
    int width, height;
    Rgb colour;
    int left, top, w, h;  // where it must sit in a 160 x 120 frame
  };
  const Picture pictures[] = {
      {640, 480, {200, 30, 30}, 0, 0, 160, 120},    {480, 640, {30, 200, 30}, 35, 0, 90, 120},
      {1920, 1080, {30, 30, 200}, 0, 15, 160, 90},  {100, 100, {250, 250, 250}, 20, 0, 120, 120},
      {2000, 500, {10, 10, 10}, 0, 40, 160, 40},    {300, 400, {120, 60, 180}, 35, 0, 90, 120}};
  for (const Picture& p : pictures) addSolid(p.width, p.height, p.colour);
  const Rgb back{0x99, 0x66, 0x33};

  struct Case {
    uint32_t codec;
    const char* name;
    const char* tag;
    const char* pixelFormat;
  };
  for (const Case& c : {Case{0, "rawvideo", "[0][0][0][0]", "bgr24"}, Case{kHandlerMJPG, "mjpeg", "MJPG", "yuvj420p"}}) {
    SCOPED_TRACE(c.name);
    const fs::path out = desktop() / (std::string(c.name) + ".avi");
    files.queue({out.string()});
    boxes.queue(MsgAnswer::No);
    choosers.codecs = {c.codec};
    choosers.colours = {0x00336699};
    runMovie([](TfrmMovie& f) {
      f.csFrame()->setValue(2);  // two seconds a picture
      f.cbSize()->setCurrentIndex(1);
      click(&f, "btnComp");
      click(&f, "btnColor");
    });
    const QJsonObject info = probe(out);
    const QJsonObject s = info["streams"].toArray()[0].toObject();
    EXPECT_EQ(s["codec_name"].toString().toStdString(), c.name);
    EXPECT_EQ(s["codec_tag_string"].toString().toStdString(), c.tag);
    EXPECT_EQ(s["pix_fmt"].toString().toStdString(), c.pixelFormat);
    EXPECT_EQ(s["width"].toInt(), 160);
    EXPECT_EQ(s["height"].toInt(), 120);
    EXPECT_EQ(s["r_frame_rate"].toString().toStdString(), "1/2");
    EXPECT_EQ(s["nb_read_frames"].toString().toStdString(), "6");
    EXPECT_DOUBLE_EQ(info["format"].toObject()["duration"].toString().toDouble(), 12.0);
    EXPECT_EQ(packetFlags(out), std::vector<std::string>(6, "K_"));

    const std::vector<Frame> frames = decode(out, 160, 120);
    ASSERT_EQ(frames.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
      const Picture& p = pictures[i];
      // Uncompressed: every pixel exactly. Motion JPEG: within its loss, away from the
      // edges, where its halved colour resolution blurs the two colours together.
      const int margin = c.codec == 0 ? 0 : 2, tolerance = c.codec == 0 ? 0 : 8;
      int wrong = 0;
      for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
          auto within = [&](int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; };
          const int r = p.left + p.w, b = p.top + p.h;
          const bool inside = within(p.left + margin, p.top + margin, r - margin, b - margin);
          const bool outside = !within(p.left - margin, p.top - margin, r + margin, b + margin);
          if (!inside && !outside) continue;
          const Rgb want = inside ? p.colour : back, got = frames[i].at(x, y);
          if (std::abs(got.r - want.r) > tolerance || std::abs(got.g - want.g) > tolerance ||
              std::abs(got.b - want.b) > tolerance) {
            ++wrong;
          }
        }
      }
      EXPECT_EQ(wrong, 0) << "frame " << i;
    }
  }
}

TEST_F(CommandPeer, AlbumCrawledFromItsIndex) {
  AD_REQUIRE_TOOL(kPython);
  AD_REQUIRE_TOOL("/usr/bin/identify");
  constexpr int kPictures = 12;
  const int sizes[][2] = {{640, 480}, {5000, 40}, {300, 400}, {1600, 1200}, {80, 60}, {30, 20}};
  for (int i = 0; i < kPictures; ++i) addPicture(sizes[i % 6][0], sizes[i % 6][1], i % 3 == 0);
  const fs::path web = adtest::testDir() / "Web";
  fs::create_directories(web);
  const std::string title = "Trip & <Friends>";
  files.queue({(web / "My Album.htm").string()});
  boxes.queue(MsgAnswer::No);
  runHtml([&](TfrmHTML& f) {
    f.edTitle()->setText(QString::fromStdString(title));
    f.cbImgSize()->setChecked(true);
    f.seMax()->setValue(480);
  });

  std::map<std::string, CrawledPage> pages;
  std::vector<std::string> broken;
  ASSERT_TRUE(crawl(web / "My Album.htm", pages, broken));
  EXPECT_EQ(broken, std::vector<std::string>{});
  std::set<std::string> expected{"My Album.htm"}, found;
  for (int k = 1; k <= kPictures; ++k) expected.insert("My Album/zbn" + ThreeDigits(k) + ".htm");
  for (const auto& [path, page] : pages) found.insert(path);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(pages["My Album.htm"].title, title);
  for (int k = 1; k <= kPictures; ++k) {
    const std::string n = ThreeDigits(k);
    const CrawledPage& page = pages["My Album/zbn" + n + ".htm"];
    EXPECT_EQ(page.title, title + ":fs" + n + ".jpg");
    std::vector<std::pair<std::string, std::string>> links;
    if (k > 1) links.emplace_back("Previous", "My Album/zbn" + ThreeDigits(k - 1) + ".htm");
    links.emplace_back("Index", "My Album.htm");
    if (k < kPictures) links.emplace_back("Next", "My Album/zbn" + ThreeDigits(k + 1) + ".htm");
    EXPECT_EQ(page.links, links) << k;
    // Measured by ImageMagick: pictures within the width, thumbnails within 80 x 60.
    for (const auto& [prefix, widest, highest] : {std::tuple{"fs", 480, 1200}, {"tn", 80, 60}}) {
      std::string size;
      ASSERT_EQ(adtest::runProgram({"/usr/bin/identify", "-format", "%w %h",
                                    (web / "My Album" / (prefix + n + ".jpg")).string()},
                                   &size),
                0);
      int w = 0, h = 0;
      ASSERT_EQ(std::sscanf(size.c_str(), "%d %d", &w, &h), 2);
      EXPECT_LE(w, widest) << prefix << n;
      EXPECT_LE(h, highest) << prefix << n;
      EXPECT_GE(w, 1);
    }
  }
}
