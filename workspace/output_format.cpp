#include "output_format.h"

namespace workspace {

void SetDefaults(OutputFormatSettings& s) {
  s.SourceWidth = 640;
  s.SourceHeight = 480;
  s.WidthChanging = 0;
  s.RotationAllowed = 0;
  s.KeepSizeAllowed = 1;
  s.JpegQuality = 75;
  s.Format = OutputFormatSettings::kJpeg;
  s.SizeMode = OutputFormatSettings::kFreeSize;
  // The correction group shows its item 1 after the reset, and the stored code is that
  // item's code, so what the group shows and what the export uses agree.
  s.CorrectionCode = kCorrectionCodes[kDefaultCorrectionItem];
  s.Rotation = OutputFormatSettings::kNoRotation;
  ++s.Resets;
}

OutputFormatSettings& OutputFormat() {
  static OutputFormatSettings settings;
  return settings;
}

}  // namespace workspace
