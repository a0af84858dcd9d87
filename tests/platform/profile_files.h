#pragma once
// The fixture of the profile tests that read real files: a temporary prefix with a folder for
// them, named by its Windows path.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "support/test_support.h"

// Files through the backend's own reader (the system's on Windows), in a temporary prefix.
class ProfileFiles : public ::testing::Test {
 protected:
  ProfileFiles() {
    std::filesystem::create_directories(Host(""));
    folder_ = platform::WindowsPathOf(Host("").string()).value_or("C:\\profiles\\");
    if (folder_.back() != '\\') folder_ += '\\';
  }
  std::filesystem::path Host(const std::string& name) {
    return prefix_.path() / "drive_c" / "profiles" / name;
  }
  std::string Win(const std::string& name) { return folder_ + name; }

  testing_support::TempPrefix prefix_;
  std::string folder_;
};
