// ImageMagick's hinted thumbnails made in this process through MagickWand: each picture
// read with the size hint "jpeg:size=200x150", reduced with -thumbnail's
// MagickThumbnailImage to fit 100 x 75 and written as a BMP file into `folder`. Kept in
// a file of its own: ImageMagick's names clash with the toolkit's.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Whether the bench was built with MagickWand.
bool haveMagickWand();
// Seconds for all the pictures, made on `threads` threads, each with a wand of its own
// and its share of the files (and each wand on one thread); -1 when one failed or
// MagickWand is missing.
double magickWandThumbnails(const std::vector<std::string>& pictures, const std::string& folder,
                            unsigned threads = 1);

}  // namespace bench
