#include "platform/launcher.h"
#include "platform/testsupport/testsupport.h"

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <vector>

#include <gtest/gtest.h>

namespace {
// Takes the URLs that would go to the desktop's handler of local files.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};
}  // namespace

TEST(Launcher, DocumentsGoToTheDesktopHandlerAsFileUrls) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  std::filesystem::create_directories(adtest::testDir() / "my album#1");
  std::vector<std::string> names = {"help 100%.chm", "\xE5\x86\x99\xE7\x9C\x9F.avi", "index?.htm"};
  for (const auto& n : names) adtest::writeFile(adtest::testDir() / "my album#1" / n, "x");
  for (const auto& n : names) {
    std::string path = (adtest::testDir() / "my album#1" / n).string();
    EXPECT_TRUE(platform::SystemLauncher().openDocument(path));
    ASSERT_FALSE(catcher.urls.empty());
    EXPECT_TRUE(catcher.urls.back().isLocalFile());
    EXPECT_EQ(catcher.urls.back().toLocalFile().toStdString(), path);
  }
  // A relative name is taken from the current folder (the test's folder).
  EXPECT_TRUE(platform::SystemLauncher().openDocument("my album#1/" + names[0]));
  EXPECT_EQ(catcher.urls.back().toLocalFile().toStdString(),
            (adtest::testDir() / "my album#1" / names[0]).string());
  size_t before = catcher.urls.size();
  EXPECT_FALSE(platform::SystemLauncher().openDocument("my album#1/missing.chm"));
  EXPECT_EQ(catcher.urls.size(), before);
  QDesktopServices::unsetUrlHandler("file");
}

#include "launcher_gui_test.moc"
