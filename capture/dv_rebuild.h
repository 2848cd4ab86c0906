// Rebuilding a received DV picture into a standard DV frame, and the capture file heads.
//
// The camcorder sends a DV picture in one of three layouts (the high nibble of the picture
// type): 0x40 and 0x60 carry 13440 bytes a DIF sequence (the six header, subcode and VAUX
// blocks, then nine groups of 18 blocks: an audio block, 15 video blocks and two fillers),
// 0x70 carries 11520 bytes (144 blocks: 135 video blocks, VAUX, subcode, four unused).
// The rebuild puts the blocks in DIF order (150 blocks of 80 bytes a sequence) and writes
// standard DIF block IDs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace capture {

inline constexpr size_t kDifBlock = 80;
inline constexpr size_t kDifSequence = 150 * kDifBlock;  // 12000
inline constexpr size_t kDvFrameBufferSize = 150000;
inline constexpr size_t kDvfSequenceBytes = 149 * kDifBlock;  // 11920: blocks 1..149
inline constexpr size_t kDvfHeadSize = 32;

// Bytes a sequence takes in the received picture of a layout (0 for an unknown layout).
size_t LayoutSequenceBytes(uint8_t pictureType);

// Rebuilds the frame (kDvFrameBufferSize bytes) from `received` bytes of picture data.
// Gives the number of DIF sequences (10 or 12), or 0 for an unknown layout or a picture
// too short for its sequence count. Layout 0x70 sets received to sequences * 12000.
// Layout 0x60 writes the time-code pack into the subcode blocks.
int MakeDvFrame(const uint8_t* picture, uint32_t& received, uint8_t pictureType,
                const std::array<uint8_t, 5>& timeCodePack, uint8_t* frame);

// The 32-byte head of a frame file of 10 ("SD5") or 12 ("SD6") sequences.
std::string DvfHead(int sequences);

// The 16-byte head of an uncompressed capture file: "YUV0", data size, width, height (little-endian).
std::string YuvHead(uint32_t dataSize, uint32_t width, uint32_t height);

}  // namespace capture
