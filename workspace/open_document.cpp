#include "workspace/open_document.h"

#include <QPointer>
#include <QWidget>

#include "platform/dialogs.h"
#include "platform/launcher.h"
#include "workspace/lang.h"
#include "workspace/name_list.h"
#include "workspace/program.h"

namespace workspace {

bool OpenDocument(QWidget* owner, const std::string& path) {
  return platform::launcher().openDocument(path, [owner = QPointer<QWidget>(owner), path](platform::Opening opening) {
    if (opening == platform::Opening::Opened || !Lang) return;
    const char* key = opening == platform::Opening::NoProgram ? TextKey("MSG_OPEN_NOPROGRAM")
                                                              : TextKey("MSG_OPEN_FAILED");
    platform::showError(owner, NamesMessage(*Lang, Lang->GetMsg(key).toStdString(), {path}));
  });
}

}  // namespace workspace
