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

// Decodes a JPEG in memory; an empty Bitmap for anything that is not a whole, decodable JPEG
// (or larger than 16384 pixels on a side).
Bitmap DecodeJpeg(const std::uint8_t* data, std::size_t size);
// Decodes the JPEG file named by a Windows path; empty when missing or undecodable.
Bitmap LoadJpegFile(const std::string& windowsPath);

// Encodes a bitmap; false when it is empty.
bool EncodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out);

}  // namespace picture
