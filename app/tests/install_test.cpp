// albumdesk installed as users and packagers install it, with cmake --install: into a
// staging folder (DESTDIR) under the prefix /usr/local, and into a prefix of its own. The
// installed tree holds what the program needs and nothing of the build; the installed
// program starts on a virtual display, loads its libraries from its own folder and shows
// the picture of its command line; the desktop finds its entry, icon and album types; and
// a C program builds against the installed headers and libraries through pkg-config and
// uses both libraries.
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QSize>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop_fixture.h"
#include "platform/testsupport/testsupport.h"

namespace {

const fs::path kBuildDir = AD_BUILD_DIR;
const std::vector<std::string> kLibraries = {"libQm6Com.so", "libQm6File.so", "libQm6Effect.so", "libQm6Jpeg.so",
                                             "libzeb_dv32.so"};
const std::vector<std::string> kDataFiles = {"kbx40.cpt", "kbx40.sty", "wro10_e.dat", "wro10_j.dat", "wro10_m.dat"};
const std::vector<std::string> kHeaders = {"zeb_dv32.h", "qm6jpeg.h", "qm6com.h"};
const std::vector<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's binaries in its installed folder: the program, the mail program once it is
// built, and the libraries.
std::vector<std::string> binaries() {
  std::vector<std::string> names{"albumdesk"};
#ifdef AD_INSTALLS_MAIL_PROGRAM
  names.push_back("ZEB_RLM.EXE");
#endif
  names.insert(names.end(), kLibraries.begin(), kLibraries.end());
  return names;
}

// Runs cmake --install on the build, into the staging folder `stage` when one is given.
// Returns the installed tree: the prefix, within the staging folder if there is one.
fs::path install(const fs::path& stage, const fs::path& prefix) {
  std::vector<std::string> argv{"env", "-u", "DESTDIR"};
  if (!stage.empty()) argv.push_back("DESTDIR=" + stage.string());
  for (const std::string a : {AD_CMAKE, "--install", kBuildDir.c_str(), "--prefix", prefix.c_str()}) argv.push_back(a);
  std::string out, err;
  EXPECT_EQ(adtest::runProgram(argv, &out, &err), 0) << out << err;
  return stage.empty() ? prefix : stage / prefix.relative_path();
}

// Standard output of a program that must succeed.
std::string output(const std::vector<std::string>& argv) {
  std::string out, err;
  EXPECT_EQ(adtest::runProgram(argv, &out, &err), 0) << argv[0] << ": " << err;
  return out;
}

// The run paths a binary carries, as "RUNPATH <value>" and "RPATH <value>" lines.
std::string runPaths(const fs::path& binary) {
  std::string found;
  for (const std::string& line : lines(output({"readelf", "-d", binary.string()}))) {
    for (const std::string kind : {"RUNPATH", "RPATH"}) {
      const size_t open = line.find('['), at = line.find("(" + kind + ")");
      if (at != std::string::npos && open != std::string::npos) {
        found += kind + " " + line.substr(open + 1, line.rfind(']') - open - 1) + "\n";
      }
    }
  }
  return found;
}

QImage filled(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

TEST(InstalledTree, StagedTreeHoldsWhatTheProgramNeedsAndNothingOfTheBuild) {
  for (const char* tool : {"readelf", "ldd", "pkg-config"}) AD_REQUIRE_TOOL(tool);
  const fs::path root = install(adtest::testDir() / "stage", "/usr/local");
  const fs::path dir = root / "lib/albumdesk";

  // The program's folder holds the program, its libraries and its data, and no test,
  // benchmark or stand-in of the build folder.
  std::set<std::string> expected(kDataFiles.begin(), kDataFiles.end());
  for (const std::string& b : binaries()) expected.insert(b);
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir)) found.insert(entry.path().filename().string());
  EXPECT_EQ(found, expected);
  for (const std::string& f : kDataFiles) {
    EXPECT_EQ(adtest::readFile(dir / f), adtest::readFile(kBuildDir / "bin" / f)) << f;
  }
  ASSERT_TRUE(fs::is_symlink(root / "bin/albumdesk"));
  EXPECT_EQ(fs::read_symlink(root / "bin/albumdesk"), "../lib/albumdesk/albumdesk");
  EXPECT_TRUE(fs::equivalent(root / "bin/albumdesk", dir / "albumdesk"));

  // Each binary finds the others beside itself, whatever folder the tree is moved to,
  // and nothing it needs is missing. It is installed as it was built: neither copy
  // searches the build folder or the current folder (an empty entry).
  const std::string canonicalDir = fs::canonical(dir).string();
  for (const std::string& binary : binaries()) {
    SCOPED_TRACE(binary);
    EXPECT_EQ(runPaths(dir / binary), "RUNPATH $ORIGIN\n");
    EXPECT_EQ(runPaths(kBuildDir / "bin" / binary), "RUNPATH $ORIGIN\n");
    const std::string ldd = output({"env", "-u", "LD_LIBRARY_PATH", "ldd", (dir / binary).string()});
    EXPECT_EQ(ldd.find("not found"), std::string::npos) << ldd;
    for (const std::string& library : kLibraries) {
      const size_t at = ldd.find(library + " => ");
      if (at == std::string::npos) continue;
      const std::string line = ldd.substr(at, ldd.find('\n', at) - at);
      EXPECT_NE(line.find(" => " + canonicalDir + "/" + library + " "), std::string::npos) << line;
    }
  }

  // Headers and pkg-config files for other programs, naming the final folders.
  for (const std::string& h : kHeaders) EXPECT_TRUE(fs::is_regular_file(root / "include/albumdesk" / h)) << h;
  const std::string pcPath = "PKG_CONFIG_PATH=" + (root / "lib/pkgconfig").string();
  for (const char* package : {"zeb_dv32", "qm6jpeg"}) {
    EXPECT_EQ(output({"env", pcPath, "pkg-config", "--variable=libdir", package}), "/usr/local/lib/albumdesk\n");
    EXPECT_EQ(output({"env", pcPath, "pkg-config", "--variable=includedir", package}),
              "/usr/local/include/albumdesk\n");
  }

  // The desktop's caches are for the package to make on the machine it is installed on.
  EXPECT_FALSE(fs::exists(root / "share/mime/mime.cache"));
  EXPECT_FALSE(fs::exists(root / "share/icons/hicolor/icon-theme.cache"));
}

// The program's icon, as the desktop finds it for the program's entry and its album types.
TEST(InstalledTree, DesktopFindsTheIconOfTheProgramAndItsAlbumTypes) {
  for (const char* tool : {"update-mime-database", "gtk-update-icon-cache"}) AD_REQUIRE_TOOL(tool);
  const fs::path share = install(adtest::testDir() / "stage", "/usr/local") / "share";
  EXPECT_NE(adtest::readFile(share / "applications/albumdesk.desktop").find("\nIcon=albumdesk\n"), std::string::npos);
  for (int size : kIconSizes) {
    const QString file = QString::fromStdString((share / "icons/hicolor").string() + "/%1x%1/apps/albumdesk.png");
    const QImage icon(file.arg(size));
    EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    EXPECT_TRUE(icon.hasAlphaChannel()) << size;
  }

  // The caches as the package's installation makes them.
  EXPECT_EQ(adtest::runProgram({"update-mime-database", (share / "mime").string()}), 0);
  EXPECT_EQ(adtest::runProgram({"gtk-update-icon-cache", "-q", "-f", "-t", (share / "icons/hicolor").string()}), 0);
  EXPECT_NE(adtest::readFile(share / "icons/hicolor/icon-theme.cache").find("albumdesk"), std::string::npos);

  // What a Qt program of the desktop sees with the installed folder among its data
  // folders: the program's icon on both album types, and in every size of the theme.
  ::setenv("XDG_DATA_DIRS", (share.string() + ":/usr/share").c_str(), 1);
  const QMimeDatabase mime;
  for (const char* ext : {"qla", "wza"}) {
    const QMimeType type = mime.mimeTypeForFile(QString("trip.%1").arg(ext), QMimeDatabase::MatchExtension);
    EXPECT_EQ(type.name(), QString("application/x-albumdesk-%1").arg(ext));
    EXPECT_EQ(type.iconName(), "albumdesk") << ext;
  }
  QIcon::setThemeSearchPaths({QString::fromStdString((share / "icons").string()), "/usr/share/icons"});
  QIcon::setThemeName("hicolor");
  std::set<int> sizes;
  for (const QSize& size : QIcon::fromTheme("albumdesk").availableSizes()) {
    EXPECT_EQ(size.width(), size.height());
    sizes.insert(size.width());
  }
  EXPECT_EQ(sizes, std::set<int>(kIconSizes.begin(), kIconSizes.end()));
}

TEST(InstalledTree, InstallIntoTheRunningSystemRefreshesTheDesktopCaches) {
  for (const char* tool : {"update-mime-database", "gtk-update-icon-cache"}) AD_REQUIRE_TOOL(tool);
  // Another program's icon and the icon cache made when it was installed: left as it is,
  // that cache would hide the new icon.
  const fs::path prefix = adtest::testDir() / "usr";
  const fs::path hicolor = prefix / "share/icons/hicolor";
  fs::create_directories(hicolor / "48x48/apps");
  ASSERT_TRUE(filled(48, 48, Qt::green).save(QString::fromStdString((hicolor / "48x48/apps/other.png").string())));
  ASSERT_EQ(adtest::runProgram({"gtk-update-icon-cache", "-q", "-t", hicolor.string()}), 0);
  ASSERT_EQ(adtest::readFile(hicolor / "icon-theme.cache").find("albumdesk"), std::string::npos);

  // Twice: installing again over an installed tree works as well.
  install({}, prefix);
  install({}, prefix);
  const std::string cache = adtest::readFile(hicolor / "icon-theme.cache");
  EXPECT_NE(cache.find("albumdesk"), std::string::npos);
  EXPECT_NE(cache.find("other"), std::string::npos);
  const std::string icons = adtest::readFile(prefix / "share/mime/icons");
  EXPECT_NE(icons.find("application/x-albumdesk-qla:albumdesk\n"), std::string::npos) << icons;
  EXPECT_NE(icons.find("application/x-albumdesk-wza:albumdesk\n"), std::string::npos) << icons;
  EXPECT_TRUE(fs::equivalent(prefix / "bin/albumdesk", prefix / "lib/albumdesk/albumdesk"));
  // No desktop entry cache was there, so none is made.
  EXPECT_FALSE(fs::exists(prefix / "share/applications/mimeinfo.cache"));
}

TEST(InstalledLibraries, CProgramBuildsAgainstTheInstalledHeadersAndLibrariesAndUsesThem) {
  for (const char* tool : {"ffmpeg", "pkg-config"}) AD_REQUIRE_TOOL(tool);
  const fs::path dir = adtest::testDir();
  // A 525/60 DV frame of one colour and a JPEG picture of another.
  std::string err;
  ASSERT_EQ(adtest::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                "color=c=0x1e96dc:size=720x480:rate=30000/1001", "-frames:v", "1", "-pix_fmt",
                                "yuv411p", "-c:v", "dvvideo", "-f", "dv", (dir / "frame.dv").string()},
                               nullptr, &err),
            0)
      << err;
  ASSERT_TRUE(filled(320, 200, QColor(200, 40, 90)).save(QString::fromStdString((dir / "picture.jpg").string()),
                                                          "JPG", 95));

  // Staged, pkg-config's sysroot points into the staging folder and the libraries are
  // found through the loader's path; installed into a prefix, the program finds them by
  // the run path the pkg-config file gives it.
  struct Form {
    const char* name;
    fs::path stage, prefix;
  } forms[] = {{"staged", dir / "stage", "/usr/local"}, {"prefix", {}, dir / "prefix"}};
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const fs::path root = install(form.stage, form.prefix);
    std::vector<std::string> env{"env", "PKG_CONFIG_PATH=" + (root / "lib/pkgconfig").string()};
    if (!form.stage.empty()) env.push_back("PKG_CONFIG_SYSROOT_DIR=" + form.stage.string());
    std::vector<std::string> pkgConfig = env;
    for (const char* a : {"pkg-config", "--cflags", "--libs", "zeb_dv32", "qm6jpeg"}) pkgConfig.push_back(a);
    const std::string flags = output(pkgConfig);
    EXPECT_NE(flags.find("-I" + (root / "include/albumdesk").string()), std::string::npos) << flags;

    const fs::path program = dir / (std::string("client-") + form.name);
    std::vector<std::string> cc{AD_C_COMPILER, "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic",
                                std::string(AD_SOURCE_DIR) + "/tests/data/library_client.c", "-o", program.string()};
    if (AD_SANITIZE) cc.push_back("-fsanitize=address,undefined");
    std::istringstream words(flags);
    for (std::string w; words >> w;) cc.push_back(w);
    ASSERT_EQ(adtest::runProgram(cc, nullptr, &err), 0) << err;

    std::vector<std::string> run{"env", "-u", "LD_LIBRARY_PATH"};
    if (!form.stage.empty()) run.push_back("LD_LIBRARY_PATH=" + (root / "lib/albumdesk").string());
    for (const fs::path& a : {program, dir / "frame.dv", dir / "picture.jpg"}) run.push_back(a.string());
    std::string out;
    ASSERT_EQ(adtest::runProgram(run, &out, &err), 0) << out << err;
    std::istringstream result(out);
    std::string dv, jpeg;
    int width = 0, height = 0, bits = 0, b = 0, g = 0, r = 0;
    result >> dv >> width >> height >> b >> g >> r;
    EXPECT_EQ(dv, "dv");
    EXPECT_EQ(QSize(width, height), QSize(720, 480));
    EXPECT_TRUE(near(QColor(r, g, b), QColor(0x1e, 0x96, 0xdc), 12)) << out;
    result >> jpeg >> width >> height >> bits >> b >> g >> r;
    EXPECT_EQ(jpeg, "jpeg");
    EXPECT_EQ(QSize(width, height), QSize(320, 200));
    EXPECT_EQ(bits, 24);
    EXPECT_TRUE(near(QColor(r, g, b), QColor(200, 40, 90), 12)) << out;
  }

  // Each header compiles alone, as C and as C++.
  const fs::path include = dir / "stage/usr/local/include/albumdesk";
  for (const std::string& header : kHeaders) {
    adtest::writeFile(dir / "alone.c", "#include <" + header + ">\n");
    for (const std::string language : {"c", "c++"}) {
      SCOPED_TRACE(header + " as " + language);
      EXPECT_EQ(adtest::runProgram({language == "c" ? AD_C_COMPILER : AD_CXX_COMPILER, "-fsyntax-only", "-x", language,
                                    language == "c" ? "-std=c99" : "-std=c++17", "-Wall", "-Wextra", "-Werror",
                                    "-pedantic", "-I" + include.string(), (dir / "alone.c").string()},
                                   nullptr, &err),
                0)
          << err;
    }
  }
}

class InstalledProgram : public Desktop {};

TEST_F(InstalledProgram, StartsFromItsFolderAndShowsTheCommandLinePicture) {
  const fs::path root = install(adtest::testDir() / "stage", "/usr/local");
  const fs::path picture = adtest::testDir() / "Pictures/sea.jpg";
  fs::create_directories(picture.parent_path());
  ASSERT_TRUE(filled(400, 300, QColor(30, 60, 220)).save(QString::fromStdString(picture.string()), "JPG", 95));

  // Started through the link in bin, with nothing pointing the loader at the build.
  QProcessEnvironment env = programEnvironment();
  env.remove("LD_LIBRARY_PATH");
  program.setProcessEnvironment(env);
  program.start(QString::fromStdString((root / "bin/albumdesk").string()), {QString::fromStdString(picture.string())});
  ASSERT_TRUE(program.waitForStarted(10000));
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  const fs::path shot = adtest::artefactDir() / "albumdesk-installed.png";
  const QPoint inThumbnail(150 + 8 + 50, 75);
  EXPECT_TRUE(waitFor([&] {
    const QImage image = screenshot(window, shot);
    return !image.isNull() && near(image.pixelColor(inThumbnail), QColor(30, 60, 220));
  }, 20s)) << "the thumbnail is not in the grid; see " << shot;

  // Every library of albumdesk in the process, the JPEG module it loads by name included,
  // comes from the installed folder.
  const std::string maps = adtest::readFile("/proc/" + std::to_string(program.processId()) + "/maps");
  const std::string dir = fs::canonical(root / "lib/albumdesk").string();
  for (const std::string& library : kLibraries) {
    const size_t at = maps.find("/" + library + "\n");
    ASSERT_NE(at, std::string::npos) << library << " is not loaded";
    const size_t start = maps.rfind(' ', at) + 1;
    EXPECT_EQ(maps.substr(start, at - start), dir) << library;
  }
}

}  // namespace
