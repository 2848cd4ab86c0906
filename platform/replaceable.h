// One implementation of a service interface that tests may replace: the program's
// own unless another has been installed.
#pragma once

#include <utility>

namespace platform {

template <class Interface, class Own>
class Replaceable {
 public:
  Interface& get() {
    static Own own;
    return installed_ ? *installed_ : own;
  }
  // Installs `other` (nullptr: the program's own again); returns the one it replaces.
  Interface* install(Interface* other) { return std::exchange(installed_, other); }

 private:
  Interface* installed_ = nullptr;
};

}  // namespace platform
