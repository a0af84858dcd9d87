#pragma once
// Stand-ins for the programs the shell starts: a PATH that holds only a folder of the test's
// own (so no runner of the machine is ever found), and scripts written into it.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace testing_support {

class ScopedPath {
 public:
  explicit ScopedPath(const std::filesystem::path& folder) {
    const char* old = std::getenv("PATH");
    old_ = old ? old : "";
    setenv("PATH", folder.c_str(), 1);
  }
  ~ScopedPath() { setenv("PATH", old_.c_str(), 1); }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;

 private:
  std::string old_;
};

// A /bin/sh script at path with the execute bit (or without it).
inline void WriteShellScript(const std::filesystem::path& path, const std::string& body,
                             bool executable = true) {
  namespace fs = std::filesystem;
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, executable ? fs::perms::owner_all
                                   : fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace testing_support
