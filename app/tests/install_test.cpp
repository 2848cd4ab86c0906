// albumdesk installed as users and packagers install it, with cmake --install: into a
// staging folder (DESTDIR) under the prefix /usr/local, into a prefix of its own and into
// the system's /usr/local. The installed tree holds what the program needs and nothing of
// the build; the libraries for other programs lie in the prefix's library folder with
// versioned names and versioned symbols; the installed program starts on a virtual
// display, loads its libraries along its run path and shows the picture of its command
// line; an album opened by the desktop starts it; the desktop finds its entry, icon and
// album types; and a C program builds against the installed headers and libraries
// through pkg-config alone and uses both libraries.
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QSize>
#include <QString>
#include <unistd.h>

#include <csignal>
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
const std::string kLibDir = AD_LIBDIR;  // the prefix's library folder, relative to the prefix
// The libraries for other programs, in the library folder, with the version node of their
// symbols; the program's own libraries, in its folder.
struct PublicLibrary {
  std::string name, node;
};
const std::vector<PublicLibrary> kPublicLibraries = {
    {"libQm6Com", "QM6COM_1"}, {"libQm6Jpeg", "QM6JPEG_1"}, {"libzeb_dv32", "ZEB_DV32_1"}};
const std::vector<std::string> kOwnLibraries = {"libQm6File.so", "libQm6Effect.so"};
const std::vector<std::string> kDataFiles = {"kbx40.cpt", "kbx40.sty", "wro10_e.dat", "wro10_j.dat", "wro10_m.dat"};
const std::vector<std::string> kHeaders = {"zeb_dv32.h", "qm6jpeg.h", "qm6com.h"};
const std::vector<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The binaries in the program's installed folder: the program, the mail program once it is
// built, and its own libraries.
std::vector<std::string> binaries() {
  std::vector<std::string> names{"albumdesk"};
#ifdef AD_INSTALLS_MAIL_PROGRAM
  names.push_back("ZEB_RLM.EXE");
#endif
  names.insert(names.end(), kOwnLibraries.begin(), kOwnLibraries.end());
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

// The values of the dynamic section's entries of one kind (NEEDED, SONAME, RUNPATH,
// RPATH) in the lines of `readelf -d`, one line each.
std::string dynamicEntries(const std::string& readelf, const std::string& kind) {
  std::string found;
  for (const std::string& line : lines(readelf)) {
    const size_t open = line.find('[');
    if (line.find("(" + kind + ")") != std::string::npos && open != std::string::npos) {
      found += line.substr(open + 1, line.rfind(']') - open - 1) + "\n";
    }
  }
  return found;
}
// The run paths a binary carries, as "RUNPATH <value>" and "RPATH <value>" lines.
std::string runPaths(const fs::path& binary) {
  const std::string readelf = output({"readelf", "-d", binary.string()});
  std::string found;
  for (const std::string kind : {"RUNPATH", "RPATH"}) {
    for (const std::string& value : lines(dynamicEntries(readelf, kind))) found += kind + " " + value + "\n";
  }
  return found;
}

QImage filled(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

TEST(InstalledTree, StagedTreeHoldsWhatTheProgramNeedsAndNothingOfTheBuild) {
  for (const char* tool : {"readelf", "ldd", "nm", "pkg-config"}) AD_REQUIRE_TOOL(tool);
  const fs::path root = install(adtest::testDir() / "stage", "/usr/local");
  const fs::path lib = root / kLibDir, dir = lib / "albumdesk";

  // The program's folder holds the program, its own libraries and its data, and no test,
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
  EXPECT_EQ(fs::read_symlink(root / "bin/albumdesk"), "../" + kLibDir + "/albumdesk/albumdesk");
  EXPECT_TRUE(fs::equivalent(root / "bin/albumdesk", dir / "albumdesk"));

  // The library folder holds the libraries for other programs as a distribution's library
  // package does: the file of the version, the SONAME's link to it and the unversioned
  // link for linking; each one's SONAME carries the version, and its symbols the version
  // node. They carry no run path, in the build folder or installed.
  expected = {"albumdesk", "pkgconfig"};
  for (const PublicLibrary& library : kPublicLibraries) {
    SCOPED_TRACE(library.name);
    const std::string soname = library.name + ".so.1";
    for (const std::string& name : {library.name + ".so", soname, soname + ".0.0"}) expected.insert(name);
    EXPECT_EQ(fs::read_symlink(lib / (library.name + ".so")), soname);
    EXPECT_EQ(fs::read_symlink(lib / soname), soname + ".0.0");
    EXPECT_EQ(dynamicEntries(output({"readelf", "-d", (lib / soname).string()}), "SONAME"), soname + "\n");
    EXPECT_EQ(runPaths(lib / soname), "");
    EXPECT_EQ(runPaths(kBuildDir / "bin" / soname), "");
    int symbols = 0;
    for (const std::string& line : lines(output({"nm", "-D", "--defined-only", (lib / soname).string()}))) {
      std::istringstream fields(line);
      std::string address, type, name;
      fields >> address >> type >> name;
      if (name == library.node) continue;  // the node itself
      ++symbols;
      const size_t at = name.find("@@");
      EXPECT_TRUE(at != std::string::npos && name.substr(at + 2) == library.node) << line;
    }
    EXPECT_GT(symbols, 0);
  }
  found.clear();
  for (const auto& entry : fs::directory_iterator(lib)) found.insert(entry.path().filename().string());
  EXPECT_EQ(found, expected);

  // Each binary of the program's folder finds the libraries beside itself and one folder
  // up, whatever folder the tree is moved to, and nothing it needs is missing. It is
  // installed as it was built: neither copy searches the build folder by its path or the
  // current folder (an empty entry).
  const std::string canonicalLib = fs::canonical(lib).string(), canonicalDir = fs::canonical(dir).string();
  for (const std::string& binary : binaries()) {
    SCOPED_TRACE(binary);
    EXPECT_EQ(runPaths(dir / binary), "RUNPATH $ORIGIN:$ORIGIN/..\n");
    EXPECT_EQ(runPaths(kBuildDir / "bin" / binary), "RUNPATH $ORIGIN:$ORIGIN/..\n");
    const std::string ldd = output({"env", "-u", "LD_LIBRARY_PATH", "ldd", (dir / binary).string()});
    EXPECT_EQ(ldd.find("not found"), std::string::npos) << ldd;
    std::vector<std::pair<std::string, std::string>> ours;  // file name, folder
    for (const std::string& own : kOwnLibraries) ours.emplace_back(own, canonicalDir);
    for (const PublicLibrary& library : kPublicLibraries) ours.emplace_back(library.name + ".so.1", canonicalLib);
    for (const auto& [name, folder] : ours) {
      const size_t at = ldd.find("\t" + name + " => ");
      if (at == std::string::npos) continue;
      const size_t from = at + name.size() + 5;
      const fs::path loaded = ldd.substr(from, ldd.find(" (", from) - from);
      EXPECT_EQ(fs::canonical(loaded), fs::canonical(folder + "/" + name)) << ldd;
    }
  }
  const std::string needed = dynamicEntries(output({"readelf", "-d", (dir / "albumdesk").string()}), "NEEDED");
  EXPECT_NE(needed.find("libzeb_dv32.so.1\n"), std::string::npos) << needed;
  EXPECT_NE(needed.find("libQm6Com.so.1\n"), std::string::npos) << needed;

  // Headers and pkg-config files for other programs, naming the final folders and giving
  // no run path.
  for (const std::string& h : kHeaders) EXPECT_TRUE(fs::is_regular_file(root / "include/albumdesk" / h)) << h;
  const std::string pcPath = "PKG_CONFIG_PATH=" + (lib / "pkgconfig").string();
  for (const char* package : {"zeb_dv32", "qm6jpeg"}) {
    EXPECT_EQ(output({"env", pcPath, "pkg-config", "--variable=libdir", package}), "/usr/local/" + kLibDir + "\n");
    EXPECT_EQ(output({"env", pcPath, "pkg-config", "--variable=includedir", package}),
              "/usr/local/include/albumdesk\n");
    const std::string libs = output({"env", pcPath, "pkg-config", "--libs", package});
    EXPECT_EQ(libs.find("rpath"), std::string::npos) << libs;
  }

  // The desktop's caches are for the package to make on the machine it is installed on.
  EXPECT_FALSE(fs::exists(root / "share/mime/mime.cache"));
  EXPECT_FALSE(fs::exists(root / "share/icons/hicolor/icon-theme.cache"));
  EXPECT_FALSE(fs::exists(root / "share/applications/mimeinfo.cache"));
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

// Installed into the running system, the prefix's MIME database, desktop entry database
// and icon cache are built where there were none, and rebuilt where another program's
// were, as a distribution's package triggers build them.
TEST(InstalledTree, InstallIntoTheRunningSystemBuildsTheDesktopCaches) {
  for (const char* tool : {"update-mime-database", "update-desktop-database", "gtk-update-icon-cache"}) {
    AD_REQUIRE_TOOL(tool);
  }
  for (const bool otherProgram : {false, true}) {
    SCOPED_TRACE(otherProgram ? "over another program's caches" : "into a fresh prefix");
    const fs::path prefix = adtest::testDir() / (otherProgram ? "other" : "fresh");
    const fs::path share = prefix / "share", hicolor = share / "icons/hicolor";
    if (otherProgram) {
      // Another program's icon and desktop entry, and the caches made when it was
      // installed: left as they are, those caches would hide the new icon and entry.
      fs::create_directories(hicolor / "48x48/apps");
      ASSERT_TRUE(filled(48, 48, Qt::green).save(QString::fromStdString((hicolor / "48x48/apps/other.png").string())));
      ASSERT_EQ(adtest::runProgram({"gtk-update-icon-cache", "-q", "-t", hicolor.string()}), 0);
      fs::create_directories(share / "applications");
      adtest::writeFile(share / "applications/other.desktop",
                        "[Desktop Entry]\nType=Application\nName=other\nExec=true %f\nMimeType=image/x-other;\n");
      ASSERT_EQ(adtest::runProgram({"update-desktop-database", (share / "applications").string()}), 0);
    }

    // Twice: installing again over an installed tree works as well.
    install({}, prefix);
    install({}, prefix);
    EXPECT_TRUE(fs::equivalent(prefix / "bin/albumdesk", prefix / kLibDir / "albumdesk/albumdesk"));
    const std::string icons = adtest::readFile(share / "mime/icons");
    EXPECT_NE(icons.find("application/x-albumdesk-qla:albumdesk\n"), std::string::npos) << icons;
    EXPECT_NE(icons.find("application/x-albumdesk-wza:albumdesk\n"), std::string::npos) << icons;
    EXPECT_TRUE(fs::is_regular_file(share / "mime/mime.cache"));
    const std::string entries = adtest::readFile(share / "applications/mimeinfo.cache");
    EXPECT_NE(entries.find("\napplication/x-albumdesk-qla=albumdesk.desktop;\n"), std::string::npos) << entries;
    EXPECT_NE(entries.find("\napplication/x-albumdesk-wza=albumdesk.desktop;\n"), std::string::npos) << entries;
    const std::string cache = adtest::readFile(hicolor / "icon-theme.cache");
    EXPECT_NE(cache.find("albumdesk"), std::string::npos);
    if (otherProgram) {
      EXPECT_NE(cache.find("other"), std::string::npos);
      EXPECT_NE(entries.find("\nimage/x-other=other.desktop;\n"), std::string::npos) << entries;
    }
  }
}

// A 525/60 DV frame of one colour and a JPEG picture of another in `dir`, for the C
// program to read, and a check of what it printed.
void writeClientInput(const fs::path& dir) {
  std::string err;
  ASSERT_EQ(adtest::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                "color=c=0x1e96dc:size=720x480:rate=30000/1001", "-frames:v", "1", "-pix_fmt",
                                "yuv411p", "-c:v", "dvvideo", "-f", "dv", (dir / "frame.dv").string()},
                               nullptr, &err),
            0)
      << err;
  ASSERT_TRUE(filled(320, 200, QColor(200, 40, 90)).save(QString::fromStdString((dir / "picture.jpg").string()),
                                                          "JPG", 95));
}
void expectClientOutput(const std::string& out) {
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
const std::string kClientSource = std::string(AD_SOURCE_DIR) + "/tests/data/library_client.c";

// As a packager builds a program against a staging folder: pkg-config's sysroot points
// into it, and the libraries are found through the loader's path.
TEST(InstalledLibraries, CProgramBuildsAgainstTheStagedTreeAndUsesBothLibraries) {
  for (const char* tool : {"ffmpeg", "pkg-config"}) AD_REQUIRE_TOOL(tool);
  const fs::path dir = adtest::testDir();
  writeClientInput(dir);
  const fs::path stage = dir / "stage", root = install(stage, "/usr/local");
  const std::string flags = output({"env", "PKG_CONFIG_PATH=" + (root / kLibDir / "pkgconfig").string(),
                                    "PKG_CONFIG_SYSROOT_DIR=" + stage.string(), "pkg-config", "--cflags", "--libs",
                                    "zeb_dv32", "qm6jpeg"});
  EXPECT_NE(flags.find("-I" + (root / "include/albumdesk").string()), std::string::npos) << flags;

  std::vector<std::string> cc{AD_C_COMPILER, "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic",
                              kClientSource, "-o", (dir / "client").string()};
  if (AD_SANITIZE) cc.push_back("-fsanitize=address,undefined");
  std::istringstream words(flags);
  for (std::string w; words >> w;) cc.push_back(w);
  std::string out, err;
  ASSERT_EQ(adtest::runProgram(cc, nullptr, &err), 0) << err;
  ASSERT_EQ(adtest::runProgram({"env", "LD_LIBRARY_PATH=" + (root / kLibDir).string(), (dir / "client").string(),
                                (dir / "frame.dv").string(), (dir / "picture.jpg").string()},
                               &out, &err),
            0)
      << out << err;
  expectClientOutput(out);
}

// Installed into the system's /usr/local and registered with the loader (ldconfig), the
// libraries serve a program built through pkg-config alone: it finds them without a run
// path or LD_LIBRARY_PATH. The system's /usr/local and loader cache are not touched:
// where the process may make a mount namespace of its own (as root, or as its own user
// namespace's root), a scratch folder stands in for /usr/local and a scratch cache for the
// loader's, within that namespace only. Elsewhere the test runs in CI only (as root):
// there it installs into the real /usr/local, and removes what it added afterwards.
const char* kSystemInstall = R"(set -e
mode=$1 build=$2 work=$3 cc=$4 cmake=$5 source=$6 sanitize=$7
if [ "$mode" = namespace ]; then
  mount --bind "$work/usr-local" /usr/local
fi
"$cmake" --install "$build" --prefix /usr/local > "$work/install.log"
if [ "$mode" = namespace ]; then
  ldconfig -C "$work/ld.so.cache"
  mount --bind "$work/ld.so.cache" /etc/ld.so.cache
else
  ldconfig
fi
flags=$(env -u PKG_CONFIG_PATH -u PKG_CONFIG_SYSROOT_DIR pkg-config --cflags --libs zeb_dv32 qm6jpeg)
echo "$flags" > "$work/flags.txt"
extra=
[ "$sanitize" = 1 ] && extra=-fsanitize=address,undefined
"$cc" -std=c11 -Wall -Wextra -Werror -pedantic $extra "$source" -o "$work/client" $flags
readelf -d "$work/client" > "$work/readelf.txt"
env -u LD_LIBRARY_PATH "$work/client" "$work/frame.dv" "$work/picture.jpg" > "$work/run.txt"
)";

// Every path below `folder`, not following links.
std::set<fs::path> pathsBelow(const fs::path& folder) {
  std::set<fs::path> paths;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error)) {
    paths.insert(it->path());
  }
  return paths;
}

TEST(InstalledLibraries, CProgramLinkedThroughPkgConfigRunsFromTheSystemLibraryFolder) {
  for (const char* tool : {"ffmpeg", "pkg-config", "readelf", "ldconfig", "unshare", "mount"}) AD_REQUIRE_TOOL(tool);
  const fs::path work = adtest::testDir();
  writeClientInput(work);
  fs::create_directories(work / "usr-local");
  std::vector<std::string> unshare{"unshare", "--mount"};
  if (::geteuid() != 0) unshare.push_back("--map-root-user");
  std::vector<std::string> probe = unshare;
  probe.push_back("true");
  const bool ownNamespace = adtest::runProgram(probe) == 0;
  if (!ownNamespace && !(adtest::peersRequired() && ::geteuid() == 0)) {
    GTEST_SKIP() << "no mount namespace of our own, and outside CI the system's /usr/local is left alone";
  }
  std::vector<std::string> argv = ownNamespace ? unshare : std::vector<std::string>{};
  for (const std::string a : {"sh", "-c", kSystemInstall, "sh"}) argv.push_back(a);
  for (const std::string a : {ownNamespace ? "namespace" : "system", AD_BUILD_DIR, work.c_str(), AD_C_COMPILER, AD_CMAKE,
                              kClientSource.c_str(), AD_SANITIZE ? "1" : "0"}) {
    argv.push_back(a);
  }
  const std::set<fs::path> before = ownNamespace ? std::set<fs::path>{} : pathsBelow("/usr/local");
  std::string out, err;
  const int rc = adtest::runProgram(argv, &out, &err);
  if (!ownNamespace) {
    // What the install added to the real /usr/local goes again, deepest first, and the
    // loader forgets the libraries.
    const std::set<fs::path> after = pathsBelow("/usr/local");
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
      std::error_code error;
      if (!before.count(*it)) fs::remove(*it, error);
    }
    EXPECT_EQ(adtest::runProgram({"ldconfig"}), 0);
    EXPECT_EQ(pathsBelow("/usr/local"), before);
  }
  ASSERT_EQ(rc, 0) << out << err << adtest::readFile(work / "install.log");

  // Built with the flags of pkg-config alone, which name no run path; the program names
  // the libraries by their versioned SONAMEs and carries no run path.
  const std::string flags = adtest::readFile(work / "flags.txt");
  EXPECT_NE(flags.find("-I/usr/local/include/albumdesk"), std::string::npos) << flags;
  EXPECT_EQ(flags.find("rpath"), std::string::npos) << flags;
  const std::string readelf = adtest::readFile(work / "readelf.txt");
  const std::string needed = dynamicEntries(readelf, "NEEDED");
  for (const PublicLibrary& library : kPublicLibraries) {
    EXPECT_NE(needed.find(library.name + ".so.1\n"), std::string::npos) << needed;
  }
  EXPECT_EQ(dynamicEntries(readelf, "RUNPATH") + dynamicEntries(readelf, "RPATH"), "") << readelf;
  expectClientOutput(adtest::readFile(work / "run.txt"));
}

// Each installed header compiles alone, with every warning an error, as C99 and as each
// C++ from C++11 to C++20.
TEST(InstalledLibraries, EachHeaderCompilesAloneInEveryLanguageStandard) {
  const fs::path dir = adtest::testDir();
  const fs::path include = install(dir / "stage", "/usr/local") / "include/albumdesk";
  struct Language {
    const char* compiler;
    const char* language;
    const char* standard;
  } languages[] = {{AD_C_COMPILER, "c", "-std=c99"},        {AD_CXX_COMPILER, "c++", "-std=c++11"},
                   {AD_CXX_COMPILER, "c++", "-std=c++14"},  {AD_CXX_COMPILER, "c++", "-std=c++17"},
                   {AD_CXX_COMPILER, "c++", "-std=c++20"}};
  for (const std::string& header : kHeaders) {
    adtest::writeFile(dir / "alone.c", "#include <" + header + ">\n");
    for (const Language& l : languages) {
      SCOPED_TRACE(header + " " + l.standard);
      std::string err;
      EXPECT_EQ(adtest::runProgram({l.compiler, "-fsyntax-only", "-x", l.language, l.standard, "-Wall", "-Wextra",
                                    "-Werror", "-pedantic", "-I" + include.string(), (dir / "alone.c").string()},
                                   nullptr, &err),
                0)
          << err;
    }
  }
}

class InstalledProgram : public Desktop {
 protected:
  // Where each library of albumdesk in a running process was loaded from, by its file
  // name in the installed tree `root`: the program's own from its folder, the libraries
  // for other programs (the JPEG module, which it loads by name, included) from the
  // library folder, as the versioned files.
  void expectLibrariesFrom(pid_t pid, const fs::path& root) {
    const std::string maps = adtest::readFile("/proc/" + std::to_string(pid) + "/maps");
    const std::string lib = fs::canonical(root / kLibDir).string();
    std::vector<std::pair<std::string, std::string>> expected;  // folder, file
    for (const std::string& own : kOwnLibraries) expected.emplace_back(lib + "/albumdesk", own);
    for (const PublicLibrary& library : kPublicLibraries) expected.emplace_back(lib, library.name + ".so.1.0.0");
    for (const auto& [folder, file] : expected) {
      const size_t at = maps.find("/" + file + "\n");
      ASSERT_NE(at, std::string::npos) << file << " is not loaded";
      const size_t start = maps.rfind(' ', at) + 1;
      EXPECT_EQ(maps.substr(start, at - start), folder) << file;
    }
  }
};

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
  expectLibrariesFrom(pid_t(program.processId()), root);
}

// An album opened from the desktop after an install into a fresh prefix, as a file
// manager of a GNOME-type desktop opens it (xdg-open, which asks gio there): the desktop
// finds the album's type and the program for it, and the installed program starts and
// opens the album.
TEST_F(InstalledProgram, AlbumOpenedOnTheDesktopStartsTheInstalledProgram) {
  for (const char* tool : {"xdg-open", "gio"}) AD_REQUIRE_TOOL(tool);
  const fs::path prefix = adtest::testDir() / "prefix";
  install({}, prefix);
  const fs::path pictures = adtest::testDir() / "Pictures";
  const fs::path album = pictures / "trip.qla";
  writeAlbum(album, {jpeg(pictures / "red.jpg", QColor(220, 30, 30)), jpeg(pictures / "green.jpg", QColor(30, 200, 30))});

  // The session of a user of that desktop whose PATH and data folders include the prefix
  // (as a system prefix's are); no session bus, so none is started for the launch.
  QProcessEnvironment env = programEnvironment();
  env.remove("LD_LIBRARY_PATH");
  env.insert("XDG_CURRENT_DESKTOP", "GNOME");
  env.insert("XDG_DATA_DIRS", QString::fromStdString((prefix / "share").string() + ":/usr/share"));
  env.insert("PATH", QString::fromStdString((prefix / "bin").string()) + ":" + env.value("PATH"));
  env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + (adtest::testDir() / "no-bus").string()));
  QProcess opener;
  opener.setProcessEnvironment(env);
  opener.start("xdg-open", {QString::fromStdString(album.string())});
  ASSERT_TRUE(opener.waitForFinished(60000));
  ASSERT_EQ(opener.exitCode(), 0) << opener.readAllStandardError().toStdString();

  // The program was started by the desktop, not by this test: its window tells its process.
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  const pid_t pid = pid_t(std::atol(xdotool({"getwindowpid", window}).c_str()));
  ASSERT_GT(pid, 0);
  struct Ender {
    pid_t pid;
    ~Ender() { ::kill(pid, SIGKILL); }
  } ender{pid};
  EXPECT_EQ(fs::canonical("/proc/" + std::to_string(pid) + "/exe"),
            fs::canonical(prefix / kLibDir / "albumdesk/albumdesk"));
  EXPECT_TRUE(waitFor([&] { return thumbnails() == 2; })) << "the album was not read";
  const fs::path shot = adtest::artefactDir() / "albumdesk-opened-album.png";
  EXPECT_TRUE(waitFor([&] {
    const QImage image = screenshot(window, shot);
    return !image.isNull() && near(image.pixelColor(150 + 8 + 50, 75), QColor(220, 30, 30));
  }, 20s)) << "the album's first picture is not in the grid; see " << shot;
  expectLibrariesFrom(pid, prefix);
}

}  // namespace
