// The icon bar under a window manager, clicked as a user clicks it: the X server sends the
// click to whatever widget lies under the pointer (the tab picture over the top rows, the
// bar below them), and each click runs its icon's command once.
#include <QAction>
#include <QLabel>
#include <QTest>
#include <functional>
#include <map>

#include "main_window_fixture.h"
#include "platform/testsupport/desktop.h"
#include "workspace/icons.h"

namespace {

class IconBar : public MainWindow {
 protected:
  // Clicks at a point of the bar with the real pointer and lets the program take the click:
  // waits until `handled` holds (on a busy machine the X server's events may take a while),
  // then a moment more, so that a second run of the same click would have come too.
  void click(QPoint inBar, const std::function<bool()>& handled) {
    const QPoint at = named("pnlIco")->mapToGlobal(inBar);
    ASSERT_TRUE(adtest::clickAt(at.x(), at.y()));
    EXPECT_TRUE(QTest::qWaitFor(handled, 20000)) << "the click was not taken";
    QTest::qWait(300);
  }
};

TEST_F(IconBar, EachClickOnAnIconRunsItsCommandOnce) {
  AD_REQUIRE_TOOL("xdotool");
  start();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frmMain));
  addPictures(2);

  std::map<std::string, int> runs;
  for (QAction* a : frmMain->findChildren<QAction*>()) {
    const std::string name = a->objectName().toStdString();
    QObject::connect(a, &QAction::triggered, [&runs, name] { ++runs[name]; });
  }
  struct Icon {
    int page;  // 1 import, 0 export
    int index;
    const char* command;
  };
  // The icons of the workspace's own commands; their two rows lie under the tab picture.
  const Icon icons[] = {{0, 0, "mnuAlbumSave"}, {0, 1, "mnuImgSave"}, {0, 2, "mnuMail"}, {1, 0, "mnuAlbumOpen"},
                        {1, 1, "mnuImgOpen"}};
  for (const Icon& icon : icons) {
    SCOPED_TRACE(icon.command);
    const QPoint tab = icon.page == 1 ? QPoint(30, 40) : QPoint(110, 40);
    click(tab, [&] { return frmMain->IconPage == icon.page; });
    ASSERT_EQ(frmMain->IconPage, icon.page);
    CIcons& page = icon.page == 1 ? frmMain->ImportIcons() : frmMain->ExportIcons();
    QLabel* image = page.Icon(icon.index)->image();
    const QPoint centre = image->mapTo(named("pnlIco"), image->rect().center());
    if (std::string(icon.command) == "mnuMail") boxes.queue(platform::MsgAnswer::Yes);  // mail them all
    const size_t fileDialogs = dialogs.shown().size(), questions = boxes.shown().size();
    const size_t started = launcher.programs().size();
    runs.clear();
    click(centre, [&] { return runs[icon.command] > 0; });
    EXPECT_EQ(runs[icon.command], 1);
    // What the user sees: one dialog or question per click (for mail, the selection
    // question and then the mail program).
    EXPECT_EQ(dialogs.shown().size() - fileDialogs + boxes.shown().size() - questions +
                  launcher.programs().size() - started,
              icon.command == std::string("mnuMail") ? 2u : 1u);
  }
  EXPECT_EQ(launcher.programs().size(), 1u) << "the mail program";
}

}  // namespace
