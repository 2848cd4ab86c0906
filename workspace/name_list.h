// Messages that name files: what could not be added to the album, which pictures the
// mail program could not find. A few names are shown, one a line, and the rest are
// counted, so that a long list never makes a box taller than the screen.
#pragma once

#include <string>
#include <vector>

namespace workspace {

class MLang;

// How many names a message shows before it counts the rest.
constexpr size_t kNamesShown = 5;

// `heading`, then the first kNamesShown names one a line, then the texts of "MSG_MORE1",
// the number of the names not shown and "MSG_MORE2" on a line of their own.
std::string NamesMessage(const MLang& lang, const std::string& heading, const std::vector<std::string>& names);

}  // namespace workspace
