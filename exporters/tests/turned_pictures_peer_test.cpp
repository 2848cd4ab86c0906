// Camera pictures stored turned, through the whole program: pictures with a mark in one
// corner, stored as the sensor read them and tagged with each Exif orientation (JPEG with
// 2x2 and 2x1 colour sampling, the latter progressive; TIFF), are read into the album and
// written out every way the program writes them. In each of its outputs the mark lies in
// the corner where ImageMagick's -auto-orient puts it, and the picture has the upright
// size (or, fitted into a box, the upright shape). The pictures are large enough to be
// read reduced where the program reads reduced (thumbnails, the fitted viewer, movie
// frames, HTML pictures) and are read whole elsewhere (the viewer at 1:1, saved pictures,
// sheets).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QSpinBox>

#include <gtest/gtest.h>

#include "command_fixture.h"
#include "exporters/frmhtml.h"
#include "exporters/frmmovie.h"
#include "exporters/frmview.h"
#include "exporters/html_writer.h"
#include "exporters/sheet_composer.h"
#include "exporters/viewer_forms.h"
#include "peers.h"
#include "picture_util.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/image_ope.h"
#include "workspace/import_ahead.h"
#include "workspace/output_format.h"
#include "workspace/program.h"
#include "workspace/profile.h"

using namespace extest;
using pictest::MarkSeen;
using pictest::Pixels;

namespace {

Pixels fromImage(const QImage& image) {
  Pixels p;
  p.width = image.width();
  p.height = image.height();
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const QRgb c = image.pixel(x, y);
      p.rgb.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
    }
  }
  return p;
}

Pixels fromFrame(const Frame& f) {
  Pixels p;
  p.width = f.width;
  p.height = f.height;
  for (const Rgb& c : f.pixels) p.rgb.push_back({c.r, c.g, c.b});
  return p;
}

// Pictures fitted into a box keep the upright shape, to a pixel.
bool sameShape(const MarkSeen& s, int w, int h) {
  return std::abs(int64_t(s.width) * h - int64_t(s.height) * w) <= w + h;
}

class TurnedPictures : public CommandTest {
 protected:
  void SetUp() override {
    exporters::EnterViewerForms();
    CommandTest::SetUp();
  }
};

TEST_F(TurnedPictures, EveryOutputShowsThemAsImageMagickDoes) {
  for (const char* tool : {"/usr/bin/convert", "cjpeg", "exiftool", "ffmpeg"}) AD_REQUIRE_TOOL(tool);
  struct Kind {
    const char* name;
    const char* ext;
    std::vector<std::string> options;
  };
  const Kind kinds[] = {{"JPEG 4:2:0", ".jpg", {"-sample", "2x2"}},
                        {"JPEG 4:2:2 progressive", ".jpg", {"-sample", "2x1", "-progressive"}},
                        {"TIFF", ".tif", {}}};
  // Odd sides, and large enough for reduced readings by 2 and 4.
  const Pixels stored = pictest::markedPicture(643, 481);
  struct Source {
    std::string what, path;
    Pixels upright;  // ImageMagick's
    MarkSeen seen;
  };
  std::vector<Source> sources;
  const fs::path dir = adtest::testDir() / "camera";
  fs::create_directories(dir);
  for (int tag = 1; tag <= 8; ++tag) {
    std::vector<std::string> tagged;
    for (const Kind& k : kinds) {
      char name[16];
      std::snprintf(name, sizeof name, "p%02zu", sources.size());
      sources.push_back({std::string(k.name) + " orientation " + std::to_string(tag), (dir / name).string() + k.ext, {}, {}});
      ASSERT_TRUE(pictest::writeStored(sources.back().path, stored, k.options)) << sources.back().what;
      tagged.push_back(sources.back().path);
    }
    ASSERT_TRUE(pictest::tagOrientation(tagged, tag));
  }
  for (Source& s : sources) {
    s.upright = pictest::convertRead(s.path, {"-auto-orient"});
    s.seen = pictest::lookForMark(s.upright);
    ASSERT_GT(s.seen.width, 0) << s.what;
  }

  // Read into the album as a list of files is, the pictures to come decoded ahead.
  std::vector<std::string> paths;
  for (const Source& s : sources) paths.push_back(s.path);
  {
    workspace::ImportAhead ahead(*workspace::ImageOpe, workspace::ImportAhead::ForFiles(paths));
    for (size_t i = 0; i < paths.size(); ++i) {
      ahead.Begin(i);
      ASSERT_TRUE(workspace::frmMain->OpenFile(paths[i], int(i))) << paths[i];
    }
  }
  workspace::IFlames& album = workspace::frmMain->Album();
  ASSERT_EQ(album.Count(), int(sources.size()));

  // Every output of picture i: what it is, its pixels, its background (when the picture
  // is fitted onto one) and whether its size must be the upright size exactly (else its
  // shape). The expected size of an exact output comes with it.
  struct Output {
    std::string what;
    Pixels pixels;
    const pictest::Rgb* background = nullptr;
    int width = 0, height = 0;  // exactly this size; 0: the upright shape
  };
  std::vector<std::vector<Output>> outputs(sources.size());
  const pictest::Rgb white{255, 255, 255};

  // The record, and the thumbnail (of a JPEG made from a reduced reading).
  for (size_t i = 0; i < sources.size(); ++i) {
    const workspace::FlameInfo& r = *album.Record(int(i));
    const MarkSeen& want = sources[i].seen;
    EXPECT_EQ(r.width, want.width) << sources[i].what;
    EXPECT_EQ(r.height, want.height) << sources[i].what;
    const workspace::Extent t = workspace::CImageOpe::ThumbnailExtent({want.width, want.height});
    outputs[i].push_back({"thumbnail", pictest::convertRead(r.thumbPath), {}, t.width, t.height});
  }

  // The viewer: fitted into 300 x 225 from a reduced reading, then at 1:1 from the whole.
  for (auto [key, value] : {std::pair{"Left", 20}, {"Top", 20}, {"Width", 300}, {"Height", 225}})
    workspace::Profile->WriteInt("frmView", key, value);
  select({0});
  command("mnuView")->trigger();
  exporters::TfrmView& view = *exporters::ViewForm();
  for (size_t i = 0; i < sources.size(); ++i) {
    view.AutoFit = 1;
    view.ShowPicture(int(i));
    if (sources[i].path.ends_with(".jpg")) {
      EXPECT_LT(view.HeldSize().width(), sources[i].seen.width) << "read reduced: " << sources[i].what;
    }
    const int z = view.Zoom, w = sources[i].seen.width, h = sources[i].seen.height;
    outputs[i].push_back({"viewer fitted", fromImage(view.Painted()), {}, w * z / 100, h * z / 100});
    view.SetZoom(100);
    outputs[i].push_back({"viewer at 1:1", fromImage(view.Painted()), {}, w, h});
  }
  view.close();

  // Saved as JPEG and as BMP at the picture's size, and as JPEG turned clockwise by the
  // user's choice in the output settings (which turns the upright picture).
  workspace::OutputFormatSettings& settings = workspace::OutputFormat();
  settings.SizeMode = workspace::OutputFormatSettings::kKeepSize;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string& work = album.Record(int(i))->workPath;
    const int w = sources[i].seen.width, h = sources[i].seen.height;
    for (auto [format, rotation, name] :
         {std::tuple{workspace::OutputFormatSettings::kJpeg, workspace::OutputFormatSettings::kNoRotation, "saved.jpg"},
          {workspace::OutputFormatSettings::kBmp, workspace::OutputFormatSettings::kNoRotation, "saved.bmp"},
          {workspace::OutputFormatSettings::kJpeg, workspace::OutputFormatSettings::kClockwise, "turned.jpg"}}) {
      settings.Format = format;
      settings.Rotation = rotation;
      const std::string target = (adtest::testDir() / name).string();
      ASSERT_TRUE(workspace::ImageOpe->ExportImage(work, target)) << sources[i].what;
      const bool turned = rotation != workspace::OutputFormatSettings::kNoRotation;
      outputs[i].push_back({std::string("saved as ") + name, pictest::convertRead(target), {}, turned ? h : w,
                            turned ? w : h});
      // The BMP holds the very pixels ImageMagick shows.
      if (format == workspace::OutputFormatSettings::kBmp) {
        EXPECT_EQ(pictest::maxDifference(outputs[i].back().pixels, sources[i].upright), 0) << sources[i].what;
      }
    }
  }
  settings.Rotation = workspace::OutputFormatSettings::kNoRotation;

  // A sheet of one cell per picture, as BMP on white.
  for (size_t i = 0; i < sources.size(); ++i) {
    exporters::SheetJob job;
    job.width = 240;
    job.height = 240;
    job.grid = 1;
    job.format = 1;
    job.cells = {album.Record(int(i))->workPath};
    const std::string sheet = (adtest::testDir() / "sheet.bmp").string();
    ASSERT_EQ(exporters::ComposeSheet(job, sheet, *workspace::ImageOpe), exporters::SheetResult::Written);
    outputs[i].push_back({"sheet cell", pictest::convertRead(sheet), &white});
  }

  // An HTML album of pictures at most 480 wide, and a movie of uncompressed 80 x 60
  // frames on white (read reduced), of every picture.
  album.SelectAll(true);
  album.CountSelected();
  const fs::path web = adtest::testDir() / "Web";
  fs::create_directories(web);
  files.queue({(web / "album.htm").string()});
  boxes.queue(platform::MsgAnswer::No);
  runHtml([](exporters::TfrmHTML& f) {
    f.cbImgSize()->setChecked(true);
    f.seMax()->setValue(480);
  });
  const fs::path movie = desktop() / "turned.avi";
  files.queue({movie.string()});
  boxes.queue(platform::MsgAnswer::No);
  choosers.codecs = {0};
  choosers.colours = {0x00FFFFFF};
  runMovie([](exporters::TfrmMovie& f) {
    f.cbSize()->setCurrentIndex(0);
    click(&f, "btnComp");
    click(&f, "btnColor");
  });
  const std::vector<Frame> frames = decode(movie, 80, 60);
  ASSERT_EQ(frames.size(), sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string n = exporters::ThreeDigits(int(i) + 1);
    outputs[i].push_back({"HTML picture", pictest::convertRead((web / "album" / ("fs" + n + ".jpg")).string()), {}});
    outputs[i].push_back({"HTML thumbnail", pictest::convertRead((web / "album" / ("tn" + n + ".jpg")).string()), {}});
    outputs[i].push_back({"movie frame", fromFrame(frames[i]), &white});
  }

  // Every output against ImageMagick's upright picture.
  for (size_t i = 0; i < sources.size(); ++i) {
    const MarkSeen& want = sources[i].seen;
    for (const Output& o : outputs[i]) {
      SCOPED_TRACE(sources[i].what + ", " + o.what);
      const MarkSeen seen = pictest::lookForMark(o.pixels, o.background);
      const bool turnedByUser = o.what == "saved as turned.jpg";
      EXPECT_EQ(seen.corner, turnedByUser ? pictest::cornerTurnedClockwise(want.corner) : want.corner);
      if (o.width) {
        EXPECT_EQ(o.pixels.width, o.width);
        EXPECT_EQ(o.pixels.height, o.height);
      } else {
        EXPECT_TRUE(sameShape(seen, want.width, want.height))
            << seen.width << " x " << seen.height << " for " << want.width << " x " << want.height;
      }
    }
  }
}

}  // namespace
