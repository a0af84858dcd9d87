#pragma once
// A generated product disc for the engine's tests: a temporary prefix, a host folder serving as
// drive D: holding the set TTF with its catalogue, real font files copied onto it, and helpers
// that read the installed-font list and the Fonts folder back.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace engine_test {

namespace fs = std::filesystem;

inline const char* const kNtFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline const char* const kInfoDir = "D:\\TTF\\tmp\\Info";
inline const char* const kSetDir = "D:\\TTF";

// A host path from its UTF-8 bytes, and back.
fs::path Utf8Path(const std::string& utf8);
std::string Utf8Name(const fs::path& path);

// Real font files of the machine, as this program reaches them.
fs::path DejaVu(const std::string& name);  // e.g. "DejaVuSans.ttf"
fs::path FontCollection();                 // a .ttc; empty when the machine has none

class EngineTest : public ::testing::Test {
  friend class ReadOnlyRegistry;

 protected:
  // language: the prefix's system language (1028 gives the Big5 code page).
  void SetUpDisc(unsigned short language = 1033);
  void SetUp() override { SetUpDisc(); }
  void TearDown() override;

  // Host folders.
  fs::path discDir() const { return disc_->path(); }
  fs::path setDir() const { return disc_->path() / "TTF"; }
  fs::path infoDir() const { return setDir() / "tmp" / "Info"; }
  fs::path fontsDir() const { return prefix_->fontsDir(); }
  fs::path prefixDir() const { return prefix_->path(); }
  // The host folder of C:\ (the Fonts folder's drive).
  fs::path driveC() const { return fontsDir().parent_path().parent_path(); }

  // Writes a catalogue file (bytes as they stand, ANSI) into the information folder.
  void WriteCatalogue(const std::string& name, const std::string& bytes);
  // Copies a real font onto the disc, relative to the set folder (host name, UTF-8).
  void PutFont(const std::string& relative, const fs::path& from);
  // LoadCatalogue on the disc's set TTF.
  bool Load();
  // A catalogue of one style "Style" listing the given fonts, loaded and chosen.
  void WriteOneStyle(const std::string& fontSections, const std::vector<std::string>& keys);

  // The installed-font list: entry name -> data, in listing order.
  std::vector<std::pair<std::string, std::string>> Entries() const;
  void SetEntry(const std::string& name, const std::string& data);
  // File names in the Fonts folder (host names).
  std::set<std::string> FontsFolder() const;
  // Every file below the prefix, the disc and the Fonts folder with its size, and what lies at
  // the top of C:\, to show what a run touched.
  std::map<std::string, std::uintmax_t> Tree() const;

  // Makes the disc folder drive D: again after the prefix was reopened.
  void DeclareDisc();

  std::unique_ptr<testing_support::TempPrefix> prefix_;
  std::unique_ptr<testing_support::TempDir> disc_;
  std::unique_ptr<testing_support::ScopedDrive> drive_;
};

// Single fonts installed, tested and removed.
class InstallTest : public EngineTest {};

// Makes the installed-font list refuse writes while it lives (they fail as access denied): on
// POSIX the whole registry store is read-only, and the prefix is reopened so the store is opened
// afresh; on Windows the list's key denies setting values.
class ReadOnlyRegistry {
 public:
  explicit ReadOnlyRegistry(EngineTest& test);
  ~ReadOnlyRegistry();
  bool ok() const;

 private:
  struct State;
  EngineTest& test_;
  std::unique_ptr<State> state_;
};

// A font section of a Font file.
std::string FontSection(const std::string& key, const std::string& source,
                        const std::vector<std::string>& regNames, const std::string& size = "1",
                        const std::vector<std::string>& links = {});

}  // namespace engine_test
