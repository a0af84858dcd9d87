// libFuzzer target: the JPEG decoder must turn any bytes into a picture or an empty one, never
// crash, exit or read outside its input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const picture::Bitmap bitmap = picture::DecodeJpeg(data, size);
  if (!bitmap.Empty() &&
      bitmap.rgb.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height * 3) {
    std::abort();
  }
  return 0;
}
