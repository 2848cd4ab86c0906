// The icon bar's button mechanics: resting places and hit areas, the three looks, hot
// tracking, pressing, unavailable icons and pages shown again after use.
#include "workspace/icons.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/form.h"
#include "workspace/lang.h"

using namespace workspace;

namespace {

class IconPage : public ::testing::Test {
 protected:
  IconPage() : page(&panel, kEnglish) {
    panel.resize(150, 450);
    panel.show();
    std::vector<QPixmap> pictures;
    for (int i = 0; i < 8; ++i) {
      QPixmap p(32, 32);
      p.fill(Qt::blue);
      pictures.push_back(p);
    }
    for (int i = 0; i < 8; ++i) page.AddIcon(pictures, i);
    page.Show(true);
  }
  // The state of every icon, in order.
  std::vector<int> states() const {
    std::vector<int> s;
    for (int i = 0; i < page.Count(); ++i) s.push_back(page.Icon(i)->state);
    return s;
  }

  QWidget panel;
  CIcons page;
};

TEST_F(IconPage, IconsRestInTwoColumnsAndAnswerTheirWholeFrame) {
  struct Case {
    int index, x, y;
  };
  for (const Case& c : {Case{0, 22, 90}, Case{1, 97, 90}, Case{5, 97, 240}, Case{6, 22, 315}}) {
    SCOPED_TRACE(c.index);
    const CIcon* icon = page.Icon(c.index);
    EXPECT_EQ(icon->x, c.x);
    EXPECT_EQ(icon->y, c.y);
    EXPECT_EQ(icon->image()->pos(), QPoint(c.x, c.y));
    // Centred under the icon, kept left of the page's edge at 144.
    EXPECT_EQ(icon->label()->pos(), QPoint(std::min(c.x - (74 - 32) / 2, 144 - 74), c.y + 32 + 4));
    EXPECT_EQ(icon->bevel()->geometry(), QRect(c.x - 20, c.y - 5, 70, 70));
    EXPECT_EQ(platform::tagOf(icon->image()), 256 + c.index);
  }
  // Icon 5's frame covers x 77 to 147 and y 235 to 305, edges included.
  struct Hit {
    int x, y, index;
  };
  for (const Hit& h : {Hit{77, 235, 5}, Hit{147, 305, 5}, Hit{72, 240, 4}, Hit{73, 240, -1}, Hit{76, 240, -1},
                       Hit{148, 240, -1}, Hit{100, 230, 3}, Hit{100, 231, -1}, Hit{100, 310, 7}, Hit{10, 20, -1}}) {
    EXPECT_EQ(page.IndexAt(h.x, h.y), h.index) << h.x << "," << h.y;
  }
}

TEST_F(IconPage, HotPressedAndNormalLooks) {
  CIcon* icon = page.Icon(2);  // rests at 22, 165
  page.MouseMove(30, 170);
  EXPECT_EQ(page.HotIndex(), 2);
  EXPECT_TRUE(page.Captured());
  EXPECT_EQ(icon->image()->pos(), QPoint(21, 164));
  EXPECT_EQ(icon->label()->pos(), QPoint(22 - 21 - 1, 165 + 32 + 3));
  EXPECT_TRUE(icon->bevel()->isVisible());
  EXPECT_EQ(icon->bevel()->frameShadow(), QFrame::Raised);

  page.MouseDown(30, 170);
  EXPECT_EQ(icon->state, CIcon::Pressed);
  EXPECT_EQ(icon->image()->pos(), QPoint(23, 166));
  EXPECT_EQ(icon->label()->pos(), QPoint(22 - 21 + 1, 165 + 32 + 5));
  EXPECT_EQ(icon->bevel()->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(icon->bevel()->pos(), QPoint(2, 160));

  page.MouseUp(30, 170);  // released over it: hot again
  EXPECT_EQ(icon->state, CIcon::Hot);

  page.MouseMove(100, 170);  // on to icon 3
  EXPECT_EQ(states(), (std::vector<int>{0, 0, 0, 1, 0, 0, 0, 0}));
  page.MouseMove(-1, -1);  // off the panel
  EXPECT_EQ(states(), (std::vector<int>(8, 0)));
  EXPECT_FALSE(page.Captured());
  EXPECT_EQ(icon->image()->pos(), QPoint(22, 165));
  EXPECT_FALSE(icon->bevel()->isVisible());

  page.MouseDown(30, 170);
  page.MouseUp(100, 400);  // released elsewhere
  EXPECT_EQ(states(), (std::vector<int>(8, 0)));
}

TEST_F(IconPage, UnavailableIconsStayHiddenAndFlatButStillAnswer) {
  page.SetAvailable(7, false);
  page.Show(true);
  EXPECT_FALSE(page.Icon(7)->image()->isVisible());
  EXPECT_TRUE(page.Icon(6)->image()->isVisible());
  page.MouseMove(100, 330);
  EXPECT_EQ(page.IndexAt(100, 330), 7);
  EXPECT_EQ(page.HotIndex(), 7);
  EXPECT_TRUE(page.Captured());
  EXPECT_EQ(page.Icon(7)->state, CIcon::Normal);
  EXPECT_FALSE(page.Icon(7)->bevel()->isVisible());
  page.MouseDown(100, 330);
  EXPECT_EQ(page.Icon(7)->state, CIcon::Normal);
}

TEST_F(IconPage, ShowingThePageAgainRestsEveryIconAtItsOwnPlace) {
  for (int round = 0; round < 3; ++round) {
    page.MouseMove(30, 95);  // icon 0 hot, 1 pixel up and left
    page.Show(false);
    page.Show(true);
  }
  EXPECT_EQ(page.Icon(0)->image()->pos(), QPoint(22, 90));
  EXPECT_EQ(page.Icon(0)->state, CIcon::Normal);
  EXPECT_EQ(page.HotIndex(), -1);
  page.MouseDown(30, 95);
  page.ResetStates();
  EXPECT_EQ(states(), (std::vector<int>(8, 0)));
}

TEST(IconLabels, WrapInEveryLanguage) {
  QWidget panel;
  CIcons english(&panel, kEnglish), japanese(&panel, kJapanese);
  std::vector<QPixmap> none;
  english.AddIcon(none, 0);
  japanese.AddIcon(none, 0);
  EXPECT_TRUE(english.Icon(0)->label()->wordWrap());
  EXPECT_TRUE(japanese.Icon(0)->label()->wordWrap());
  // A caption too wide for one line breaks between its words where it has a blank.
  japanese.Icon(0)->SetCaption("HTML アルバム");
  EXPECT_EQ(japanese.Icon(0)->label()->text(), "HTML\nアルバム");
  english.Icon(0)->SetCaption("Album");
  EXPECT_EQ(english.Icon(0)->label()->text(), "Album");
}

}  // namespace
