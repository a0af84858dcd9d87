// JPEG decoding of good, damaged and foreign data, and the encode/decode round trip.
#include "picture/jpeg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/prefix.h"
#include "support/test_support.h"

// The largest single allocation through operator new, so a test can tell that a huge picture
// was never given a full-size bitmap.
static std::atomic<std::size_t> largestNew{0};

void* operator new(std::size_t size) {
  std::size_t seen = largestNew.load();
  while (size > seen && !largestNew.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// Kept out of line, where the compiler would otherwise pair operator new with free.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using picture::Bitmap;

// Smooth ramps that differ per channel, so that swapped channels or rows show.
Bitmap Gradient(int width, int height) {
  Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &bitmap.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>(255 - (x + y) * 255 / (width + height));
    }
  }
  return bitmap;
}

std::vector<std::uint8_t> Encode(const Bitmap& bitmap, int quality = 90) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(picture::EncodeJpeg(bitmap, quality, bytes));
  return bytes;
}

Bitmap Decode(const std::vector<std::uint8_t>& bytes) {
  return picture::DecodeJpeg(bytes.data(), bytes.size());
}

TEST(Jpeg, RoundTripKeepsSizeAndColours) {
  for (auto [width, height] : {std::pair{1, 1}, {17, 9}, {630, 451}, {24, 18}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const Bitmap original = Gradient(width, height);
    const Bitmap decoded = Decode(Encode(original, 95));
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    ASSERT_EQ(decoded.rgb.size(), original.rgb.size());
    long worst = 0;
    double total = 0;
    for (std::size_t i = 0; i < original.rgb.size(); ++i) {
      const long diff = std::labs(long{original.rgb[i]} - long{decoded.rgb[i]});
      worst = std::max(worst, diff);
      total += static_cast<double>(diff);
    }
    // Lossy, but close: the average byte stays within a few steps.
    EXPECT_LT(total / static_cast<double>(original.rgb.size()), 3.0);
    EXPECT_LT(worst, 40);
  }
}

TEST(Jpeg, DamagedOrForeignDataGivesAnEmptyPicture) {
  const std::vector<std::uint8_t> good = Encode(Gradient(64, 48));
  ASSERT_GT(good.size(), 200u);

  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"start marker only", {0xFF, 0xD8}});
  cases.push_back({"header cut short", {good.begin(), good.begin() + 100}});
  cases.push_back({"data cut short", {good.begin(), good.begin() + good.size() * 2 / 3}});
  cases.push_back({"end marker missing", {good.begin(), good.end() - 2}});
  std::vector<std::uint8_t> scrambled = good;
  for (std::size_t i = scrambled.size() / 2; i < scrambled.size() - 2; i += 3) scrambled[i] = 0xFF;
  cases.push_back({"entropy data scrambled", scrambled});
  const std::string text = "[Lang]\r\n1028=cht\r\n";
  cases.push_back({"an INI file", {text.begin(), text.end()}});
  // A PNG signature and header.
  cases.push_back({"a PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bitmap bitmap = picture::DecodeJpeg(c.bytes.data(), c.bytes.size());
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_TRUE(bitmap.rgb.empty());
  }
  EXPECT_TRUE(picture::DecodeJpeg(nullptr, 10).Empty());
}

TEST(Jpeg, HugeDeclaredSizeIsRefused) {
  std::vector<std::uint8_t> bytes = Encode(Gradient(16, 16));
  // Rewrite the frame header (SOF0: FF C0, length, precision, height, width) to 20000 x 20000.
  bool patched = false;
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = 20000 >> 8;
      bytes[i + 6] = 20000 & 0xFF;
      bytes[i + 7] = 20000 >> 8;
      bytes[i + 8] = 20000 & 0xFF;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_TRUE(Decode(bytes).Empty());
}

TEST(Jpeg, EncodeRefusesAnEmptyOrShortBitmap) {
  std::vector<std::uint8_t> out{1, 2, 3};
  EXPECT_FALSE(picture::EncodeJpeg(Bitmap{}, 90, out));
  EXPECT_TRUE(out.empty());
  Bitmap shortBitmap;
  shortBitmap.width = 10;
  shortBitmap.height = 10;
  shortBitmap.rgb.resize(10);
  EXPECT_FALSE(picture::EncodeJpeg(shortBitmap, 90, out));
}

TEST(Jpeg, LoadsFilesByWindowsPath) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir disc;
  platform::DriveDeclaration drive;
  drive.letter = 'E';
  drive.hostFolder = disc.str();
  drive.label = "QRTMV";
  ASSERT_TRUE(platform::DeclareDrive(drive, platform::DeclarationScope::Process));

  const std::vector<std::uint8_t> good = Encode(Gradient(40, 30));
  testing_support::WriteFile(disc.path() / "tmp" / "img" / "installed.jpg",
                             std::string(good.begin(), good.end()));
  testing_support::WriteFile(disc.path() / "tmp" / "img" / "broken.jpg",
                             std::string(good.begin(), good.begin() + 50));

  const Bitmap loaded = picture::LoadJpegFile("E:\\tmp\\img\\installed.jpg");
  EXPECT_EQ(loaded.width, 40);
  EXPECT_EQ(loaded.height, 30);
  // Disc names do not care about case.
  EXPECT_EQ(picture::LoadJpegFile("E:\\TMP\\IMG\\INSTALLED.JPG").width, 40);
  EXPECT_TRUE(picture::LoadJpegFile("E:\\tmp\\img\\broken.jpg").Empty());
  EXPECT_TRUE(picture::LoadJpegFile("E:\\tmp\\img\\missing.jpg").Empty());
  EXPECT_TRUE(picture::LoadJpegFile("E:\\tmp\\img").Empty());
  EXPECT_TRUE(picture::LoadJpegFile("Q:\\nowhere.jpg").Empty());

  // A good picture followed by more bytes than a sample may have; libjpeg stops at its end.
  std::string padded(good.begin(), good.end());
  padded.resize(picture::kSamplePicture.maxFileBytes + 1);
  testing_support::WriteFile(disc.path() / "big.jpg", padded);
  padded.resize(picture::kSamplePicture.maxFileBytes);
  testing_support::WriteFile(disc.path() / "fits.jpg", padded);
  EXPECT_EQ(picture::LoadJpegFile("E:\\big.jpg").width, 40);
  EXPECT_TRUE(picture::LoadJpegFile("E:\\big.jpg", picture::kSamplePicture).Empty());
  EXPECT_EQ(picture::LoadJpegFile("E:\\fits.jpg", picture::kSamplePicture).width, 40);
}
}  // namespace

namespace {

// The fuzzing seeds cover the colour models and codings that pictures on a disc come in.
TEST(Jpeg, DecodesGreyCmykProgressiveAndRestartPictures) {
  // This file lies in tests/picture of the source tree.
  const char* source = std::getenv("ZF_SOURCE_DIR");
  const std::filesystem::path root =
      source ? std::filesystem::path(source)
             : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  const std::filesystem::path folder = root / "fuzz" / "corpus" / "jpeg";
  if (!std::filesystem::exists(folder / "cmyk.jpg"))
    GTEST_SKIP() << "the source tree's fuzzing seeds are not at " << folder;
  const auto load = [&](const char* name) {
    const std::string bytes = testing_support::ReadFile(folder / name);
    return picture::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  };
  const auto mean = [](const Bitmap& bitmap, int channel) {
    double sum = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < bitmap.rgb.size(); i += 3)
      sum += bitmap.rgb[i];
    return sum / (static_cast<double>(bitmap.rgb.size()) / 3);
  };
  const Bitmap reference = load("progressive.jpg");
  ASSERT_EQ(reference.width, 12);
  ASSERT_EQ(reference.height, 9);
  for (const char* name : {"cmyk.jpg", "restart.jpg"}) {
    SCOPED_TRACE(name);
    const Bitmap bitmap = load(name);
    ASSERT_EQ(bitmap.width, 12);
    ASSERT_EQ(bitmap.height, 9);
    for (int channel = 0; channel < 3; ++channel)
      EXPECT_NEAR(mean(bitmap, channel), mean(reference, channel), 25.0) << channel;
  }
  const Bitmap grey = load("gray.jpg");
  ASSERT_EQ(grey.width, 12);
  for (std::size_t i = 0; i < grey.rgb.size(); i += 3) {
    EXPECT_EQ(grey.rgb[i], grey.rgb[i + 1]);
    EXPECT_EQ(grey.rgb[i], grey.rgb[i + 2]);
  }
}
}  // namespace

namespace {

using picture::kSamplePicture;
using picture::kWholePicture;

TEST(Jpeg, ReductionIsTheSmallestThatFitsTheShownSideAndThePixelCap) {
  struct Case {
    int width, height;
    const picture::DecodeLimits& limits;
    int reduction;
  };
  const Case cases[] = {
      {340, 64, kSamplePicture, 1},       // the disc's samples: natural size
      {4096, 256, kSamplePicture, 1},     // on the side and the cap exactly
      {4097, 10, kSamplePicture, 2},      // one pixel wider than the shown side
      {2000, 2000, kSamplePicture, 2},    // 4 Mpixel: halved to 1 Mpixel
      {16384, 1024, kSamplePicture, 4},   // 4096 x 256
      {8192, 8192, kSamplePicture, 8},    // 1024 x 1024
      {16383, 16383, kSamplePicture, 0},  // 2048 x 2048 even at 1/8: over the cap
      {16384, 16384, kWholePicture, 1},   // artwork is never reduced
      {0, 10, kSamplePicture, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_EQ(picture::ChooseReduction(c.width, c.height, c.limits), c.reduction);
  }
}

// A mid-grey baseline JPEG of any size without encoding it: every 16 x 16 block group of such a
// picture codes to the same four bytes, so the frame size is patched and the group repeated.
std::vector<std::uint8_t> GreyJpeg(int width, int height) {
  Bitmap grey;
  grey.width = grey.height = 16;
  grey.rgb.assign(16 * 16 * 3, 128);
  const std::vector<std::uint8_t> small = Encode(grey);
  const std::vector<std::uint8_t> group{0x28, 0xA2, 0x8A, 0x00};
  std::size_t sof = 0, data = 0;
  for (std::size_t i = 2; i + 4 < small.size(); i += 2u + (small[i + 2] << 8 | small[i + 3])) {
    if (small[i + 1] == 0xC0) sof = i;
    if (small[i + 1] == 0xDA) data = i + 2 + (small[i + 2] << 8 | small[i + 3]);
    if (data) break;
  }
  EXPECT_TRUE(sof && data && small.size() == data + group.size() + 2 &&
              std::equal(group.begin(), group.end(), small.begin() + data))
      << "the encoder no longer writes grey as expected";
  std::vector<std::uint8_t> big(small.begin(), small.begin() + data);
  big[sof + 5] = height >> 8;
  big[sof + 6] = height & 0xFF;
  big[sof + 7] = width >> 8;
  big[sof + 8] = width & 0xFF;
  for (long n = long{(width + 15) / 16} * ((height + 15) / 16); n > 0; --n)
    big.insert(big.end(), group.begin(), group.end());
  big.insert(big.end(), {0xFF, 0xD9});
  return big;
}

TEST(Jpeg, SamplesDecodeAtTheirShownSizeAndHugeOnesWithoutAFullSizeBitmap) {
  struct Case {
    int width, height;
    int shownWidth, shownHeight;  // 0: shows as missing
  };
  const Case cases[] = {
      {340, 64, 340, 64},
      {4400, 40, 2200, 20},
      {16384, 4096, 2048, 512},
      {16384, 16384, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::vector<std::uint8_t> bytes = GreyJpeg(c.width, c.height);
    largestNew = 0;
    const Bitmap shown = picture::DecodeJpeg(bytes.data(), bytes.size(), kSamplePicture);
    EXPECT_LE(largestNew.load(), std::size_t{8} << 20);
    ASSERT_EQ(shown.width, c.shownWidth);
    ASSERT_EQ(shown.height, c.shownHeight);
    ASSERT_EQ(shown.rgb.size(), std::size_t(c.shownWidth) * c.shownHeight * 3);
    for (std::uint8_t value : shown.rgb) ASSERT_NEAR(value, 128, 2);
  }
  // A picture within the limits decodes exactly as a whole picture does.
  const std::vector<std::uint8_t> sample = Encode(Gradient(340, 64));
  EXPECT_EQ(picture::DecodeJpeg(sample.data(), sample.size(), kSamplePicture).rgb,
            Decode(sample).rgb);
}

}  // namespace
