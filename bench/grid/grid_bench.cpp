// Times the album grid holding 200 pictures, the most the album takes, and Qt's icon
// view (QListWidget in icon mode, laid out on the same 118 x 108 grid) holding the same
// 200 thumbnails, in one run:
//   - building the grid (cells made, thumbnails loaded, placed);
//   - placing one cell (PlaceItem, with the event processing it does);
//   - reflowing every cell when the number of columns changes (Relayout);
//   - one scroll step of 60 pixels with the view painted afresh.
// A scroll step that takes longer than a frame at 60 Hz (16.7 ms) would be a stall; the
// number of such steps over the whole range is printed too.
//
//   grid_bench [repetitions]      (default 15; medians are reported)
//
// It runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "workspace/flames.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kPictures = 200;
constexpr double kFrameMs = 1000.0 / 60.0;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double timeOnce(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return ms(Clock::now() - t0);
}

struct Scroll {
  double medianMs = 0, worstMs = 0;
  int steps = 0, stalls = 0;
};

// Scrolls from the top to the end and back in steps of 60 pixels, painting the view each time.
Scroll scrollThrough(QScrollBar* bar, QWidget* view, int repetitions) {
  std::vector<double> times;
  Scroll s;
  for (int r = 0; r < repetitions; ++r) {
    bar->setValue(0);
    for (int v = 60; v <= bar->maximum() + 59; v += 60) {
      const int to = std::min(v, bar->maximum());
      times.push_back(timeOnce([&] {
        bar->setValue(to);
        (void)view->grab();
      }));
    }
  }
  for (double t : times) {
    s.worstMs = std::max(s.worstMs, t);
    if (t > kFrameMs) ++s.stalls;
  }
  s.steps = static_cast<int>(times.size());
  s.medianMs = median(times);
  return s;
}

void print(const char* what, double ours, double peer) {
  bench::row(std::string("album grid of 200: ") + what, ours, peer, "the album grid (IFlames, offscreen platform)",
             "Qt's icon view (QListWidget) with the same thumbnails on the same grid");
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

  const fs::path dir = bench::newFolder("grid_bench");
  if (dir.empty()) return 1;
  std::vector<std::string> thumbs;
  for (int i = 0; i < kPictures; ++i) {
    QImage img(100, 75, QImage::Format_RGB32);
    img.fill(QColor::fromHsv(i * 37 % 360, 180, 220));
    thumbs.push_back((dir / ("zbm1" + std::to_string(1000 + i).substr(1) + "TN.bmp")).string());
    img.save(QString::fromStdString(thumbs.back()), "BMP");
  }

  // ---- the album grid ----
  QScrollArea area;
  area.setFrameShape(QFrame::NoFrame);
  area.resize(620, 430);
  area.show();
  std::vector<double> build;
  std::unique_ptr<workspace::IFlames> album;
  for (int r = 0; r < std::max(1, reps / 5); ++r) {
    album.reset();
    album = std::make_unique<workspace::IFlames>(&area);
    build.push_back(timeOnce([&] {
      for (int i = 0; i < kPictures; ++i) album->AddItem(i, thumbs[static_cast<size_t>(i)]);
      QCoreApplication::processEvents();
    }));
  }
  std::vector<double> place;
  for (int r = 0; r < reps; ++r)
    for (int i = 0; i < kPictures; i += 10) place.push_back(timeOnce([&] { album->PlaceItem(i); }));
  std::vector<double> relayout;
  for (int r = 0; r < reps; ++r) {
    area.resize(r % 2 ? 620 : 500, 430);  // 5 and 4 columns
    relayout.push_back(timeOnce([&] { album->Relayout(); }));
  }
  area.resize(620, 430);
  album->Relayout();
  const Scroll ours = scrollThrough(area.verticalScrollBar(), area.viewport(), reps);

  // ---- Qt's icon view with the same thumbnails ----
  QListWidget list;
  list.setViewMode(QListView::IconMode);
  list.setMovement(QListView::Static);
  list.setResizeMode(QListView::Fixed);
  list.setIconSize(QSize(100, 75));
  list.setGridSize(QSize(118, 108));
  list.setUniformItemSizes(true);
  list.setFrameShape(QFrame::NoFrame);
  list.verticalScrollBar()->setSingleStep(60);
  list.resize(620, 430);
  list.show();
  std::vector<double> peerBuild;
  for (int r = 0; r < std::max(1, reps / 5); ++r) {
    list.clear();
    peerBuild.push_back(timeOnce([&] {
      for (int i = 0; i < kPictures; ++i)
        list.addItem(new QListWidgetItem(QIcon(QPixmap(QString::fromStdString(thumbs[static_cast<size_t>(i)]))),
                                         QString::asprintf("%03d", i + 1)));
      list.doItemsLayout();
      QCoreApplication::processEvents();
    }));
  }
  std::vector<double> peerRelayout;
  for (int r = 0; r < reps; ++r) {
    list.resize(r % 2 ? 620 : 500, 430);
    peerRelayout.push_back(timeOnce([&] { list.doItemsLayout(); }));
  }
  list.resize(620, 430);
  list.doItemsLayout();
  list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  const Scroll peer = scrollThrough(list.verticalScrollBar(), list.viewport(), reps);

  std::printf("Album grid of %d pictures against Qt's icon view (medians of %d runs); placing one cell takes %.3f us\n",
              kPictures, reps, median(place) * 1000);
  print("building the grid (200 cells, thumbnails)", median(build), median(peerBuild));
  print("reflow on a change of columns (Relayout)", median(relayout), median(peerRelayout));
  print("one scroll step of 60 px, painted", ours.medianMs, peer.medianMs);
  print("worst scroll step", ours.worstMs, peer.worstMs);
  std::printf("scroll steps slower than a 60 Hz frame: %d of %d (album grid), %d of %d (icon view)\n", ours.stalls,
              ours.steps, peer.stalls, peer.steps);
  fs::remove_all(dir);
  return 0;
}
