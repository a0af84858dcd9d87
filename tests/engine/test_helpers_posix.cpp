// Read-only folders and fc-list for the engine's tests.
#include "engine/test_helpers.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "support/test_support.h"

namespace engine_test {

using testing_support::SetImmutable;

ReadOnlyFolder::ReadOnlyFolder(const std::filesystem::path& path) : path_(path) {
  if (geteuid() == 0) {
    immutable_ = SetImmutable(path_, true);
    ok_ = immutable_;
    return;
  }
  std::error_code ec;
  std::filesystem::permissions(path_,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove, ec);
  ok_ = !ec;
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (immutable_) {
    SetImmutable(path_, false);
  } else if (ok_) {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
  }
}

std::string FcList(const std::filesystem::path& confDir, const std::string& fontsDir) {
  const std::filesystem::path conf = confDir / "fonts.conf";
  {
    std::ofstream out(conf);
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
           "<fontconfig>\n  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
           "  <dir>" << fontsDir << "</dir>\n</fontconfig>\n";
  }
  const std::string command =
      "FONTCONFIG_FILE='" + conf.string() + "' fc-list : file family 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
    pclose(pipe);
  }
  return output;
}

}  // namespace engine_test
