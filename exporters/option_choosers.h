// The small choices the export dialogs hand to a dialog of their own: a colour (the
// colour dialog) and the movie's compressor (a list of the compressors the movie writer
// has). Both go through the installed choosers, the toolkit's own unless tests installed
// others that answer by script.
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

namespace exporters {

// Colours as the program keeps them (and the settings file stores them): red in bits
// 0-7, green 8-15, blue 16-23. The top byte is not a colour and is ignored.
QColor FromColorRef(uint32_t value);
uint32_t ToColorRef(const QColor& colour);

class OptionChoosers {
 public:
  virtual ~OptionChoosers() = default;
  // The colour dialog over `owner`, starting at `colour`; true with the chosen colour
  // in `colour` when the user chose one.
  virtual bool ChooseColour(QWidget* owner, uint32_t& colour) = 0;
  // The list of movie compressors over `owner`, starting at `codec` (0 uncompressed
  // frames); true with the chosen one in `codec` when the user chose one.
  virtual bool ChooseCompressor(QWidget* owner, uint32_t& codec) = 0;
};

OptionChoosers& optionChoosers();
// Installs `choosers` (nullptr: the toolkit's own again) and returns the one it replaces.
OptionChoosers* setOptionChoosers(OptionChoosers* choosers);

}  // namespace exporters
