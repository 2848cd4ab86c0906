#include "exporters/option_choosers.h"

#include <QColorDialog>
#include <QInputDialog>
#include <QStringList>

#include "exporters/avi_writer.h"
#include "platform/replaceable.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

QColor FromColorRef(uint32_t value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

uint32_t ToColorRef(const QColor& colour) {
  return uint32_t(colour.red()) | uint32_t(colour.green()) << 8 | uint32_t(colour.blue()) << 16;
}

namespace {

class ToolkitChoosers final : public OptionChoosers {
 public:
  bool ChooseColour(QWidget* owner, uint32_t& colour) override {
    const QColor chosen = QColorDialog::getColor(FromColorRef(colour), owner);
    if (!chosen.isValid()) return false;
    colour = ToColorRef(chosen);
    return true;
  }

  bool ChooseCompressor(QWidget* owner, uint32_t& codec) override {
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

platform::Replaceable<OptionChoosers, ToolkitChoosers>& installed() {
  static platform::Replaceable<OptionChoosers, ToolkitChoosers> r;
  return r;
}

}  // namespace

OptionChoosers& optionChoosers() { return installed().get(); }

OptionChoosers* setOptionChoosers(OptionChoosers* choosers) { return installed().install(choosers); }

}  // namespace exporters
