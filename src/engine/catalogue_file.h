#pragma once
// One catalogue file parsed once into memory, answering as the platform's INI reader does:
// section and key names without regard to case, keys in file order, the first of two equal
// keys winning, blanks and one pair of matching quotes around a value dropped.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

// Hash and equality of INI names without regard to ASCII case; the trail byte of a double-byte
// character keeps its case, so two different Big5 characters never compare equal.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const;
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct CatalogueFile {
  struct Section {
    std::vector<std::string> keys;  // the key list as the INI reader gives it, already cut
    std::unordered_map<std::string, std::string, NameHash, NameEqual> values;
  };

  // The file's sections; the first section of a name wins.
  std::unordered_map<std::string, Section, NameHash, NameEqual> sections;

  // Parses file bytes; a binary file parses as an empty file.
  static std::shared_ptr<const CatalogueFile> Parse(std::string_view bytes);
  // Reads and parses the file at a Windows path; an unreadable file gives an empty reader.
  static std::shared_ptr<const CatalogueFile> Load(const std::string& path);

  // The value of key in section; empty when the section or key is missing.
  std::string_view Value(std::string_view section, std::string_view key) const;
  // The keys of section in file order (empty when missing).
  const std::vector<std::string>& Keys(std::string_view section) const;
  // Every n for which section holds a key named prefix + n (decimal, no leading zero), in no
  // particular order. Lets the loops over numbered keys visit only keys that exist, whatever
  // a count claims.
  std::vector<long long> NumberedKeys(std::string_view section, std::string_view prefix) const;
};

// The limits of the INI reader: a value is cut to 2047 characters, a section's key list to
// what fits in 16384 bytes (names separated by NULs, ending with a second NUL).
constexpr std::size_t kValueLimit = 2047;
constexpr std::size_t kKeyListBuffer = 16384;

}  // namespace engine
