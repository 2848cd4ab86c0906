// The JPEG module's save into memory, for code of the program that links the module's
// core (qm6jpeg_core) to compress pictures that never become files of their own, such
// as the frames of a Motion JPEG movie. The encoder is the one behind _QMJpegFileSave:
// the same bitmap and settings give the same bytes that the export writes to a file.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/com/qm6com.h"

namespace qmjpeg {

// Compresses a 24-bit or 8-bit grey packed bitmap into `out` (replacing its content),
// with the arguments of _QMJpegFileSave. No progress is reported. False, with the
// toolkit's status set to QM_STATUS_SAVE_FAILED and `out` unchanged, when the bitmap
// cannot be compressed.
bool writeDibMemory(QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling, const char* comment,
                    std::vector<uint8_t>& out);

}  // namespace qmjpeg
