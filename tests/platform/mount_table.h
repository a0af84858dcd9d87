#pragma once
// A mount table of the tests' own for the drive search: discs listed as mounted without mount.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/host.h"
#include "support/test_support.h"

namespace testing_support {

struct ListedDisc {
  std::string deviceNumber;  // "11:0": the medium's identity
  std::filesystem::path mountPoint;
  std::string source;  // the device or image file the label is read from
  std::string fileSystem = "iso9660";
};

// Points the drive search at a table file in folder while it lives; the kernel's table again
// afterwards.
class ScopedMountTable {
 public:
  explicit ScopedMountTable(const std::filesystem::path& folder) : file_(folder / "mountinfo") {
    List({});
    platform::posix::SetMountTableFile(file_.string());
  }
  ~ScopedMountTable() { platform::posix::SetMountTableFile(""); }
  ScopedMountTable(const ScopedMountTable&) = delete;
  ScopedMountTable& operator=(const ScopedMountTable&) = delete;

  // Replaces the table: the root file system, then the discs in order.
  void List(const std::vector<ListedDisc>& discs) {
    std::string text = "30 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    int id = 40;
    for (const ListedDisc& d : discs)
      text += std::to_string(id++) + " 30 " + d.deviceNumber + " / " + d.mountPoint.string() +
              " ro,nosuid - " + d.fileSystem + " " + d.source + " ro\n";
    WriteFile(file_, text);
  }

 private:
  std::filesystem::path file_;
};

}  // namespace testing_support
