#pragma once
// Making a folder or file of the engine's tests refuse writes, and the installed-font list with
// it (ReadOnlyRegistry in engine_fixture.h); one implementation per system beside this file.

#include <filesystem>
#include <memory>

namespace engine_test {

// Makes a file or folder unwritable while the object lives: on POSIX by its mode for a normal
// user and by the immutable attribute for root (whom modes do not stop); on Windows by a
// security descriptor that denies writing. ok() is false when writes are still let through.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::filesystem::path& path);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool ok() const { return ok_; }

 private:
  struct Saved;
  std::filesystem::path path_;
  std::unique_ptr<Saved> saved_;
  bool ok_ = false;
};

}  // namespace engine_test
