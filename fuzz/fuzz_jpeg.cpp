// libFuzzer target: the JPEG decoder must turn any bytes into a picture or an empty one, never
// crash, exit or read outside its input; a sample's decode stays within its limits and, for a
// picture that fits them at natural size, equals the whole picture's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture/jpeg.h"

namespace {

void Check(const picture::Bitmap& bitmap, const picture::DecodeLimits& limits) {
  if (bitmap.Empty()) return;
  if (bitmap.rgb.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height * 3 ||
      picture::ChooseReduction(bitmap.width, bitmap.height, limits) != 1) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const picture::Bitmap whole = picture::DecodeJpeg(data, size);
  Check(whole, picture::kWholePicture);
  const picture::Bitmap sample = picture::DecodeJpeg(data, size, picture::kSamplePicture);
  Check(sample, picture::kSamplePicture);
  if (!whole.Empty() &&
      picture::ChooseReduction(whole.width, whole.height, picture::kSamplePicture) == 1 &&
      (sample.width != whole.width || sample.height != whole.height || sample.rgb != whole.rgb)) {
    std::abort();
  }
  return 0;
}
