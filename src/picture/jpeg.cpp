// JPEG decoding and encoding with libjpeg. libjpeg's own error handler ends the process and
// its warnings let a damaged file through as a grey-filled picture; both are replaced here, so
// a damaged picture becomes an empty one and never ends the program.
#include "picture/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/files.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace picture {

namespace {

// No picture larger than this on a side is looked at, whatever the limits.
constexpr int kMaxSide = 16384;
constexpr int kReductions[] = {1, 2, 4, 8};

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void FailJump(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(manager->jump, 1);
}

// Every warning but these few means the picture data is damaged or cut short; libjpeg would
// go on and fill the rest of the picture with grey.
bool IsDamageWarning(int code) {
  switch (code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
      return false;
    default:
      return true;
  }
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && IsDamageWarning(cinfo->err->msg_code)) FailJump(cinfo);
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& manager) {
  jpeg_std_error(&manager.base);
  manager.base.error_exit = FailJump;
  manager.base.emit_message = EmitMessage;
  manager.base.output_message = OutputMessage;
}

// Adobe writes CMYK inverted; nearly every CMYK JPEG is Adobe's.
void CmykRowToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, int width) {
  for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = cmyk[3];
    rgb[0] = static_cast<std::uint8_t>(cmyk[0] * k / 255);
    rgb[1] = static_cast<std::uint8_t>(cmyk[1] * k / 255);
    rgb[2] = static_cast<std::uint8_t>(cmyk[2] * k / 255);
  }
}

j_common_ptr Common(jpeg_decompress_struct* cinfo) { return reinterpret_cast<j_common_ptr>(cinfo); }

// Decodes into *out; false on any failure. Only plain data lives in this frame, since a
// failure leaves it through longjmp.
bool DecodeInto(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits,
                Bitmap* out) {
  jpeg_decompress_struct cinfo;
  ErrorManager manager;
  cinfo.err = &manager.base;
  InstallErrorManager(manager);
  jpeg_create_decompress(&cinfo);
  if (setjmp(manager.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.mem->max_memory_to_use = limits.maxDecoderMemory;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) FailJump(Common(&cinfo));
  if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMaxSide ||
      cinfo.image_height > kMaxSide) {
    FailJump(Common(&cinfo));
  }
  // The size is settled from the header alone, before libjpeg allocates anything for the picture.
  const int reduction = ChooseReduction(static_cast<int>(cinfo.image_width),
                                        static_cast<int>(cinfo.image_height), limits);
  if (reduction == 0) FailJump(Common(&cinfo));
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(reduction);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_calc_output_dimensions(&cinfo);
  if (ChooseReduction(static_cast<int>(cinfo.output_width),
                      static_cast<int>(cinfo.output_height), limits) != 1) {
    FailJump(Common(&cinfo));
  }
  jpeg_start_decompress(&cinfo);
  const int width = static_cast<int>(cinfo.output_width);
  const int height = static_cast<int>(cinfo.output_height);
  if (static_cast<int>(cinfo.output_components) != (cmyk ? 4 : 3))
    FailJump(Common(&cinfo));
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  // libjpeg owns the CMYK row buffer and frees it with the decoder.
  JSAMPLE* cmykRow = nullptr;
  if (cmyk) {
    cmykRow = (*cinfo.mem->alloc_sarray)(Common(&cinfo), JPOOL_IMAGE,
                                         cinfo.output_width * 4, 1)[0];
  }
  // The picture grows row by row, so a header that promises a huge picture over a few bytes of
  // data fails before anything large is allocated.
  while (cinfo.output_scanline < cinfo.output_height) {
    const std::size_t row = cinfo.output_scanline;
    out->rgb.resize((row + 1) * stride);
    JSAMPROW target = cmyk ? cmykRow : out->rgb.data() + row * stride;
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) FailJump(Common(&cinfo));
    if (cmyk) CmykRowToRgb(cmykRow, out->rgb.data() + row * stride, width);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out->width = width;
  out->height = height;
  return true;
}

bool EncodeInto(const Bitmap& bitmap, int quality, unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct cinfo;
  ErrorManager manager;
  cinfo.err = &manager.base;
  InstallErrorManager(manager);
  jpeg_create_compress(&cinfo);
  if (setjmp(manager.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.width);
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = static_cast<std::size_t>(bitmap.width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPLE*>(bitmap.rgb.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// The bytes of a file; std::nullopt when it cannot be read or holds more than limit bytes.
// The buffer grows with what arrives, so a short file costs little whatever the limit.
std::optional<std::string> ReadFileUpTo(const std::string& windowsPath, std::size_t limit) {
  platform::File file;
  if (!file.Open(windowsPath, platform::File::Mode::Read)) return std::nullopt;
  std::string bytes;
  std::size_t filled = 0;
  // One byte past the limit tells a file that is too large from one that just fits.
  while (filled <= limit) {
    if (filled == bytes.size())
      bytes.resize(std::min(limit + 1, std::max<std::size_t>(filled * 2, 64u << 10)));
    const std::size_t n = file.Read(bytes.data() + filled, bytes.size() - filled);
    if (n == 0) break;
    filled += n;
  }
  if (filled > limit || !file.Close()) return std::nullopt;
  bytes.resize(filled);
  return bytes;
}

}  // namespace

int ChooseReduction(int width, int height, const DecodeLimits& limits) {
  if (width <= 0 || height <= 0) return 0;
  for (const int reduction : kReductions) {
    // libjpeg rounds a reduced side up.
    const std::uint64_t w = (static_cast<std::uint64_t>(width) + reduction - 1) / reduction;
    const std::uint64_t h = (static_cast<std::uint64_t>(height) + reduction - 1) / reduction;
    const auto side = static_cast<std::uint64_t>(limits.shownSide);
    if (w <= side && h <= side && w * h <= limits.maxPixels) return reduction;
  }
  return 0;
}

Bitmap DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits) {
  Bitmap bitmap;
  if (!data || size == 0 || size > limits.maxFileBytes) return bitmap;
  if (!DecodeInto(data, size, limits, &bitmap)) return Bitmap{};
  return bitmap;
}

Bitmap LoadJpegFile(const std::string& windowsPath, const DecodeLimits& limits) {
  const std::optional<std::string> bytes = ReadFileUpTo(windowsPath, limits.maxFileBytes);
  if (!bytes) return Bitmap{};
  return DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size(), limits);
}

bool EncodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out) {
  out.clear();
  if (bitmap.Empty() || bitmap.width < 0 || bitmap.height < 0 || bitmap.width > 65500 ||
      bitmap.height > 65500 ||
      bitmap.rgb.size() < static_cast<std::size_t>(bitmap.width) * bitmap.height * 3) {
    return false;
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = EncodeInto(bitmap, quality, &buffer, &size);
  if (ok) out.assign(buffer, buffer + size);
  std::free(buffer);
  return ok;
}

}  // namespace picture
