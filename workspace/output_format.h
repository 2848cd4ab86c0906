// The output picture settings: one record that says how a picture is written when it
// leaves the album (format, size, JPEG quality, DV image correction, rotation). Every
// command that writes pictures resets it with SetDefaults, then lets the user choose in
// the output settings dialog or fills it itself; the picture engine's export reads it
// for every picture it writes.
#pragma once

#include <array>
#include <cstdint>

namespace workspace {

struct OutputFormatSettings {
  enum Format : int32_t { kJpeg = 0, kBmp = 1, kTitle = 2 };
  enum SizeMode : int32_t { kKeepSize = 0, kFreeSize = 1, kPresetSize = 2, kSize720x540 = 3 };
  enum Rotation : int32_t { kNoRotation = 0, kClockwise = 1, kCounterClockwise = 2 };

  uint8_t WidthChanging = 0;    // the width edit is adjusting the height edit
  uint8_t HeightChanging = 0;   // the height edit is adjusting the width edit
  uint8_t Cancelled = 0;        // 1 from the dialog's showing until OK
  uint8_t KeepSizeAllowed = 1;  // "keep the source size" may be chosen
  uint8_t RotationAllowed = 0;  // the rotation group is enabled
  int32_t Format = kJpeg;
  int32_t PresetIndex = 3;      // last preset chosen, 0..7
  int32_t SizeMode = kFreeSize;
  int32_t JpegQuality = 75;     // 0..100
  int32_t SourceWidth = 640;    // the picture about to be written; both at least 1
  int32_t SourceHeight = 480;
  int32_t OutputWidth = 640;    // the canvas of size modes 1 and 2, before rotation
  int32_t OutputHeight = 480;
  int32_t CorrectionCode = 3;   // the DV codec's filter mode for DV frames: 0, 1 or 3
  int32_t Rotation = kNoRotation;
  // How often the record was reset: a dialog showing it resets its own controls (the
  // preset list) after a reset that a command made without it.
  uint32_t Resets = 0;
};

struct SizePreset {
  int32_t width;
  int32_t height;
};
inline constexpr std::array<SizePreset, 8> kSizePresets{
    {{80, 60}, {160, 120}, {320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 960}, {1600, 1200}}};

// The correction code of each item of the correction group: none, movement, field.
inline constexpr std::array<int32_t, 3> kCorrectionCodes{0, 3, 1};
// The item of the correction group that the reset selects.
inline constexpr int kDefaultCorrectionItem = 1;

// The record's reset: source 640 x 480, rotation not offered, keeping the size allowed,
// quality 75, JPEG, free size, the correction of the group's item 1, no rotation. The
// output size and the preset index keep their values. Counts the reset in Resets.
void SetDefaults(OutputFormatSettings& settings);

// The program's one record, which the output settings dialog shows.
OutputFormatSettings& OutputFormat();

}  // namespace workspace
