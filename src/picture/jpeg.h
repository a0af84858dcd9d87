#pragma once
// JPEG pictures with libjpeg: decoding that never exits or crashes on a corrupt file (an empty
// picture instead), and encoding for the tools that draw artwork and sample pictures.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace picture {

// An 8-bit RGB picture, rows top to bottom, 3 bytes a pixel.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  bool Empty() const { return width == 0 || height == 0; }
};

// How large a picture may become. One wider or taller than shownSide is decoded with libjpeg's
// reduction (1/2, 1/4, 1/8) at the first size that fits shownSide and maxPixels; one that fits
// neither at 1/8 gives an empty Bitmap, as does a file over maxFileBytes or a picture whose
// decoder would need more than maxDecoderMemory (progressive pictures keep every coefficient).
struct DecodeLimits {
  int shownSide;
  std::uint64_t maxPixels;
  std::size_t maxFileBytes;
  long maxDecoderMemory;
};

// Artwork and whole pictures: natural size up to 16384 pixels on a side, never reduced.
inline constexpr DecodeLimits kWholePicture{16384, 16384ull * 16384, 256u << 20, 512L << 20};
// A font's sample picture in the font window's list, shown at natural size in a list box 370
// pixels wide: wider or taller than 4096 (beyond any screen) it is reduced, and it may hold at
// most 1 Mpixel (4 MB as a window picture); the disc's samples are a few hundred by tens.
inline constexpr DecodeLimits kSamplePicture{4096, 1u << 20, 16u << 20, 64L << 20};

// The reduction denominator (1, 2, 4 or 8) for a picture of width x height under limits, the
// smallest that fits; 0 when none does.
int ChooseReduction(int width, int height, const DecodeLimits& limits);

// Decodes a JPEG in memory; an empty Bitmap for anything that is not a whole, decodable JPEG
// (or larger than 16384 pixels on a side, or over the limits after the best reduction).
Bitmap DecodeJpeg(const std::uint8_t* data, std::size_t size,
                  const DecodeLimits& limits = kWholePicture);
// Decodes the JPEG file named by a Windows path; empty when missing, undecodable or over limits.
Bitmap LoadJpegFile(const std::string& windowsPath, const DecodeLimits& limits = kWholePicture);

// Encodes a bitmap; false when it is empty.
bool EncodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out);

}  // namespace picture
