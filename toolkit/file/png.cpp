// PNG files through libpng: any kind, read as 8-bit blue, green, red. Alpha and
// transparency are dropped (the colours are kept as stored); 16-bit samples are scaled.
#include <png.h>

#include <cstdio>
#include <vector>

#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"

namespace qm6file {

namespace {

void quiet(png_structp, png_const_charp) {}
[[noreturn]] void fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// The decoding itself, between setjmp and libpng's error exit: nothing here owns
// anything that needs a destructor. Returns the rows' picture or 0.
QmHandle decode(png_structp png, png_infop info, FILE* file, uint64_t fileSize, png_bytep* rows) {
  QmHandle volatile picture = 0;
  if (setjmp(png_jmpbuf(png))) {
    if (picture) QmGlobalFree(picture);
    return 0;
  }
  png_init_io(png, file);
  png_set_user_limits(png, qm6dib::kMaxSide, qm6dib::kMaxSide);
  // Only the chunks that make up the picture are read (head, palette, transparency,
  // data); every other one (text, profiles, Exif and the rest) is passed over, which
  // takes no memory: libpng would allocate what such a chunk's length claims before it
  // reads the chunk.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int colour = png_get_color_type(png, info);
  // The picture's data is Deflate data within the file, and holds every pixel's bits
  // (interlaced or not): a file that cannot hold them is refused before any memory is
  // taken for the picture.
  const uint64_t pixelBits = static_cast<uint64_t>(depth) * png_get_channels(png, info);
  if (!canHold(fileSize, kDeflate, static_cast<unsigned __int128>(w) * h * pixelBits)) return 0;
  if (depth == 16) png_set_scale_16(png);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_strip_alpha(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != 3ull * w) return 0;
  picture = qm6dib::create24(static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (!picture) return 0;
  {
    qm6dib::Locked pic(picture);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = pic.row(static_cast<int32_t>(y));
  }
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return picture;
}

}  // namespace

QmHandle readPng(const std::string& path, uint64_t fileSize) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, quiet);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  QmHandle picture = 0;
  if (info) {
    // Row pointers for the largest picture allowed; set once the size is known.
    std::vector<png_bytep> rows(qm6dib::kMaxSide + 1);
    picture = decode(png, info, file, fileSize, rows.data());
  }
  png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
  std::fclose(file);
  return picture;
}

}  // namespace qm6file
