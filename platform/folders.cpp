#include "folders.h"

#include <unistd.h>

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
  std::string base = docs.isEmpty() ? homeDir() : docs.toStdString();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/ZEB/";
}

std::string desktopDir() {
  QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desk.isEmpty()) desk = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  std::string dir = desk.isEmpty() ? homeDir() : desk.toStdString();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

int userLanguageId() {
  switch (QLocale::system().language()) {
    case QLocale::Japanese: return 17;
    case QLocale::French: return 12;
    default: return 9;
  }
}

}  // namespace platform
