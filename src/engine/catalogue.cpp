// The engine record and the font catalogue: loading a set's catalogue files and the lookups of
// styles, fonts, display names and font values.
#include <algorithm>
#include <charconv>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

namespace detail {

FontEngine& MutableEngine() {
  static FontEngine record;
  return record;
}

std::int64_t ParseCount(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
  return value < 0 ? 0 : value;
}

std::vector<std::string> ReadNumberedValues(const std::string& fontKey,
                                            const std::string& countKey,
                                            const std::string& prefix) {
  std::vector<std::string> values;
  std::string text;
  ReadFontValue(fontKey, countKey, text);
  const std::int64_t count = ParseCount(text);
  if (count == 0) return values;
  const FontEngine& e = MutableEngine();
  std::vector<long long> numbers;
  for (const CatalogueReaders* readers : {&e.FontReaders, &e.LangFontReaders}) {
    for (const platform::ProfileView& reader : *readers) {
      for (long long n : reader.NumberedKeys(fontKey, prefix)) {
        if (n <= count) numbers.push_back(n);
      }
    }
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::string value;
  for (long long n : numbers) {
    if (ReadFontValue(fontKey, prefix + std::to_string(n), value)) values.push_back(value);
  }
  return values;
}

std::vector<std::string> AllRegistrationNames(const std::string& fontKey) {
  const std::string& language = MutableEngine().LanguageName;
  std::vector<std::string> names = ReadNumberedValues(fontKey, "RegNameCount", "RegName");
  std::vector<std::string> local =
      ReadNumberedValues(fontKey, language + "RegNameCount", language + "RegName");
  names.insert(names.end(), local.begin(), local.end());
  return names;
}

std::vector<std::string> ReadLinks(const std::string& fontKey) {
  return ReadNumberedValues(fontKey, "LinkCount", "Link");
}

namespace {

// Splits a path at backslashes that are characters of their own and at slashes.
template <typename Fn>
void ForEachComponent(std::string_view path, Fn fn) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    auto c = static_cast<unsigned char>(path[i]);
    if (platform::IsDBCSLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/') {
      fn(path.substr(start, i - start));
      start = i + 1;
    }
  }
  fn(path.substr(start));
}

// "..", "...", ".. " and the like: Windows drops trailing dots and blanks of a component, so
// each of them names the parent folder there.
bool IsDotsName(std::string_view component) {
  if (component.find("..") == std::string_view::npos) return false;
  return component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

bool ClimbsOut(std::string_view path) {
  bool climbs = false;
  ForEachComponent(path, [&](std::string_view c) { climbs = climbs || IsDotsName(c); });
  return climbs;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name.find_first_of("/:") != std::string_view::npos) return false;
  if (platform::FindLastBackslash(name) != std::string_view::npos) return false;
  return name.find_first_not_of(". ") != std::string_view::npos;
}

}  // namespace detail

using detail::MutableEngine;

const FontEngine& Engine() { return MutableEngine(); }

namespace {

constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kNtFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* k95FontsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";

void ResetEngine(FontEngine& e) {
  e.CatalogueDir.clear();
  e.FontsDir.clear();
  e.LanguageName.clear();
  e.EngineFlags = 0;
  e.StyleFiles.clear();
  e.LangStyleFiles.clear();
  e.FontFiles.clear();
  e.LangFontFiles.clear();
  e.StyleReaders.clear();
  e.LangStyleReaders.clear();
  e.FontReaders.clear();
  e.LangFontReaders.clear();
  e.CurrentStyle.clear();
  e.Selection.clear();
  e.CopyHook = nullptr;
}

// A string value of an open key; empty when it is missing or cannot be read.
std::string ReadStringValue(platform::HKEY key, const char* name) {
  std::string data(260, '\0');
  platform::DWORD type = 0;
  platform::DWORD size = static_cast<platform::DWORD>(data.size());
  platform::LONG result = platform::RegQueryValueExA(
      key, name, nullptr, &type, reinterpret_cast<platform::BYTE*>(data.data()), &size);
  if (result == platform::ERROR_MORE_DATA) {
    data.assign(size, '\0');
    result = platform::RegQueryValueExA(key, name, nullptr, &type,
                                        reinterpret_cast<platform::BYTE*>(data.data()), &size);
  }
  if (result != platform::ERROR_SUCCESS) return {};
  data.resize(std::min<std::size_t>(size, data.size()));
  data.resize(std::min(data.size(), data.find('\0')));
  return data;
}

std::string ReadUserFontsFolder() {
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, kShellFoldersKey, 0,
                              platform::KEY_READ, &key) != platform::ERROR_SUCCESS) {
    return {};
  }
  std::string folder = ReadStringValue(key, "Fonts");
  platform::RegCloseKey(key);
  return folder;
}

// One directory search of the catalogue folder. A file that turns up in more than one search
// (the localised patterns equal the plain ones when the language name is empty) is parsed once:
// the platform keeps each file it parsed until it changes.
void FindCatalogueFiles(const std::string& pattern, std::vector<std::string>& paths,
                        CatalogueReaders& readers) {
  const std::string& dir = MutableEngine().CatalogueDir;
  for (const platform::FindData& found : platform::FindFiles(dir + "\\" + pattern)) {
    std::string path = dir + "\\" + found.name;
    readers.push_back(platform::OpenProfileFile(path));
    paths.push_back(std::move(path));
  }
}

template <typename Fn>
bool FirstNonEmpty(std::initializer_list<const CatalogueReaders*> groups, Fn lookup,
                   std::string& out) {
  for (const CatalogueReaders* readers : groups) {
    for (const platform::ProfileView& reader : *readers) {
      std::string_view value = lookup(reader);
      if (!value.empty()) {
        out.assign(value);
        return true;
      }
    }
  }
  out.clear();
  return false;
}

bool NamesPath(const std::string& key) {
  return platform::SameProfileName(key, "Source") || platform::SameProfileName(key, "Sample");
}

}  // namespace

bool LoadCatalogue(const std::string& infoDir, const std::string& sourceDir,
                   std::uint32_t options) {
  FontEngine& e = MutableEngine();
  ResetEngine(e);
  e.EngineFlags = options & 6;

  platform::OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = 148;
  if (!platform::GetVersionExA(&version)) version.dwPlatformId = 0;
  if (version.dwPlatformId == platform::VER_PLATFORM_WIN32_NT) {
    e.FontsKey = kNtFontsKey;
  } else if (version.dwPlatformId == platform::VER_PLATFORM_WIN32_WINDOWS) {
    e.FontsKey = k95FontsKey;
  } else {
    return false;
  }

  e.FontsDir = ReadUserFontsFolder();
  if (e.FontsDir.empty()) return false;
  if (!platform::DirectoryExists(infoDir)) return false;
  e.CatalogueDir = infoDir;
  if (!platform::DirectoryExists(sourceDir)) return false;
  e.SourceDir = sourceDir;

  // The searches name the catalogue folder in full instead of making it the current directory
  // for a moment: the result is the same, and the worker thread never sees a borrowed one.
  e.LanguageName = platform::ReadProfileString(
      e.CatalogueDir + "\\LangMap", "Lang", std::to_string(platform::GetSystemDefaultLangID()),
      "");
  FindCatalogueFiles("Style*.", e.StyleFiles, e.StyleReaders);
  FindCatalogueFiles("Style*." + e.LanguageName, e.LangStyleFiles, e.LangStyleReaders);
  FindCatalogueFiles("Font*.", e.FontFiles, e.FontReaders);
  FindCatalogueFiles("Font*." + e.LanguageName, e.LangFontFiles, e.LangFontReaders);

  e.CurrentStyle.clear();
  e.Selection.clear();
  e.EngineFlags |= Loaded;
  return true;
}

void ReleaseEngine() {
  FontEngine& e = MutableEngine();
  ResetEngine(e);
  e.SourceDir.clear();
  e.FontsKey.clear();
  e.Selection.shrink_to_fit();
}

bool ListStyleKeys(std::vector<std::string>& keys) {
  keys.clear();
  const FontEngine& e = MutableEngine();
  if (!(e.EngineFlags & Loaded)) return false;
  for (const platform::ProfileView& reader : e.StyleReaders) {
    for (std::string_view key : reader.Keys("StyleList")) keys.emplace_back(key);
  }
  return true;
}

bool GetStyleName(const std::string& styleKey, std::string& name) {
  const FontEngine& e = MutableEngine();
  return FirstNonEmpty(
      {&e.LangStyleReaders, &e.StyleReaders},
      [&](const platform::ProfileView& f) { return f.Value("StyleList", styleKey); }, name);
}

bool ListStyleNames(std::vector<std::string>& names) {
  names.clear();
  std::vector<std::string> keys;
  if (!ListStyleKeys(keys)) return false;
  std::string name;
  for (const std::string& key : keys) {
    if (!GetStyleName(key, name)) return false;
    names.push_back(name);
  }
  return true;
}

bool FindStyleKey(const std::string& name, std::string& styleKey) {
  if (name.empty()) return false;
  const FontEngine& e = MutableEngine();
  for (const CatalogueReaders* readers : {&e.LangStyleReaders, &e.StyleReaders}) {
    for (const platform::ProfileView& reader : *readers) {
      for (std::string_view key : reader.Keys("StyleList")) {
        if (reader.Value("StyleList", key) == name) {
          styleKey = key;
          return true;
        }
      }
    }
  }
  return false;
}

bool SelectStyle(const std::string& name) {
  FontEngine& e = MutableEngine();
  std::string key;
  if (FindStyleKey(name, key)) {
    e.CurrentStyle = key;
    return true;
  }
  e.CurrentStyle.clear();
  return false;
}

bool ListStyleFonts(std::vector<std::string>& fontKeys) {
  const FontEngine& e = MutableEngine();
  if (!(e.EngineFlags & Loaded) || e.CurrentStyle.empty()) return false;
  fontKeys.clear();
  for (const platform::ProfileView& reader : e.StyleReaders) {
    for (std::string_view key : reader.Keys(e.CurrentStyle)) fontKeys.emplace_back(key);
  }
  return true;
}

bool GetFontName(const std::string& fontKey, std::string& name) {
  const FontEngine& e = MutableEngine();
  return FirstNonEmpty(
      {&e.LangStyleReaders, &e.StyleReaders},
      [&](const platform::ProfileView& f) { return f.Value(e.CurrentStyle, fontKey); }, name);
}

bool ReadFontValue(const std::string& fontKey, const std::string& key, std::string& value) {
  const FontEngine& e = MutableEngine();
  if (!FirstNonEmpty(
          {&e.FontReaders, &e.LangFontReaders},
          [&](const platform::ProfileView& f) { return f.Value(fontKey, key); }, value)) {
    return false;
  }
  // A disc that names a file outside its folders is refused: the value reads as missing.
  if (NamesPath(key) && detail::ClimbsOut(value)) {
    value.clear();
    return false;
  }
  return true;
}

}  // namespace engine
