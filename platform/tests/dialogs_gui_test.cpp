#include "platform/dialogs.h"
#include "platform/testsupport/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

using namespace platform;

namespace {
// Runs `act` on the modal dialog that the next call opens, as a user would.
template <class Dialog>
void onNextDialog(std::function<void(Dialog*)> act) {
  QTimer::singleShot(0, [act] {
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!d) {
      ADD_FAILURE() << "no dialog shown";
      if (QWidget* w = QApplication::activeModalWidget()) w->close();
      return;
    }
    act(d);
  });
}
}  // namespace

TEST(Dialogs, QtMessageBoxShowsTheBoxAsAsked) {
  struct Case {
    MsgButtons buttons;
    MsgIcon icon;
    QMessageBox::Icon qicon;
    std::function<void(QMessageBox*)> user;
    MsgAnswer answer;
  } cases[] = {
      {MsgButtons::Ok, MsgIcon::Stop, QMessageBox::Critical,
       [](QMessageBox* b) { b->button(QMessageBox::Ok)->click(); }, MsgAnswer::Ok},
      {MsgButtons::Ok, MsgIcon::Warning, QMessageBox::Warning,
       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, MsgAnswer::Ok},
      {MsgButtons::Ok, MsgIcon::Information, QMessageBox::Information,
       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, MsgAnswer::Ok},
      {MsgButtons::YesNo, MsgIcon::Question, QMessageBox::Question,
       [](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, MsgAnswer::Yes},
      {MsgButtons::YesNo, MsgIcon::Question, QMessageBox::Question,
       [](QMessageBox* b) { b->button(QMessageBox::No)->click(); }, MsgAnswer::No},
      {MsgButtons::YesNo, MsgIcon::Question, QMessageBox::Question,
       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, MsgAnswer::No},
      {MsgButtons::YesNo, MsgIcon::Question, QMessageBox::Question,
       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, MsgAnswer::Yes},
  };
  QWidget owner;
  owner.show();
  for (const auto& c : cases) {
    const std::string text = "Replace <b>IMAGE001.JPG</b>?\nIt exists.";
    QString seenText, seenTitle;
    int seenButtons = 0;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    QWidget* parent = nullptr;
    onNextDialog<QMessageBox>([&, c](QMessageBox* b) {
      seenText = b->text();
      seenTitle = b->windowTitle();
      seenButtons = b->standardButtons();
      seenIcon = b->icon();
      format = b->textFormat();
      parent = b->parentWidget();
      c.user(b);
    });
    EXPECT_EQ(messageBoxes().show(&owner, text, "Album Desk", c.buttons, c.icon), c.answer);
    EXPECT_EQ(seenText.toStdString(), text);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(seenTitle, "Album Desk");
    EXPECT_EQ(seenIcon, c.qicon);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(seenButtons, c.buttons == MsgButtons::Ok ? int(QMessageBox::Ok)
                                                       : int(QMessageBox::Yes | QMessageBox::No));
  }
}

TEST(Dialogs, QtFileDialogGetsTheOptionsAndGivesTheChoice) {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  std::string dir = adtest::testDir().string();
  adtest::writeFile(dir + "/a.jpg", "a");
  adtest::writeFile(dir + "/b.jpg", "b");

  // Save: filter, folder, proposed name, default extension, no overwrite question.
  FileDialog save(FileDialogOptions::Mode::Save);
  save.options.initialDir = dir;
  save.options.fileName = "ALBUM001.qla";
  save.options.filter = "Albums(*.qla)|*.qla|All|*.*";
  save.options.defaultExt = "qla";
  onNextDialog<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);
    EXPECT_TRUE(d->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(d->nameFilters(), QStringList({"Albums (*.qla)", "All (*)"}));
    EXPECT_EQ(d->directory().absolutePath().toStdString(), dir);
    EXPECT_EQ(d->defaultSuffix(), "qla");
    auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "ALBUM001.qla");
    edit->setText("a.jpg");  // an existing name: no question of the dialog's own
    static_cast<QDialog*>(d)->accept();
  });
  ASSERT_TRUE(save.execute(nullptr));
  EXPECT_EQ(save.fileName, dir + "/a.jpg");

  onNextDialog<QFileDialog>([&](QFileDialog* d) {
    d->findChild<QLineEdit*>("fileNameEdit")->setText("trip");
    static_cast<QDialog*>(d)->accept();
  });
  ASSERT_TRUE(save.execute(nullptr));
  EXPECT_EQ(save.fileName, dir + "/trip.qla");

  // Open with several files.
  FileDialog open(FileDialogOptions::Mode::OpenMany);
  open.options.initialDir = dir;
  open.options.filter = "Pictures|*.*";
  onNextDialog<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFiles);
    d->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.jpg\" \"b.jpg\"");
    static_cast<QDialog*>(d)->accept();
  });
  ASSERT_TRUE(open.execute(nullptr));
  EXPECT_EQ(open.files, std::vector<std::string>({dir + "/a.jpg", dir + "/b.jpg"}));

  // Cancelled.
  FileDialog one(FileDialogOptions::Mode::Open);
  onNextDialog<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFile);
    d->reject();
  });
  EXPECT_FALSE(one.execute(nullptr));
  EXPECT_TRUE(one.fileName.empty());
}

// A home folder whose name is not UTF-8: Qt cannot name it, so its dialog cannot show it,
// but a name the user gives in it ("~/...") comes back in that folder, byte for byte.
TEST(Dialogs, QtFileDialogKeepsTheBytesOfAHomeNotInUtf8) {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  const std::string home = (adtest::testDir() / "caf\xe9").string();
  const std::string dir = home + "/Documents/ZEB";
  std::filesystem::create_directories(dir);
  ::setenv("HOME", home.c_str(), 1);
  FileDialog save(FileDialogOptions::Mode::Save);
  save.options.initialDir = dir;
  save.options.fileName = "ALBUM001.qla";
  save.options.filter = "Albums(*.qla)|*.qla";
  save.options.defaultExt = "qla";
  onNextDialog<QFileDialog>([&](QFileDialog* d) {
    d->findChild<QLineEdit*>("fileNameEdit")->setText("~/Documents/ZEB/trip");
    static_cast<QDialog*>(d)->accept();
  });
  ASSERT_TRUE(save.execute(nullptr));
  EXPECT_EQ(save.fileName, dir + "/trip.qla");
}
