#include "folders.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QString>
#include <climits>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {
std::string withSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string homeDir() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

std::string withoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}
}  // namespace

std::string appDir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return withSlash(std::filesystem::current_path().string());
  buf[n] = '\0';
  return withSlash(std::filesystem::path(buf).parent_path().string());
}

std::string workDir() {
  QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  std::string base = withoutTrailingSlash(docs.isEmpty() ? homeDir() : localPath(docs));
  return base + "/ZEB/";
}

std::string desktopDir() {
  QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desk.isEmpty()) desk = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return withoutTrailingSlash(desk.isEmpty() ? homeDir() : localPath(desk));
}

std::string localPath(const QString& path) {
  // Qt's home folder is HOME decoded and cleaned (no trailing or doubled slashes); only
  // a HOME that decodes to exactly that text is put back in its place.
  const std::string home = withoutTrailingSlash(homeDir());
  const QString qtHome = QDir::homePath();
  if (home != "/" && QFile::decodeName(QByteArray::fromStdString(home)) == qtHome &&
      (path == qtHome || path.startsWith(qtHome + '/'))) {
    return home + QFile::encodeName(path.mid(qtHome.size())).toStdString();
  }
  return QFile::encodeName(path).toStdString();
}

QString qtPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string wholePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path whole = std::filesystem::absolute(path, error);
  return error ? path : whole.string();
}

int userLanguageId() {
  switch (QLocale::system().language()) {
    case QLocale::Japanese: return 17;
    case QLocale::French: return 12;
    default: return 9;
  }
}

}  // namespace platform
