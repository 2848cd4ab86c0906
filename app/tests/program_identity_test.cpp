// The name the program gives the desktop for its windows is that of its installed desktop
// entry (on Wayland the desktop knows the windows by it alone), and its icon comes in every
// size it installs in the icon theme. (On X11 the desktop test reads both off real windows.)
#include <QGuiApplication>
#include <QIcon>
#include <QSize>
#include <filesystem>

#include <gtest/gtest.h>

#include "program_identity.h"

TEST(ProgramIdentity, NamesTheInstalledDesktopEntryAndCarriesEveryInstalledIconSize) {
  albumdesk::SetProgramIdentity();
  const QString entry = QGuiApplication::desktopFileName();
  EXPECT_EQ(entry.toStdString(), "albumdesk");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(AD_SOURCE_DIR) / "data" / (entry.toStdString() + ".desktop")));
  const QList<QSize> sizes = QGuiApplication::windowIcon().availableSizes();
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(AD_SOURCE_DIR) / "data" / "icons" /
                                        ("albumdesk-" + std::to_string(size) + ".png")));
  }
}
