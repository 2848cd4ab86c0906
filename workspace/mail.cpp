#include "mail.h"

#include "platform/atomic_file.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/launcher.h"
#include "platform/registry_store.h"
#include "workspace/file_lists.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace workspace {

namespace {

constexpr uint32_t kMailLimit = 3;

std::string text(const char* key) { return Lang ? Lang->GetMsg(key).toStdString() : std::string(); }

}  // namespace

uint32_t GetMailTimes() {
  platform::RegistryStore store;
  const auto key = store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  if (!key) return 0;
  if (const auto times = key->readDword("TIMES")) return *times;
  // A value of another kind counts by its first four bytes, as the mail program stores them.
  const std::string bytes = key->readString("TIMES").value_or(std::string());
  uint32_t times = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) times |= uint32_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
  return times;
}

std::string MailList(const std::vector<std::string>& files) {
  std::string list;
  for (const std::string& f : files) list += f + "\r\n";
  return list;
}

void MailPictures(QWidget* owner, CImageOpe& engine, const std::vector<ListedPicture>& pictures) {
  if (GetMailTimes() >= kMailLimit) {
    platform::showError(owner, text(TextKey("MSG_MAILOVER")));
    return;
  }
  platform::showHourglass();
  const std::vector<std::string> files = FilesForOutside(engine, pictures);
  const std::string list = platform::workDir() + "IMG_LIST.DAT";
  const bool written = !files.empty() && platform::writeFileAtomic(list, MailList(files));
  if (written) platform::launcher().startProgram(platform::appDir() + "ZEB_RLM.EXE", {"-f", list});
  platform::restoreCursor();
  if (!written) platform::showError(owner, text(TextKey("MSG_SAVE_ERR")));
}

}  // namespace workspace
