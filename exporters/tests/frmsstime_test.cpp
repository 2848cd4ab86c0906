// The slide-show interval dialog: values outside 1..60 are refused until corrected;
// Enter accepts a valid value only; Escape, Cancel and the close box cancel.
#include "exporters/frmsstime.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "exporters/controls.h"
#include "exporters/viewer_forms.h"
#include "viewer_fixture.h"

using exporters::TfrmSSTime;

namespace {

using SSTimeDialog = viewertest::ViewerProgram;

TEST_F(SSTimeDialog, RefusesValuesOutsideOneToSixtyUntilCorrected) {
  struct Case {
    const char* name;
    std::function<void(TfrmSSTime*)> act;  // what the user does while it is shown
    bool closes;                           // the showing ends by the act
    uint8_t cancelled;
    int value;
  };
  auto typed = [](const char* text, int key) {
    return [text, key](TfrmSSTime* d) {
      d->csTime()->selectAll();
      QTest::keyClicks(d->csTime(), text);
      const bool valid = d->csTime()->Valid();
      EXPECT_EQ(d->component<QPushButton>("btnOk")->isEnabled(), valid) << text;
      EXPECT_EQ(d->csTime()->palette().color(QPalette::Text), valid ? QColor(Qt::black) : QColor(Qt::red)) << text;
      if (key) QTest::keyClick(d->csTime(), static_cast<Qt::Key>(key));
    };
  };
  const Case cases[] = {
      {"Enter with 0 does nothing", typed("0", Qt::Key_Return), false, 1, 0},
      {"Enter with 61 does nothing", typed("61", Qt::Key_Enter), false, 1, 61},
      {"Enter with 30 accepts", typed("30", Qt::Key_Return), true, 0, 30},
      {"OK with 60", [&](TfrmSSTime* d) {
         typed("60", 0)(d);
         QTest::mouseClick(d->component<QPushButton>("btnOk"), Qt::LeftButton);
       }, true, 0, 60},
      {"1 then Escape cancels", typed("1", Qt::Key_Escape), true, 1, 1},
      {"Cancel", [](TfrmSSTime* d) { QTest::mouseClick(d->component<QPushButton>("btnCancel"), Qt::LeftButton); },
       true, 1, 7},
      {"the close box", [](TfrmSSTime* d) { d->close(); }, true, 1, 7},
  };
  TfrmSSTime* dialog = exporters::SSTimeForm();
  ASSERT_TRUE(dialog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialog->csTime()->SetValue(7);
    bool stillShown = false;
    QTimer::singleShot(0, dialog, [&] {
      c.act(dialog);
      stillShown = dialog->isVisible() && dialog->modalResult() == platform::mrNone;
      if (stillShown) dialog->close();  // ends the test's showing
    });
    dialog->showModal();
    EXPECT_EQ(stillShown, !c.closes);
    EXPECT_EQ(dialog->Cancelled, c.cancelled);
    EXPECT_EQ(dialog->csTime()->value(), c.value);
  }
  EXPECT_EQ(dialog->windowTitle().toStdString(), msg("TI_SSTIME"));
}

}  // namespace
