// Times the viewer showing a 4000 x 3000 JPEG picture in a view of 800 x 600, and its
// peers in the same run (in this program, one thread):
//   - showing the picture fitted to the window (load, reduced copy, first paint), against
//     ImageMagick (MagickWand) decoding the file and reducing it to 800 x 600, and against
//     libjpeg-turbo (TurboJPEG) decoding the file alone into fresh memory;
//   - a zoom change below 100 percent (the reduced copy is made once), against Qt's
//     smooth scaling of the same picture;
//   - one paint of the view at 25 percent from the reduced copy, against painting the full
//     picture scaled down, which a viewer without the copy would do at every paint;
//   - one paint at 100 and 400 percent, which copies only the visible part.
//
//   viewer_bench [repetitions]      (default 9; medians are reported)
//
// It runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise, in a folder of
// its own that is also HOME, and removes it afterwards.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/peers.h"
#include "exporters/frmview.h"
#include "exporters/viewer_forms.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double medianOf(int reps, const std::function<void()>& f) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = Clock::now();
    f();
    t.push_back(ms(Clock::now() - t0));
  }
  return median(t);
}

void print(const char* what, double ours, const char* peerName, double peer) {
  bench::row(std::string("viewer: ") + what, ours, peer, "the viewer window (offscreen platform)", peerName);
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const fs::path dir = fs::temp_directory_path() / ("viewer_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::permissions(dir, fs::perms::owner_all);
  for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME"}) ::setenv(var, dir.c_str(), 1);
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  // A photograph-like picture: smooth gradients with grain.
  const int W = 4000, H = 3000;
  QImage picture(W, H, QImage::Format_RGB32);
  QRandomGenerator noise(7);
  for (int y = 0; y < H; ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < W; ++x) {
      const int n = static_cast<int>(noise.bounded(24)) - 12;
      row[x] = qRgb(std::clamp(x * 255 / W + n, 0, 255), std::clamp(y * 255 / H + n, 0, 255),
                    std::clamp(128 + (x - y) * 64 / W + n, 0, 255));
    }
  }
  const std::string jpeg = (dir / "photo.jpg").string();
  picture.save(QString::fromStdString(jpeg), "JPG", 90);

  exporters::EnterViewerForms();
  workspace::CreateForms();
  workspace::frmTitle->Timer1()->setInterval(0);
  workspace::frmTitle->Timer2()->setInterval(0);
  workspace::frmMain->show();
  QCoreApplication::processEvents();
  if (!workspace::frmMain->OpenFile(jpeg, 0)) {
    std::fprintf(stderr, "the picture could not be read\n");
    return 1;
  }
  for (auto [key, value] : {std::pair{"Left", 0}, {"Top", 0}, {"Width", 800}, {"Height", 600}})
    workspace::Profile->WriteInt("frmView", key, value);
  workspace::frmMain->component<QAction>("mnuView")->trigger();
  exporters::TfrmView* view = exporters::ViewForm();
  QWidget* port = view->sbView()->viewport();
  QCoreApplication::processEvents();

  const double show = medianOf(reps, [&] {
    view->AutoFit = 1;
    view->ShowPicture(0);
    (void)port->grab();
  });
  // Shown fitted from a reduced reading, the first zoom past what it holds reads the
  // whole picture.
  std::vector<double> zoomsIn;
  for (int r = 0; r < reps; ++r) {
    view->AutoFit = 1;
    view->ShowPicture(0);
    const auto t0 = Clock::now();
    view->SetZoom(view->Zoom * 2);
    (void)port->grab();
    zoomsIn.push_back(ms(Clock::now() - t0));
  }
  const double firstZoomIn = median(zoomsIn);
  const double djpeg = bench::medianMs(reps, [&] {
    int w = 0, h = 0;
    uint8_t* rows = bench::turboLoad(jpeg, &w, &h);
    std::free(rows);
    return rows != nullptr;
  });
  const double convert = bench::medianMs(reps, [&] { return bench::magickReduce(jpeg, 800, 600); });

  // Zoom changes between 100 and 25 percent, each timed on its own.
  std::vector<double> down, up;
  view->SetZoom(100);
  for (int r = 0; r < reps; ++r) {
    auto t0 = Clock::now();
    view->SetZoom(25);
    down.push_back(ms(Clock::now() - t0));
    t0 = Clock::now();
    view->SetZoom(100);
    up.push_back(ms(Clock::now() - t0));
  }
  const double reduce = median(down), to100 = median(up);
  const double qtScaled = medianOf(reps, [&] { (void)picture.scaled(W / 4, H / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); });

  view->SetZoom(25);
  const double paint25 = medianOf(reps * 4, [&] { (void)port->grab(); });
  QImage target(port->size(), QImage::Format_RGB32);
  const double paintFull = medianOf(reps * 4, [&] {
    QPainter p(&target);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(0.25, 0.25);
    p.drawImage(0, 0, picture);
  });
  view->SetZoom(100);
  const double paint100 = medianOf(reps * 4, [&] { (void)port->grab(); });
  view->SetZoom(400);
  const double paint400 = medianOf(reps * 4, [&] { (void)port->grab(); });

  std::printf("Viewer with a %d x %d JPEG in a view of %d x %d (medians of %d runs; ratio = viewer / peer)\n", W, H,
              port->width(), port->height(), reps);
  print("showing it fitted (load, reduce, paint)", show, "ImageMagick (MagickWand) decode + reduce to 800x600", convert);
  print("showing it fitted, against the decode alone", show, "TurboJPEG decode alone into fresh memory", djpeg);
  print("first zoom in past the fitted view (reads the whole picture)", firstZoomIn, "-", 0);
  print("zoom change to 25 % (reduced copy)", reduce, "Qt smooth scaling", qtScaled);
  print("zoom change back to 100 %", to100, "-", 0);
  print("paint at 25 % from the reduced copy", paint25, "full picture scaled per paint", paintFull);
  print("paint at 100 % (visible part only)", paint100, "-", 0);
  print("paint at 400 % (visible part only)", paint400, "-", 0);

  workspace::DestroyForms();
  fs::remove_all(dir);
  return 0;
}
