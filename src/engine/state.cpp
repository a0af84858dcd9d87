// The state query: the installed-font list indexed by the words of its entry names, the name
// match, and the installed state of a font and of the fonts its links reach.
#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

using detail::MutableEngine;

namespace detail {

FontsKeyHandle::FontsKeyHandle(platform::DWORD access) {
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, MutableEngine().FontsKey.c_str(), 0,
                              access, &key_) != platform::ERROR_SUCCESS) {
    key_ = 0;
  }
}

FontsKeyHandle::~FontsKeyHandle() {
  if (key_) platform::RegCloseKey(key_);
}


std::vector<std::uint32_t> FontListIndex::Match(const std::vector<std::string>& regNames) const {
  std::vector<std::uint32_t> found;
  for (const std::string& name : regNames) {
    if (name.empty()) continue;
    const std::string_view first = std::string_view(name).substr(0, name.find(' '));
    auto it = words_.find(first);
    if (it == words_.end()) continue;
    for (const auto& [entry, at] : it->second) {
      const std::string& value = (*names_)[entry];
      if (value.size() > at + name.size() && value.compare(at, name.size(), name) == 0 &&
          value[at + name.size()] == ' ' && platform::FindDbcs(value, name) == at) {
        found.push_back(entry);
      }
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

std::shared_ptr<const FontListIndex> FontListIndex::Current() {
  static std::mutex lock;
  static std::shared_ptr<const FontListIndex> current;
  auto names = platform::ShareRegistryValueNames(platform::HKEY_LOCAL_MACHINE,
                                                 MutableEngine().FontsKey);
  if (!names) names = std::make_shared<const std::vector<std::string>>();
  std::lock_guard guard(lock);
  if (!current || current->names_ != names) current = Build(std::move(names));
  return current;
}

std::shared_ptr<const FontListIndex> FontListIndex::Build(
    std::shared_ptr<const std::vector<std::string>> names) {
  auto index = std::make_shared<FontListIndex>();
  index->names_ = std::move(names);
  const auto& list = *index->names_;
  index->words_.reserve(list.size() * 4);
  for (std::uint32_t entry = 0; entry < list.size(); ++entry) {
    const std::string_view value = list[entry];
    for (std::size_t at = 0;;) {
      const std::size_t blank = value.find(' ', at);
      if (blank == std::string_view::npos) break;  // a last word is followed by no blank
      index->words_[value.substr(at, blank - at)].emplace_back(entry,
                                                               static_cast<std::uint32_t>(at));
      at = blank + 1;
    }
  }
  return index;
}

// A value's string data; empty when it cannot be read.
std::string ReadValueData(platform::HKEY key, const std::string& name) {
  std::string data(260, '\0');
  platform::DWORD size = static_cast<platform::DWORD>(data.size());
  platform::LONG result = platform::RegQueryValueExA(
      key, name.c_str(), nullptr, nullptr, reinterpret_cast<platform::BYTE*>(data.data()), &size);
  if (result == platform::ERROR_MORE_DATA) {
    data.assign(size, '\0');
    result = platform::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                        reinterpret_cast<platform::BYTE*>(data.data()), &size);
  }
  if (result != platform::ERROR_SUCCESS) return {};
  data.resize(std::min<std::size_t>(size, data.size()));
  data.resize(std::min(data.size(), data.find('\0')));
  return data;
}

}  // namespace detail

namespace {

using detail::FontListIndex;
using detail::FontsKeyHandle;
using detail::ReadValueData;

constexpr std::uint64_t kSizeTolerance = 5120;


std::uint64_t FileSizeOrZero(const std::string& path) {
  return platform::GetFileSizeByPath(path).value_or(0);
}

// The state bits of one font alone, without its links, for every font of a state query.
struct FontProbe {
  std::vector<std::string> names;
  std::string source;
  std::uint32_t bits = 0;
};

bool SameInstalledFile(const FontProbe& font, const std::string& installed) {
  const FontEngine& e = MutableEngine();
  // Data that is not a plain name inside the Fonts folder never counts as installed.
  if (!detail::IsPlainFileName(installed)) return false;
  const std::string installedPath = e.FontsDir + "\\" + installed;
  auto installedSize = platform::GetFileSizeByPath(installedPath);
  if (!installedSize) return false;
  const std::uint64_t discSize =
      font.source.empty() ? 0 : FileSizeOrZero(e.SourceDir + "\\" + font.source);
  const std::uint64_t difference =
      *installedSize > discSize ? *installedSize - discSize : discSize - *installedSize;
  return difference <= kSizeTolerance;
}

}  // namespace


bool NameMatches(const std::string& name, const std::string& valueName) {
  if (name.empty() || valueName.size() <= name.size()) return false;
  // A plain byte search rules out almost every entry before the double-byte-aware one runs.
  if (valueName.find(name) == std::string::npos) return false;
  const std::size_t p = platform::FindDbcs(valueName, name);
  if (p == std::string::npos) return false;
  if (p > 0 && valueName[p - 1] != ' ') return false;
  const std::size_t after = p + name.size();
  return after < valueName.size() && valueName[after] == ' ';
}

std::uint32_t QueryFontState(const std::string& fontKey) {
  // The font and every font its links reach, each once: a cycle of links ends here.
  std::vector<std::string> keys{fontKey};
  std::unordered_set<std::string> seen{fontKey};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::string& link : detail::ReadLinks(keys[i])) {
      if (seen.insert(link).second) keys.push_back(std::move(link));
    }
  }
  std::vector<FontProbe> fonts(keys.size());
  bool anyName = false;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    fonts[i].names = detail::AllRegistrationNames(keys[i]);
    anyName = anyName || !fonts[i].names.empty();
  }
  if (!anyName) return 0;

  const auto index = FontListIndex::Current();
  FontsKeyHandle key(platform::KEY_READ);
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    FontProbe& font = fonts[i];
    const std::vector<std::uint32_t> entries = index->Match(font.names);
    if (entries.empty()) continue;
    ReadFontValue(keys[i], "Source", font.source);
    for (std::uint32_t entry : entries) {
      const std::string data = key.IsOpen() ? ReadValueData(key.get(), index->names()[entry]) : "";
      font.bits |= SameInstalledFile(font, data) ? FontInstalled : FontMismatch;
    }
  }

  std::uint32_t state = fonts[0].bits;
  for (std::size_t i = 1; i < fonts.size(); ++i) {
    if (fonts[i].bits & FontInstalled) state |= LinkInstalled;
    if (fonts[i].bits & FontMismatch) state |= LinkMismatch;
  }
  return state;
}

}  // namespace engine
