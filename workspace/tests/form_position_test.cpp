// Window positions kept in the settings file: the table of stored values and what the
// window becomes, and what is saved.
#include "workspace/form_position.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include "platform/form.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/profile.h"

using namespace workspace;

namespace {

struct Stored {
  std::optional<int32_t> top, left, width, height;
};

class Positions : public ::testing::Test {
 protected:
  Positions() : profile((adtest::testDir() / "ZEB").string() + "/", (adtest::testDir() / "app").string()) {
    form.setObjectName("frmView");
    form.resize(320, 200);
    QScreen* s = QGuiApplication::primaryScreen();
    area = s->availableGeometry();
    screen = s->geometry().size();
  }
  void store(const Stored& v) {
    if (v.top) profile.WriteInt("frmView", "Top", *v.top);
    if (v.left) profile.WriteInt("frmView", "Left", *v.left);
    if (v.width) profile.WriteInt("frmView", "Width", *v.width);
    if (v.height) profile.WriteInt("frmView", "Height", *v.height);
  }
  CProfile profile;
  platform::Form form;
  QRect area;
  QSize screen;
};

TEST_F(Positions, StoredValuesGiveThePlaceOrTheCentredDefault) {
  struct Case {
    const char* name;
    bool sizeable;
    Stored stored;
    bool result;
    QRect expected;  // an empty rectangle: the default of the case
  };
  const Case cases[] = {
      {"nothing stored, sizeable", true, {}, false, {}},
      {"nothing stored, fixed", false, {}, false, {}},
      {"all four", true, {30, 40, 500, 350}, true, QRect(40, 30, 500, 350)},
      {"above the work area", true, {-20, 40, 500, 350}, true, QRect(40, 0, 500, 350)},
      {"left of the work area", true, {30, -300, 500, 350}, true, QRect(0, 30, 500, 350)},
      {"beyond the right edge", true, {30, 5000, 500, 350}, false, {}},
      {"below the bottom", true, {5000, 40, 500, 350}, false, {}},
      {"width -1", true, {30, 40, -1, 350}, false, {}},
      {"height 0", true, {30, 40, 500, 0}, false, {}},
      {"width missing", true, {30, 40, {}, 350}, false, {}},
      {"left missing", true, {30, {}, 500, 350}, false, {}},
      {"fixed keeps its size", false, {30, 40, 500, 350}, true, QRect(40, 30, 320, 200)},
      {"fixed ignores a bad size", false, {30, 40, -1, 0}, true, QRect(40, 30, 320, 200)},
      // Larger than the screen: cut to its work area, the corner where it was.
      {"the largest size", true, {30, 40, INT32_MAX, INT32_MAX}, true, QRect(40, 30, area.width(), area.height())},
      {"a width beyond the screen", true, {30, 40, area.width() + 1, 350}, true, QRect(40, 30, area.width(), 350)},
      {"the screen's size", true, {30, 40, area.width(), area.height()}, true,
       QRect(40, 30, area.width(), area.height())},
      {"the farthest corner above and left", true, {INT32_MIN, INT32_MIN, 500, 350}, true,
       QRect(area.left(), area.top(), 500, 350)},
      {"the farthest corner below", true, {INT32_MAX, 40, 500, 350}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(profile.SettingsPath());
    store(c.stored);
    form.setBorderStyle(c.sizeable ? platform::BorderStyle::Sizeable : platform::BorderStyle::Dialog);
    form.resize(320, 200);
    EXPECT_EQ(LoadFormPosition(&form, profile), c.result);
    QRect expected = c.expected;
    if (expected.isEmpty()) {
      const QSize size = c.sizeable ? QSize(screen.width() / 2, screen.height() / 2) : QSize(320, 200);
      expected = QRect(QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2), size);
    }
    EXPECT_EQ(QRect(form.pos(), form.size()), expected);
  }
}

TEST_F(Positions, SavingWritesTopLeftHeightWidthAndTheRestoredPlace) {
  form.setBorderStyle(platform::BorderStyle::Dialog);  // saved whatever the border
  form.move(12, 34);
  form.resize(300, 150);
  SaveFormPosition(&form, profile);
  EXPECT_EQ(adtest::readFile(profile.SettingsPath()), "[frmView]\nTop=34\nLeft=12\nHeight=150\nWidth=300\n");

  platform::Form big;
  big.setObjectName("frmMain");
  big.setGeometry(50, 60, 400, 300);
  big.show();
  const QPoint corner = big.pos();
  big.showMaximized();
  ASSERT_TRUE(big.isMaximized());
  SaveFormPosition(&big, profile);
  int32_t v = 0;
  ASSERT_TRUE(profile.ReadInt("frmMain", "Width", v));
  EXPECT_EQ(v, 400);
  ASSERT_TRUE(profile.ReadInt("frmMain", "Top", v));
  EXPECT_EQ(v, corner.y());
  ASSERT_TRUE(profile.ReadInt("frmMain", "Left", v));
  EXPECT_EQ(v, corner.x());
}

}  // namespace
