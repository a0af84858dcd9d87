#pragma once
// What the POSIX backend's text, file and drive code share: strict conversions, the drive map
// with its mounted discs, and the reading of a medium's volume label.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::posix {

// Conversions that fail instead of putting '?' in place of what does not convert (a host file
// name that has no ANSI form must not be offered under a name that opens something else).
std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8);
std::optional<std::string> AnsiToUtf8Strict(std::string_view ansi);

// Translates errno into the Windows error that SetLastError records.
DWORD ErrorFromErrno(int error);

// One drive of the map.
struct Drive {
  char letter = 0;
  DWORD type = 0;
  std::string hostFolder;  // empty: no medium
  std::string label;       // UTF-8
  std::string fileSystem;  // "NTFS", "CDFS", "UDF"
};

// The drives in letter order: C:, the declared drives, then the mounted discs. Filled once per
// prefix generation; the mounted discs are read again when the mount table changes.
std::vector<Drive> DriveMap();
std::optional<Drive> FindDrive(char letter);

// An ISO 9660 or UDF file system of the mount table.
struct OpticalMount {
  std::string mountPoint;
  std::string fileSystem;  // "iso9660" or "udf"
  std::string device;      // the mount source, e.g. /dev/sr0
  std::string deviceNumber;  // major:minor, the same for every mount of one medium
};

// Reads the mounted discs from another file in the format of /proc/self/mountinfo (empty: the
// kernel's table again), for tests that cannot mount an image. Such a file is read again
// whenever its text changed.
void SetMountTableFile(const std::string& path);

// The ISO 9660 and UDF entries of a /proc/self/mountinfo text, one per medium, in table order.
std::vector<OpticalMount> ParseOpticalMounts(std::string_view mountinfo);

// The volume label (UTF-8) of the medium in device (a block device or an image file), read with
// libblkid; fallback when the device opens but carries no readable label; empty when the device
// cannot be opened.
std::string ReadVolumeLabel(const std::string& device, const std::string& fallback);

}  // namespace platform::posix
