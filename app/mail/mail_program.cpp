#include "mail_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/lock_file.h"
#include "platform/registry_store.h"
#include "workspace/lang.h"
#include "workspace/name_list.h"

namespace rlm {

namespace {

constexpr const char* kKey = "Software\\ZEB\\RLM";
// xdg-email's exit code when the desktop has no way to open a mail.
constexpr int kNoMailer = 3;

// The list's path: "-f PATH" or "-fPATH".
std::optional<std::string> listPath(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-f" && i + 1 < args.size()) return args[i + 1];
    if (args[i].size() > 2 && args[i].rfind("-f", 0) == 0) return args[i].substr(2);
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> readList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> files;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) files.push_back(line);
  }
  if (in.bad()) return std::nullopt;
  return files;
}

bool readableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

// Changes the counter by `step` (never below 0). The change is read and written under a
// lock of its own, so that two mail programs started together count both mails.
void changeTimes(int step) {
  platform::RegistryStore store;
  const platform::HeldLock lock(store.file() + ".times.lock");
  if (auto key = store.create(platform::RegRoot::LocalMachine, kKey)) {
    const int64_t times = int64_t{key->readDword("TIMES").value_or(0)} + step;
    key->writeDword("TIMES", static_cast<uint32_t>(times < 0 ? 0 : times));
  }
}

}  // namespace

uint32_t MailTimes() {
  platform::RegistryStore store;
  const auto key = store.open(platform::RegRoot::LocalMachine, kKey);
  return key ? key->readDword("TIMES").value_or(0) : 0;
}

int RunXdgEmail(const std::vector<std::string>& attachments) {
  QStringList args;
  for (const std::string& file : attachments) args << "--attach" << QString::fromStdString(file);
  QProcess composer;
  composer.setProcessChannelMode(QProcess::ForwardedChannels);
  composer.start("xdg-email", args);
  if (!composer.waitForStarted(-1)) return -1;
  composer.waitForFinished(-1);
  // A composer that crashed failed; it did not find the desktop without a mail program.
  return composer.exitStatus() == QProcess::NormalExit ? composer.exitCode() : 255;
}

int RunMailProgram(const std::vector<std::string>& args, const workspace::MLang& lang, const Composer& composer,
                   QWidget* owner) {
  auto text = [&](const char* key) { return lang.GetMsg(key).toStdString(); };
  const std::optional<std::string> list = listPath(args);
  const std::optional<std::vector<std::string>> files = list ? readList(*list) : std::nullopt;
  if (!files) {
    platform::showError(owner, text(workspace::TextKey("MSG_RLM_NOLIST")));
    return 2;
  }
  std::vector<std::string> attachments, missing;
  for (const std::string& file : *files) {
    if (!readableFile(file)) {
      missing.push_back(file);
      continue;
    }
    attachments.push_back(platform::wholePath(file));
  }
  if (!missing.empty()) {
    platform::showError(owner, workspace::NamesMessage(lang, text(workspace::TextKey("MSG_RLM_MISSING")), missing));
  }
  if (attachments.empty()) return 1;

  changeTimes(+1);
  const int result = composer(attachments);
  changeTimes(-1);
  if (result == 0) return 0;
  platform::showError(owner, text(result == kNoMailer || result < 0 ? workspace::TextKey("MSG_RLM_NOMAILER")
                                                                     : workspace::TextKey("MSG_RLM_FAILED")));
  return 1;
}

}  // namespace rlm
