// Times the pictures' part of the movie and HTML album commands on an album of 200
// pictures (camera-sized JPEG working copies of 12, 8, 2 and 0.3 megapixels in turn),
// twice in the same run: the straightforward way, where the picture engine reads the
// whole working copy for every file it writes (ExportImage for each frame or picture,
// ConvertImage for each thumbnail), and the commands' own way (one reading per picture,
// reduced in the JPEG decoder where the result is small). Both end in the same movie
// writer or page writer. ffmpeg doing the same work from the same files is the peer: one
// thread, its start-up (the same command on a one-picture album) taken out, the files it
// writes flushed to the disk as ours are.
//
//   bench_export_commands [repetitions] [folder]
//
// Repetitions default to 3 (each run takes seconds); medians are printed. Files live in
// a home of the run's own below `folder` (default: the temporary folder, on a disk).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "exporters/avi_writer.h"
#include "exporters/html_writer.h"
#include "exporters/picture_writer.h"
#include "platform/folders.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/file_name.h"
#include "workspace/image_ope.h"
#include "workspace/output_format.h"

namespace {

namespace fs = std::filesystem;
using workspace::OutputFormatSettings;

constexpr int kPictures = 200;

struct Run {
  std::string name;
  double before, after, peer;
};

void report(const Run& r, const std::string& peerDoes) {
  bench::row(r.name + ", engine per file", r.before, r.peer,
             "the picture engine reads the whole working copy for every file it writes", peerDoes);
  bench::row(r.name + ", the commands", r.after, r.peer, "the commands' picture writer (one reduced reading a picture)",
             peerDoes);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  // The engine's work folder lies in this run's own home.
  const std::string home = bench::ownHome("bench_export_commands", argc > 2 ? argv[2] : "");
  if (home.empty()) return 1;
  const fs::path dir = home, work = platform::workDir();
  const bool haveFfmpeg = benchutil::haveFfmpeg();

  // The album: 200 working copies, the four sources in turn (links, so the disk holds
  // four pictures).
  std::vector<std::string> sources;
  for (auto [w, h] : {std::pair{4000, 3000}, std::pair{3264, 2448}, std::pair{1920, 1080}, std::pair{640, 480}}) {
    sources.push_back((dir / ("source" + std::to_string(w) + ".jpg")).string());
    if (!bench::makePicture(sources.back(), w, h, uint32_t(w))) {
      std::fprintf(stderr, "cannot write the pictures (is libQm6Jpeg.so beside the program?)\n");
      return 1;
    }
  }
  std::vector<std::string> album;
  for (int i = 0; i < kPictures; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "zbm1%03d.jpg", i + 1);
    fs::create_symlink(sources[size_t(i) % sources.size()], work / name);
    album.push_back((work / name).string());
  }
  std::printf("200 album pictures (4000x3000, 3264x2448, 1920x1080, 640x480 JPEG in turn), median of %d, files in %s%s\n",
              repetitions, dir.c_str(), haveFfmpeg ? "" : " (ffmpeg missing: no comparison)");
  // A one-picture album (the smallest picture) measures ffmpeg's start-up on the same commands.
  const fs::path trivial = dir / "trivial";
  fs::create_directories(trivial);
  fs::create_symlink(sources.back(), trivial / "zbm1001.jpg");
  const auto peerMs = [&](const std::function<std::vector<std::vector<std::string>>(const fs::path& in, const fs::path& out)>& commands) {
    if (!haveFfmpeg) return -1.0;
    const fs::path out = dir / "ffmpeg";
    const double took = bench::medianMs(repetitions, [&] {
      fs::remove_all(out);
      fs::create_directories(out);
      return benchutil::runAndFlush(commands(work, out), {out.string()});
    });
    double startup = 0;
    for (const auto& argv : commands(trivial, trivial)) startup += bench::startupMs(repetitions, argv);
    return took > 0 ? took - startup : -1.0;
  };

  OutputFormatSettings settings;
  workspace::CImageOpe engine(nullptr, nullptr, settings);
  bool failed = false;

  // ---- the movie: 320 x 240 frames on black, Motion JPEG --------------------------------------
  auto movie = [&](bool commands) {
    workspace::SetDefaults(settings);
    settings.Format = OutputFormatSettings::kBmp;
    settings.OutputWidth = 320;
    settings.OutputHeight = 240;
    engine.FillColor = 0;
    exporters::PictureWriter writer(engine, settings);
    std::vector<std::string> frames;
    bool ok = true;
    for (const std::string& picture : album) {
      const std::string frame = workspace::FileName(engine.WorkDir() + "MVTMP000.BMP").NextFreeName(1);
      ok = ok && (commands ? writer.Export(picture, frame) : engine.ExportImage(picture, frame));
      frames.push_back(frame);
    }
    ok = ok && exporters::MakeMovie(frames, (dir / "movie.avi").string(), 2, 1, exporters::kHandlerMJPG);
    engine.DeleteFiles(engine.WorkDir() + "MVTMP*.BMP");
    return ok;
  };
  Run m{"movie 320x240 of 200 album pictures", bench::medianMs(repetitions, [&] { return movie(false); }),
        bench::medianMs(repetitions, [&] { return movie(true); }), -1};
  m.peer = peerMs([](const fs::path& in, const fs::path& out) {
    return std::vector<std::vector<std::string>>{benchutil::ffmpeg(
        {"-framerate", "1/2", "-i", (in / "zbm1%03d.jpg").string()},
        {"-vf", "scale=320:240:force_original_aspect_ratio=decrease,pad=320:240:(ow-iw)/2:(oh-ih)/2", "-c:v", "mjpeg",
         "-q:v", "1", "-pix_fmt", "yuvj420p", (out / "movie.avi").string()})};
  });
  report(m, "ffmpeg 1 thread: decode, scale and pad to 320x240, mjpeg AVI; start-up taken out, fsync");
  failed = failed || m.before < 0 || m.after < 0;

  // ---- the HTML album: thumbnails and pictures within a width, then the pages -----------------
  auto html = [&](bool commands, int widest) {
    const fs::path folder = dir / "album";
    fs::remove_all(folder);
    fs::create_directories(folder);
    workspace::SetDefaults(settings);
    engine.FillColor = 0xFFFFFF;
    exporters::PictureWriter writer(engine, settings);
    exporters::HTML pages(nullptr);
    pages.Folder = dir.string();
    pages.BaseName = "album";
    pages.Title = "Holiday";
    pages.SetColor(0xFFFFFF, 0);
    const int32_t width[] = {4000, 3264, 1920, 640}, height[] = {3000, 2448, 1080, 480};
    auto sizeFor = [&](size_t i) {
      const int32_t w = width[i % 4], h = height[i % 4];
      if (w <= widest) {
        settings.SizeMode = OutputFormatSettings::kKeepSize;
      } else {
        settings.SizeMode = OutputFormatSettings::kFreeSize;
        settings.OutputWidth = widest;
        settings.OutputHeight = std::max<int32_t>(1, int32_t(int64_t(widest) * h / w));
      }
    };
    bool ok = true;
    if (commands) {
      for (size_t i = 0; i < album.size(); ++i) {
        sizeFor(i);
        const std::string tn = workspace::FileName((folder / "tn000.jpg").string()).NextFreeName(1);
        const std::string fs = workspace::FileName((folder / "fs000.jpg").string()).NextFreeName(1);
        ok = ok && writer.ExportWithThumbnail(album[i], fs, tn, 80, 60);
        pages.Thumbnails.push_back(fs::path(tn).filename());
        pages.Images.push_back(fs::path(fs).filename());
      }
    } else {
      // Every thumbnail, then every picture, each from its own reading.
      for (const std::string& picture : album) {
        const std::string tn = workspace::FileName((folder / "tn000.jpg").string()).NextFreeName(1);
        ok = ok && engine.ConvertImage(tn, picture, 80, 60);
        pages.Thumbnails.push_back(fs::path(tn).filename());
      }
      for (size_t i = 0; i < album.size(); ++i) {
        sizeFor(i);
        const std::string fs = workspace::FileName((folder / "fs000.jpg").string()).NextFreeName(1);
        ok = ok && engine.ExportImage(album[i], fs);
        pages.Images.push_back(fs::path(fs).filename());
      }
    }
    return ok && pages.Make();
  };
  for (int widest : {480, 4000}) {
    const std::string name = "HTML album, widest " + std::to_string(widest);
    Run r{name, bench::medianMs(repetitions, [&] { return html(false, widest); }),
          bench::medianMs(repetitions, [&] { return html(true, widest); }), -1};
    // Thumbnails, then the pictures within the width (none is wider than 4000).
    const std::string fit = "scale='min(iw," + std::to_string(widest) + ")':-2";
    r.peer = peerMs([&](const fs::path& in, const fs::path& out) {
      const std::string pictures = (in / "zbm1%03d.jpg").string();
      return std::vector<std::vector<std::string>>{
          benchutil::ffmpeg({"-i", pictures},
                            {"-vf", "scale=80:60:force_original_aspect_ratio=decrease", "-q:v", "8", (out / "tn%03d.jpg").string()}),
          benchutil::ffmpeg({"-i", pictures}, {"-vf", fit, "-q:v", "4", (out / "fs%03d.jpg").string()})};
    });
    report(r, "ffmpeg 1 thread: the thumbnails, then the pictures within the width, as JPEG; start-ups taken out, fsync");
    failed = failed || r.before < 0 || r.after < 0;
  }
  fs::remove_all(dir);
  return failed ? 1 : 0;
}
