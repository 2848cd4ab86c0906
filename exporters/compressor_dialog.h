// The movie's compressor dialog: a list of the compressors the movie writer has, from
// which the movie options dialog takes the user's choice. The toolkit's own unless tests
// installed another that answers by script.
#pragma once

#include <cstdint>

class QWidget;

namespace exporters {

class CompressorDialogs {
 public:
  virtual ~CompressorDialogs() = default;
  // Shows the list modally over `owner` starting at `codec` (0: uncompressed frames);
  // true with the chosen compressor's codec in `codec` when the user chose one.
  virtual bool choose(QWidget* owner, uint32_t& codec) = 0;
};
CompressorDialogs& compressorDialogs();
// Installs `dialogs` (nullptr: the toolkit's own again) and returns the one it replaces.
CompressorDialogs* setCompressorDialogs(CompressorDialogs* dialogs);

}  // namespace exporters
