#pragma once
// A Traditional Chinese prefix with a plain folder serving as the product disc in CD-ROM drive D:.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "platform/prefix.h"
#include "support/test_support.h"

namespace testing_support {

// 許, whose Big5 trail byte is a backslash.
inline const std::string kXuBig5 = "\xB3\x5C";
inline const std::string kXuUtf8 = "\xE8\xA8\xB1";

class DiscFolderTest : public ::testing::Test {
 protected:
  DiscFolderTest() : prefix_(1028) {
    discDir_ = outer_.path() / "disc";
    std::filesystem::create_directories(discDir_);
    drive_ = std::make_unique<ScopedDrive>('D', platform::DRIVE_CDROM, discDir_, "QRTMV");
  }
  ~DiscFolderTest() override {
    // The test may have left the working folder on the disc, which goes with the test.
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
  }
  void SetUp() override { ASSERT_TRUE(drive_->ok()); }

  // A path on the disc by its UTF-8 name, as the host names it.
  std::filesystem::path disc(const std::string& relative) const {
    return discDir_ / std::filesystem::path(std::u8string(relative.begin(), relative.end()));
  }

  TempDir outer_;
  TempPrefix prefix_;
  std::filesystem::path discDir_;
  std::unique_ptr<ScopedDrive> drive_;
};

}  // namespace testing_support
