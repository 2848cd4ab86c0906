// The album and its grid on offscreen widgets: layout, selection by mouse, the dense
// slots under additions, moves and deletions, the files that go with an item, and the
// scrolling while something is dragged.
#include "workspace/flames.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "album_fixtures.h"
#include "platform/form.h"
#include "workspace/sframe.h"

using namespace workspace;
namespace fs = std::filesystem;

namespace {

struct RecordingHost : GridHost {
  std::vector<std::string> log;
  void CellPressed(int index) override { log.push_back("pressed " + std::to_string(index)); }
  void CellContextMenu(int index, QPoint) override { log.push_back("menu " + std::to_string(index)); }
  void StartDrag() override { log.push_back("drag"); }
  void CellDoubleClicked() override { log.push_back("view"); }
};

class Album : public ::testing::Test {
 protected:
  Album() {
    area.setFrameShape(QFrame::NoFrame);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resizeView(361);
    area.show();
    album = std::make_unique<IFlames>(&area, &host);
  }

  // The view becomes `width` wide (the scroll bar beside it).
  void resizeView(int width) { area.resize(width + area.verticalScrollBar()->sizeHint().width(), 300); }

  // Items 0 to n-1, each with a thumbnail and a working copy of its own.
  void fill(int n) {
    for (int i = 0; i < n; ++i) {
      const int k = album->Count();
      const fs::path dir = adtest::testDir() / "work";
      const std::string thumb = adtest::writePicture(dir / ("zbm1" + std::to_string(100 + k) + "TN.bmp"), adtest::colourOf(k));
      const std::string work = adtest::writePicture(dir / ("zbm1" + std::to_string(100 + k) + ".bmp"), adtest::colourOf(k), 200, 150);
      ASSERT_TRUE(album->AddItem(k, thumb));
      FlameInfo& r = *album->Record(k);
      r.width = static_cast<uint16_t>(200 + k);
      r.titleNo = static_cast<uint16_t>(k);
      r.sourceTime = 1000 + k;
      r.thumbPath = thumb;
      r.workPath = work;
    }
  }

  std::set<int> selected() const {
    std::set<int> s;
    for (int i = 0; i < album->Count(); ++i)
      if (album->Cell(i)->selected()) s.insert(i);
    return s;
  }

  void click(int index, Qt::KeyboardModifiers mods = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(album->Cell(index)->panel(), button, mods, QPoint(50, 50));
  }

  QRgb shownColour(int index) const { return album->Cell(index)->picture()->pixmap().toImage().pixel(10, 10); }

  QScrollArea area;
  RecordingHost host;
  std::unique_ptr<IFlames> album;
};

TEST_F(Album, LaysCellsOutInColumnsOfTheViewWidth) {
  struct Case {
    int viewWidth, index, columns;
    QPoint pos;
  };
  const Case cases[] = {
      {361, 5, 3, {239, 111}},  // 361 / 118 = 3 columns
      {361, 0, 3, {3, 3}},
      {117, 4, 1, {3, 435}},    // narrower than one cell: one column
      {118, 1, 1, {3, 111}},
      {590, 7, 5, {239, 111}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.viewWidth);
    resizeView(c.viewWidth);
    ASSERT_EQ(area.viewport()->width(), c.viewWidth);
    QPoint pos;
    EXPECT_EQ(album->CellPos(c.index, pos), c.columns);
    EXPECT_EQ(pos, c.pos);
  }
}

TEST_F(Album, ReflowsWhenTheColumnsChangeAndKeepsTheScrollRangeToTheLastRow) {
  fill(10);
  EXPECT_EQ(album->Cell(5)->panel()->pos(), QPoint(239, 111));
  area.verticalScrollBar()->setValue(50);
  resizeView(480);  // four columns
  album->Relayout();
  EXPECT_EQ(album->Columns(), 480 / 118);
  EXPECT_EQ(area.verticalScrollBar()->value(), 0);
  EXPECT_EQ(album->Cell(5)->panel()->pos(), QPoint(121, 111));
  // Three rows of 108 under a view of 300: the range reaches the last cell.
  EXPECT_EQ(area.widget()->height(), 3 * 108 + 3);
  EXPECT_EQ(album->Cell(9)->label()->text(), "010");
}

TEST_F(Album, MouseSelectionFollowsClickShiftAndCtrl) {
  struct Step {
    int index;
    Qt::KeyboardModifiers mods;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::set<int> expected;
  };
  const Case cases[] = {
      {"a click selects one", {{4, Qt::NoModifier}}, {4}},
      {"shift with nothing selected selects from the first", {{7, Qt::ShiftModifier}}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"shift below extends down", {{2, Qt::NoModifier}, {5, Qt::ShiftModifier}, {9, Qt::ShiftModifier}},
       {2, 3, 4, 5, 6, 7, 8, 9}},
      {"shift above keeps the last", {{2, Qt::NoModifier}, {5, Qt::ShiftModifier}, {0, Qt::ShiftModifier}},
       {0, 1, 2, 3, 4, 5}},
      {"ctrl adds and removes one", {{2, Qt::NoModifier}, {3, Qt::ControlModifier}, {6, Qt::ControlModifier},
                                     {3, Qt::ControlModifier}}, {2, 6}},
      {"ctrl wins over shift", {{1, Qt::NoModifier}, {4, Qt::ControlModifier | Qt::ShiftModifier}}, {1, 4}},
      {"a plain click on a member narrows to it", {{2, Qt::NoModifier}, {6, Qt::ShiftModifier}, {4, Qt::NoModifier}},
       {4}},
  };
  fill(10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    album->SelectAll(false);
    for (const Step& s : c.steps) click(s.index, s.mods);
    EXPECT_EQ(selected(), c.expected);
    EXPECT_EQ(album->SelectedCount(), static_cast<int>(c.expected.size()));
    EXPECT_EQ(album->FirstSelected(), *c.expected.begin());
    EXPECT_EQ(album->LastSelected(), *c.expected.rbegin());
    EXPECT_EQ(IFlames::PressedIndex, IFlames::kNotPressed);
  }
  album->SelectAll(false);
  EXPECT_EQ(album->FirstSelected(), 4095);
  EXPECT_EQ(album->LastSelected(), 0);
}

TEST_F(Album, RightClickKeepsTheSelectionAndPressingAMemberKeepsItForTheDrag) {
  fill(6);
  album->SelectRange(1, 3);
  host.log.clear();
  QTest::mousePress(album->Cell(5)->panel(), Qt::RightButton, {}, QPoint(50, 50));
  QTest::mouseRelease(album->Cell(5)->panel(), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_EQ(selected(), (std::set<int>{1, 2, 3}));
  EXPECT_EQ(host.log, (std::vector<std::string>{"pressed 5"}));

  // Pressing a member and moving starts the drag of the whole selection; the release
  // that follows the drag narrows nothing.
  QWidget* cell = album->Cell(2)->panel();
  QTest::mousePress(cell, Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_TRUE(album->ButtonDown());
  QTest::mouseMove(cell, QPoint(51, 50));  // a tremble is no drag
  EXPECT_EQ(host.log.back(), "pressed 2");
  QMouseEvent move(QEvent::MouseMove, QPointF(80, 60), cell->mapToGlobal(QPointF(80, 60)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(cell, &move);
  EXPECT_EQ(host.log.back(), "drag");
  EXPECT_FALSE(album->ButtonDown());
  EXPECT_EQ(selected(), (std::set<int>{1, 2, 3}));

  QTest::mouseDClick(album->Cell(4)->panel(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(host.log.back(), "view");
}

TEST_F(Album, DeletingClosesTheGapsWithWholeRecordsAndRemovesTheFiles) {
  fill(5);
  std::vector<FlameInfo> before;
  for (int i = 0; i < 5; ++i) before.push_back(*album->Record(i));
  album->SelectRange(1, 1);
  click(3, Qt::ControlModifier);
  ASSERT_TRUE(album->DeleteSelected(true));

  ASSERT_EQ(album->Count(), 3);
  const int kept[] = {0, 2, 4};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(*album->Record(i), before[static_cast<size_t>(kept[i])]);
    EXPECT_EQ(album->Cell(i)->label()->text(), QString::asprintf("%03d", i + 1));
    EXPECT_EQ(shownColour(i), adtest::colourOf(kept[i]).rgb());
    EXPECT_FALSE(album->Cell(i)->selected());
    EXPECT_TRUE(fs::exists(before[static_cast<size_t>(kept[i])].workPath));
    EXPECT_TRUE(fs::exists(before[static_cast<size_t>(kept[i])].thumbPath));
  }
  for (int gone : {1, 3}) {
    EXPECT_FALSE(fs::exists(before[static_cast<size_t>(gone)].workPath));
    EXPECT_FALSE(fs::exists(before[static_cast<size_t>(gone)].thumbPath));
  }
  EXPECT_EQ(album->Cell(3), nullptr);
  EXPECT_EQ(album->SelectedCount(), 0);
  EXPECT_FALSE(album->DeleteSelected(true));  // nothing selected
}

TEST_F(Album, DeletingWithoutFilesOrEverythingMovesNothing) {
  fill(4);
  std::vector<FlameInfo> before;
  for (int i = 0; i < 4; ++i) before.push_back(*album->Record(i));
  album->SelectRange(0, 3);
  ASSERT_TRUE(album->DeleteSelected(false));
  EXPECT_EQ(album->Count(), 0);
  EXPECT_TRUE(area.widget()->findChildren<QFrame*>().empty());
  for (const auto& r : before) EXPECT_TRUE(fs::exists(r.workPath)) << r.workPath;
}

TEST_F(Album, FilesNamedByAnotherPictureStay) {
  fill(3);
  // Item 2 names item 0's working copy; item 1 names item 0's thumbnail.
  album->Record(2)->workPath = album->Record(0)->workPath;
  album->Record(1)->thumbPath = album->Record(0)->thumbPath;
  const FlameInfo first = *album->Record(0);
  const std::string ownThumb2 = album->Record(2)->thumbPath;
  album->SelectRange(0, 0);
  album->DeleteSelected(true);
  EXPECT_TRUE(fs::exists(first.workPath));
  EXPECT_TRUE(fs::exists(first.thumbPath));

  // Removing both that still name it, in one go, removes it.
  album->SelectRange(0, 1);
  album->DeleteSelected(true);
  EXPECT_FALSE(fs::exists(first.workPath));
  EXPECT_FALSE(fs::exists(first.thumbPath));
  EXPECT_FALSE(fs::exists(ownThumb2));
  EXPECT_EQ(album->Count(), 0);
}

TEST_F(Album, SlotsStayDense) {
  fill(3);
  const std::string thumb = album->Record(0)->thumbPath;
  EXPECT_FALSE(album->AddItem(5, thumb));   // a gap
  EXPECT_FALSE(album->AddItem(1, thumb));   // an occupied slot
  EXPECT_FALSE(album->MoveItem(4, 0));      // a gap
  EXPECT_FALSE(album->MoveItem(1, 3));      // no such source
  EXPECT_FALSE(album->MoveItem(-1, 0));
  EXPECT_EQ(album->Count(), 3);
  ASSERT_TRUE(album->MoveItem(3, 1));       // onto the end: a new item
  EXPECT_EQ(album->Count(), 4);
  EXPECT_EQ(*album->Record(3), *album->Record(1));
  EXPECT_EQ(shownColour(3), adtest::colourOf(1).rgb());

  // A full album takes nothing more, at any index.
  fill(kAlbumLimit - album->Count());
  ASSERT_EQ(album->Count(), kAlbumLimit);
  EXPECT_FALSE(album->AddItem(kAlbumLimit, thumb));
  EXPECT_FALSE(album->MoveItem(kAlbumLimit, 0));
  EXPECT_FALSE(album->MoveItem(kAlbumLimit + 5, 0));
  for (int i = 0; i < kAlbumLimit; ++i) ASSERT_NE(album->Record(i), nullptr) << i;
  EXPECT_EQ(album->Cell(199)->label()->text(), "200");
}

TEST_F(Album, RemoveLastTakesTheFilesAndEmptyIsMinusOne) {
  fill(2);
  const FlameInfo last = *album->Record(1);
  EXPECT_EQ(album->RemoveLast(), 0);
  EXPECT_FALSE(fs::exists(last.workPath));
  EXPECT_EQ(album->RemoveLast(), -1);
  EXPECT_EQ(album->RemoveLast(), -1);
}

TEST_F(Album, PreviousAndNextSelected) {
  fill(12);
  for (int i : {2, 5, 9}) click(i, Qt::ControlModifier);
  EXPECT_EQ(album->NextSelected(5), 9);
  EXPECT_EQ(album->PrevSelected(9), 5);
  EXPECT_EQ(album->PrevSelected(2), 2);  // the first selected
  EXPECT_EQ(album->NextSelected(9), 9);  // the last selected
  EXPECT_EQ(album->NextSelected(3), 5);
}

TEST_F(Album, RectangleSelectsByCellCentreStrictlyInside) {
  fill(6);  // 3 columns: centres at x 60, 178, 296 and y 55, 163
  album->SelectInRect(0, 0, 178, 200);
  EXPECT_EQ(selected(), (std::set<int>{0, 3}));  // centre x 178 is on the edge: outside
  album->SelectInRect(0, 0, 179, 163);
  EXPECT_EQ(selected(), (std::set<int>{0, 1}));
  EXPECT_TRUE(album->IsCentreInside(4, 100, 100, 200, 200));
  EXPECT_FALSE(album->IsCentreInside(4, 178, 100, 200, 200));
  EXPECT_EQ(album->IndexAt(area.widget()->mapToGlobal(QPoint(239 + 50, 111 + 50))), 5);
  EXPECT_EQ(album->IndexAt(area.widget()->mapToGlobal(QPoint(239, 111))), -1);  // on the edge
  EXPECT_EQ(album->IndexAt(area.widget()->mapToGlobal(QPoint(1, 1))), -1);
}

TEST_F(Album, DraggingNearAnEdgeScrollsByTheDistanceAtMostEvery30Ms) {
  fill(30);  // 10 rows: a vertical bar
  QScrollBar* bar = area.verticalScrollBar();
  ASSERT_TRUE(bar->isVisible());
  const int height = area.viewport()->height();
  auto at = [&](int y) { return area.viewport()->mapToGlobal(QPoint(100, y)); };
  platform::ManualClock clock;
  clock.advance(std::chrono::seconds(5));

  bar->setValue(100);
  album->DragAutoScroll(at(0), clock);
  EXPECT_EQ(bar->value(), 80);
  album->DragAutoScroll(at(0), clock);  // within 30 ms
  EXPECT_EQ(bar->value(), 80);
  clock.advance(std::chrono::milliseconds(30));
  album->DragAutoScroll(at(15), clock);
  EXPECT_EQ(bar->value(), 75);
  clock.advance(std::chrono::milliseconds(30));
  album->DragAutoScroll(at(height / 2), clock);  // the middle: nothing
  EXPECT_EQ(bar->value(), 75);
  bar->setValue(10);
  clock.advance(std::chrono::milliseconds(30));
  album->DragAutoScroll(at(0), clock);
  EXPECT_EQ(bar->value(), 0);

  bar->setValue(bar->maximum() - 3);
  clock.advance(std::chrono::milliseconds(30));
  album->DragAutoScroll(at(height), clock);
  EXPECT_EQ(bar->value(), bar->maximum());
  clock.advance(std::chrono::milliseconds(30));
  bar->setValue(bar->maximum() - 30);
  album->DragAutoScroll(at(height - 5), clock);
  EXPECT_EQ(bar->value(), bar->maximum() - 15);
  clock.advance(std::chrono::milliseconds(30));
  album->DragAutoScroll(at(height + 1), clock);  // outside the view
  EXPECT_EQ(bar->value(), bar->maximum() - 15);
}

}  // namespace
