#pragma once
// A generated product disc for the engine's tests: a temporary prefix, a host folder declared as
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

// Real font files of the machine.
fs::path DejaVu(const std::string& name);  // e.g. "DejaVuSans.ttf"
fs::path FontCollection();                 // a .ttc; empty when the machine has none

class ReadOnlyFolder;

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

  // Writes a catalogue file (bytes as they stand, ANSI) into the information folder.
  void WriteCatalogue(const std::string& name, const std::string& bytes);
  // Copies a real font onto the disc, relative to the set folder (host name, UTF-8).
  void PutFont(const std::string& relative, const fs::path& from);
  // LoadCatalogue on the disc's set TTF.
  bool Load();

  // The installed-font list: entry name -> data, in listing order.
  std::vector<std::pair<std::string, std::string>> Entries() const;
  void SetEntry(const std::string& name, const std::string& data);
  // File names in the Fonts folder (host names).
  std::set<std::string> FontsFolder() const;
  // Every file below the prefix and the disc with its size, to show what a run touched.
  std::map<std::string, std::uintmax_t> Tree() const;

  // Declares the disc folder as drive D: (again after the prefix was reopened).
  void DeclareDisc();

  std::unique_ptr<testing_support::TempPrefix> prefix_;
  std::unique_ptr<testing_support::TempDir> disc_;
};

// Makes the prefix's registry store read-only while it lives (writes then fail as access
// denied); the prefix is reopened so the store is opened afresh.
class ReadOnlyRegistry {
 public:
  explicit ReadOnlyRegistry(EngineTest& test);
  ~ReadOnlyRegistry();
  bool ok() const;

 private:
  EngineTest& test_;
  std::unique_ptr<class ReadOnlyFolder> store_;
};

// A font section of a Font file.
std::string FontSection(const std::string& key, const std::string& source,
                        const std::vector<std::string>& regNames, const std::string& size = "1",
                        const std::vector<std::string>& links = {});

}  // namespace engine_test
