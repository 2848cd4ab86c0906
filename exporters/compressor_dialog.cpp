#include "exporters/compressor_dialog.h"

#include <QInputDialog>
#include <QStringList>

#include "exporters/avi_writer.h"
#include "platform/replaceable.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

namespace {

class QtCompressorDialogs final : public CompressorDialogs {
 public:
  bool choose(QWidget* owner, uint32_t& codec) override {
    const auto& list = MovieCompressors();
    QStringList names;
    int current = 0;
    for (size_t i = 0; i < list.size(); ++i) {
      names << (workspace::Lang ? workspace::Lang->GetMsg(list[i].nameKey) : QString(list[i].nameKey));
      if (list[i].codec == codec) current = static_cast<int>(i);
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(owner, QString(), QString(), names, current, false, &ok);
    const auto index = names.indexOf(chosen);
    if (!ok || index < 0) return false;
    codec = list[static_cast<size_t>(index)].codec;
    return true;
  }
};
platform::Replaceable<CompressorDialogs, QtCompressorDialogs> g_compressorDialogs;

}  // namespace

CompressorDialogs& compressorDialogs() { return g_compressorDialogs.get(); }
CompressorDialogs* setCompressorDialogs(CompressorDialogs* dialogs) { return g_compressorDialogs.install(dialogs); }

}  // namespace exporters
