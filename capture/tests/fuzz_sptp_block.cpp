// Feeds arbitrary bytes to the picture transfer's block parser: as raw block frames
// (a two-byte length, then the frame) into a picture, then the completeness test and the
// frame rebuild or the uncompressed file's checks; and as the bytes of a line that the block
// receiver reads.
#include <cstdint>
#include <vector>

#include "capture/dv_rebuild.h"
#include "capture/sptp_block.h"
#include "capture/varn_cpt.h"
#include "scripted_port.h"

namespace {

void parseBlocks(const uint8_t* data, size_t size) {
  static capture::PictureAssembly picture;
  static std::vector<uint8_t> frame(capture::kDvFrameBufferSize);
  picture.Reset();
  size_t i = 0;
  while (i + 2 <= size) {
    size_t n = std::min<size_t>((size_t(data[i]) << 8 | data[i + 1]) % (capture::kBlockBufferSize + 1), size - i - 2);
    i += 2;
    picture.ParseBlock(data + i, n);
    i += n;
  }
  if (picture.Complete() && picture.header().isDv()) {
    uint32_t received = picture.received();
    capture::MakeDvFrame(picture.picture().data(), received, picture.header().pictureType, {0x13, 0, 0, 0, 0},
                         frame.data());
  }
}

void receiveBlocks(const uint8_t* data, size_t size) {
  platform::ManualClock clock;
  captest::ScriptedPort port(clock);
  // The first bytes arrive with the start; the rest in pieces after each request.
  size_t i = 0;
  while (i < size) {
    size_t n = std::min<size_t>(size - i, 1 + data[i] * 16);
    port.Answer(std::vector<uint8_t>(data + i, data + i + n), std::chrono::milliseconds(data[i] % 40));
    i += n;
  }
  capture::CVarnIO io(port, clock, [](int) { return std::string("/dev/fuzz"); });
  io.Open(1);
  io.SetupTransfer();
  capture::VarnCpt cpt(io);
  cpt.SetId(6);
  cpt.settings().baud = 115200;
  cpt.SetRate();
  cpt.Transfer();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1)
    receiveBlocks(data + 1, size - 1);
  else
    parseBlocks(data + 1, size - 1);
  return 0;
}
