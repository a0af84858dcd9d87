#pragma once
// What the POSIX backend's files share: the prefix settings and the generation counter that
// tells every cache when the prefix was reopened.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/prefix.h"
#include "platform/types.h"

namespace platform::posix {

struct Settings {
  LANGID language = 0;  // 0: from the locale
  DWORD versionMajor = 10;
  DWORD versionMinor = 0;
  bool versionFails = false;
  std::string opener;  // empty: xdg-open on PATH
  std::vector<DriveDeclaration> drives;  // prefix drives, then process drives replacing them
};

// The settings in force (the prefix's settings file merged with this process's declarations).
Settings CurrentSettings();

// Bumped by ReopenPrefix; a cache that remembers the generation it was filled in drops itself
// when the number changed.
std::uint64_t PrefixGeneration();

// The host folder of drive C: (PREFIX/drive_c).
std::string DriveCHostDir();

}  // namespace platform::posix
