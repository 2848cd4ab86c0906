// Helpers of the codec's tests: DV frames made by ffmpeg, ffmpeg's own decode of them
// turned into the picture our decoder should give, and picture comparisons.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dvtest {

inline int sequencesOf(int system) { return system == 625 ? 12 : 10; }
inline int linesOf(int system) { return system == 625 ? 576 : 480; }
inline size_t frameSize(int system) { return size_t(sequencesOf(system)) * 12000; }

// Encodes `count` frames of a lavfi source (e.g. "testsrc2") at 720 wide with ffmpeg's
// DV encoder: 525 from yuv411p, 625 from yuv420p. `filters` is appended to the source
// (e.g. ",noise=alls=40:allf=t"). Each frame is returned whole.
std::vector<std::string> encodeFrames(int system, const std::string& source, const std::string& filters,
                                      bool interlacedDct, int count, const std::filesystem::path& dir);

// A 720-wide picture of a lavfi source (e.g. "mandelbrot") with filters, as 24-bit B, G,
// R rows, top row first (2160 bytes a row), made by ffmpeg.
std::vector<uint8_t> lavfiPicture(int system, const std::string& source, const std::string& filters,
                                  const std::filesystem::path& dir);
// ffmpeg's decode of one frame to the same rows; its messages (errors only) to *messages.
std::vector<uint8_t> ffmpegDecodeBgr(const std::string& frame, const std::filesystem::path& dir, std::string* messages);

// ffmpeg's decode of one frame as planes (Y, then Cb, then Cr, unsigned).
struct Planes {
  int width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
  std::vector<uint8_t> y, cb, cr;
};
Planes ffmpegDecode(int system, const std::string& frame, const std::filesystem::path& dir);

// A top-first picture of Y (unsigned) and Cr, Cb (signed) samples per pixel.
struct YccPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> y;
  std::vector<int8_t> cr, cb;
};
// The full-size picture made from ffmpeg's planes with this codec's chroma rules:
// 4:1:1 interpolated linearly between the samples of a line (the last group repeats its
// sample), 4:2:0 with each sample covering 2 x 2 pixels.
YccPicture pictureFromPlanes(int system, const Planes& planes);

// Horizontal resampling of a picture by the codec's rule (the filtered, 5-tap form, or
// nearest neighbour), converting to bottom-up BGR without the rounding term.
std::vector<uint8_t> resampledBgr(const YccPicture& picture, int width, int mode);

// A bottom-up 24-bit BGR bitmap of the picture (rows padded to 4 bytes), converted with
// the codec's BT.601 conversion rounded to nearest.
std::vector<uint8_t> toBgr(const YccPicture& picture);

// The picture reduced by `factor` in both directions: each pixel's Y, Cr and Cb the
// means of its factor x factor area, rounded to nearest; then as toBgr.
std::vector<uint8_t> areaAveraged(const YccPicture& picture, int factor);

// PSNR of the luminance of a bottom-up 24-bit bitmap (read back from its RGB with the
// studio-range BT.601 factors) against the means of the picture's luminance over
// factor x factor areas.
double lumaPsnr(const std::vector<uint8_t>& bgr, const YccPicture& picture, int factor);

// The row length of a 24-bit bitmap.
inline size_t strideOf(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }

// Peak signal-to-noise ratio over the pixel bytes of two bitmaps of the same size (the
// row padding is left out), and the largest difference of a byte.
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height);
int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height);

// The DVF image of a plain frame: the 32-byte head and the sequences without their
// header blocks.
std::string toDvf(int system, const std::string& frame);

// The number of blocks of a frame coded in the 2-4-8 mode.
int count248Blocks(int system, const std::string& frame);

// A frame of random bytes (every bit string is valid variable-length data), the same
// for the same seed.
std::string randomFrame(int system, uint32_t seed);

// Decodes with a new decoder into a bitmap of the format's size (pre-filled with
// `fill`); returns the result code.
int decodeInto(int system, std::string& source, uint32_t width, uint32_t height, uint32_t resample,
               uint32_t form, std::vector<uint8_t>* out, uint8_t fill = 0);

// IEEE 1394 DV packets made from whole frames: each DIF sequence as 25 data packets of six
// DIF blocks, each behind an 8-byte CIP header (DBS 120 quadlets, FMT DVCR, the 50/60
// bit for 625 or when asked), the data block count going up by one per data packet from
// `dbc`; an empty packet (a header alone, carrying the next data packet's count) after
// every `emptyEvery` data packets (0: none). One string a packet, in order.
struct CipOptions {
  int emptyEvery = 15;
  uint8_t dbc = 0;
  bool fiftyHertz = false;  // the 50/60 bit, whatever the frames' system
};
std::vector<std::string> cipPackets(int system, const std::vector<std::string>& frames, const CipOptions& options = {});
inline bool isDataPacket(const std::string& packet) { return packet.size() > 8; }
// The packets [from, to) joined into one stream.
std::string joinPackets(const std::vector<std::string>& packets, size_t from = 0, size_t to = size_t(-1));

// Writes bits most significant first, for building video data by hand.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* bytes) : bytes_(bytes) {}
  void put(uint32_t value, int bits);  // the low `bits` bits of value
  void put(const char* bits);          // "0110" etc.
  int position() const { return pos_; }

 private:
  uint8_t* bytes_;
  int pos_ = 0;
};

}  // namespace dvtest
