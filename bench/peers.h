// The peers' own libraries, called in this program, one thread: libjpeg-turbo's TurboJPEG
// API and ImageMagick's MagickWand. Kept apart from the toolkit's headers, whose names
// (ImageInfo) ImageMagick's also uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// libjpeg-turbo: the file read into memory and decoded into freshly allocated memory as
// bottom-up BGR rows padded to 4 bytes, behind 40 bytes left for a bitmap header (the
// layout of the JPEG module's bitmap). Null when it fails; the caller frees it with free().
uint8_t* turboLoad(const std::string& path, int* width, int* height);

// ImageMagick, held to one thread (the first call sets it up).
// Reads the file and reduces it to width x height with its filter for reductions.
bool magickReduce(const std::string& path, int width, int height);
// Reads the file, makes a width x height thumbnail and writes it to `out` (the file name
// gives the format).
bool magickThumbnail(const std::string& path, int width, int height, const std::string& out);
// ImageMagick's hinted thumbnails of many pictures: each read with the size hint
// "jpeg:size=<2 width>x<2 height>" (a reduced decoding), reduced with MagickThumbnailImage
// to fit width x height, written as a BMP file into `folder` and flushed to the disk. On
// `threads` threads, each with a wand of its own (one thread each) and its share of the
// files. Seconds for all; -1 when one failed.
double magickHintedThumbnails(const std::vector<std::string>& pictures, int width, int height,
                              const std::string& folder, unsigned threads = 1);

}  // namespace bench
