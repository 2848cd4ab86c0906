/* A C program built against the installed libraries, as another program would use them:
 * decodes a 525/60 DV frame with libzeb_dv32 and reads a JPEG file with libQm6Jpeg, and
 * prints the size and the centre pixel (blue green red) of each picture:
 *   dv <width> <height> <b> <g> <r>
 *   jpeg <width> <height> <bits> <b> <g> <r>
 * Usage: library_client <frame.dv> <picture.jpg>; exit code 0 when both were read. */
#include <qm6jpeg.h>
#include <zeb_dv32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char* readWhole(const char* path, long* size) {
  FILE* f = fopen(path, "rb");
  unsigned char* data = NULL;
  if (!f) return NULL;
  if (fseek(f, 0, SEEK_END) == 0 && (*size = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
    data = malloc((size_t)*size);
    if (data && fread(data, 1, (size_t)*size, f) != (size_t)*size) {
      free(data);
      data = NULL;
    }
  }
  fclose(f);
  return data;
}

static int decodeDv(const char* path) {
  long size = 0;
  unsigned char* frame = readWhole(path, &size);
  if (!frame) return 0;
  DvcDibFormat format;
  memset(&format, 0, sizeof format);
  format.width = 720;
  format.height = 480;
  format.inputForm = DVC_FORM_FRAME;
  const uint32_t bytes = DvcGetDibInfo(720, 480);
  unsigned char* pixels = malloc(bytes);
  DvDecoder* decoder = DvcOpenDecoder(0);
  int ok = 0;
  if (pixels && decoder && DvcDecode(decoder, frame, (uint32_t)size, pixels, NULL, &format) == DVC_OK) {
    const unsigned char* p = pixels + 240u * format.stride + 360u * 3u;
    printf("dv %u %u %u %u %u\n", format.width, format.height, p[0], p[1], p[2]);
    ok = 1;
  }
  if (decoder) DvcCloseDecoder(decoder);
  free(pixels);
  free(frame);
  return ok;
}

static int loadJpeg(const char* path) {
  JPEGFILEINFO info;
  memset(&info, 0, sizeof info);
  if (!_QMJpegFileInfo(path, &info)) return 0;
  const QmHandle dib = _QMJpegFileLoad(path, 0, 0, 0, 0);
  if (!dib) {
    fprintf(stderr, "JPEG load failed with status %d\n", (int)GetErrorStatus());
    return 0;
  }
  const unsigned char* block = QmGlobalLock(dib);
  const QmBitmapInfoHeader* header = (const QmBitmapInfoHeader*)block;
  const unsigned bits = header->biBitCount;
  if (bits == 24) {
    const uint32_t stride = ((uint32_t)header->biWidth * 3u + 3u) & ~3u;
    const unsigned char* p = block + header->biSize + GetDibPalSize(header) +
                             (uint32_t)(header->biHeight / 2) * stride + (uint32_t)(header->biWidth / 2) * 3u;
    printf("jpeg %u %u %u %u %u %u\n", info.Width, info.Height, bits, p[0], p[1], p[2]);
  } else {
    fprintf(stderr, "a %u-bit picture where a 24-bit one was expected\n", bits);
  }
  QmGlobalUnlock(dib);
  QmGlobalFree(dib);
  return bits == 24;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s <frame.dv> <picture.jpg>\n", argv[0]);
    return 2;
  }
  const int dv = decodeDv(argv[1]);
  const int jpeg = loadJpeg(argv[2]);
  return dv && jpeg ? 0 : 1;
}
