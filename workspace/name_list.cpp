#include "workspace/name_list.h"

#include "workspace/lang.h"

namespace workspace {

std::string NamesMessage(const MLang& lang, const std::string& heading, const std::vector<std::string>& names) {
  std::string text = heading;
  for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) text += "\n" + names[i];
  if (names.size() > kNamesShown) {
    text += "\n" + lang.GetMsg("MSG_MORE1").toStdString() + std::to_string(names.size() - kNamesShown) +
            lang.GetMsg("MSG_MORE2").toStdString();
  }
  return text;
}

}  // namespace workspace
