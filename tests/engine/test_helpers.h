#pragma once
// Small host-side helpers of the engine's tests: making a file or folder read-only even for
// root, and asking fontconfig's fc-list what it sees.

#include <filesystem>
#include <string>

namespace engine_test {

// Makes a file or folder unwritable while the object lives: by its mode for a normal user, by
// the immutable attribute for root (whom modes do not stop). ok() is false when neither works.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::filesystem::path& path);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::filesystem::path path_;
  bool immutable_ = false;
  bool ok_ = false;
};

// "file: family" lines of fc-list, run with a fonts.conf in confDir that includes the system
// configuration and adds fontsDir.
std::string FcList(const std::filesystem::path& confDir, const std::string& fontsDir);

}  // namespace engine_test
