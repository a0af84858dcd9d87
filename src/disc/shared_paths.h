#pragma once
// The process-wide path state that start-up and the launcher actions fill and that the font
// window and the catalogue read. Paths are built by plain concatenation; folders named by
// literals end in a backslash and no separator is ever inserted.

#include <cstdint>
#include <string>

namespace disc {

struct SharedPaths {
  std::string discRoot = "0";        // "D:\" or "0" when no disc was found
  std::string setFolder;             // ends in a backslash
  std::string setFolderNoSlash;      // setFolder less its last character
  std::string infoFolder;            // catalogue copy: setFolder + "tmp\Info"
  std::string infoFolderTexts;       // message-file copy: set by the font-set actions
  std::string languageName;          // from the set's language map; may be empty
  std::int32_t showInstallBoth = 0;  // CheckInstallBoth shows only when not 0
};

// The one instance of the process (window thread only).
SharedPaths& Paths();

}  // namespace disc
