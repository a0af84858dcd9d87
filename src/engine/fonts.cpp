// Single fonts: the name match against the installed-font list, the state query, installing,
// removing and the two block copies.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

using detail::MutableEngine;

namespace {

constexpr std::uint64_t kSizeTolerance = 5120;
constexpr std::size_t kCopyBlock = 8192;
constexpr platform::DWORD kReadWrite = platform::KEY_READ | platform::KEY_WRITE;  // 0x2001F

// The copy buffers are process-wide; callers hold the font window's list lock.
char copyBuffer[kCopyBlock];
char maskBuffer[kCopyBlock];

// An open key of the installed-font list, closed on scope exit.
class FontsKeyHandle {
 public:
  explicit FontsKeyHandle(platform::DWORD access) {
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, MutableEngine().FontsKey.c_str(),
                                0, access, &key_) != platform::ERROR_SUCCESS) {
      key_ = 0;
    }
  }
  ~FontsKeyHandle() {
    if (key_) platform::RegCloseKey(key_);
  }
  FontsKeyHandle(const FontsKeyHandle&) = delete;
  FontsKeyHandle& operator=(const FontsKeyHandle&) = delete;
  bool IsOpen() const { return key_ != 0; }
  platform::HKEY get() const { return key_; }

 private:
  platform::HKEY key_ = 0;
};

// The installed-font list as the registry's snapshot holds it, indexed by the words of the
// entry names. A registration name can only match an entry at the start of one of its words
// (the start of the name or just after a blank), and the word there must equal the name's first
// word, so the index hands out those few places and NameMatches settles each. It is rebuilt
// only when the registry hands out another snapshot, i.e. after the list changed.
class FontListIndex {
 public:
  // The entries (indexes into names(), in listing order) that any of the names match.
  std::vector<std::uint32_t> Match(const std::vector<std::string>& regNames) const {
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
  const std::vector<std::string>& names() const { return *names_; }

  // The index of the current list, shared by every caller until the list changes.
  static std::shared_ptr<const FontListIndex> Current() {
    static std::mutex lock;
    static std::shared_ptr<const FontListIndex> current;
    auto names = platform::ShareRegistryValueNames(platform::HKEY_LOCAL_MACHINE,
                                                   MutableEngine().FontsKey);
    if (!names) names = std::make_shared<const std::vector<std::string>>();
    std::lock_guard guard(lock);
    if (!current || current->names_ != names) current = Build(std::move(names));
    return current;
  }

 private:
  static std::shared_ptr<const FontListIndex> Build(
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

  std::shared_ptr<const std::vector<std::string>> names_;
  std::unordered_map<std::string_view, std::vector<std::pair<std::uint32_t, std::uint32_t>>>
      words_;
};

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

// Inside a batch run the announcements of single fonts are gathered into one at the end of the
// run: each broadcast makes fontconfig scan the whole Fonts folder again, which would make a
// run over n fonts scan n times.
int batchDepth = 0;
bool announcementPending = false;

void BroadcastFontChange() {
  if (batchDepth > 0) {
    announcementPending = true;
    return;
  }
  platform::SendMessageA(platform::HWND_BROADCAST, platform::WM_FONTCHANGE, 0, 0);
}

bool PathExists(const std::string& path) {
  return platform::GetFileAttributesA(path.c_str()) != platform::INVALID_FILE_ATTRIBUTES;
}

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

// Splits a Source value by position: the name after the last backslash less its last four
// characters, and the last three characters. False when the result is no plain file name.
bool SplitSource(const std::string& source, std::string& base, std::string& ext) {
  const std::size_t slash = platform::FindLastBackslash(source);
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  base = source.size() >= 4 + start ? source.substr(start, source.size() - 4 - start) : "";
  ext = source.size() >= 3 ? source.substr(source.size() - 3) : source;
  return detail::IsPlainFileName(base + "." + ext);
}

std::string FreeTargetName(const std::string& base, const std::string& ext) {
  const std::string& fonts = MutableEngine().FontsDir;
  std::string name = base + "." + ext;
  for (std::uint64_t k = 0; PathExists(fonts + "\\" + name); ++k) {
    name = base + std::to_string(k) + "." + ext;
  }
  return name;
}

// The registration names an install enters: the localised group when there is a language
// name and the group names anything, else the plain group.
std::vector<std::string> InstallRegistrationNames(const std::string& fontKey) {
  const std::string& language = MutableEngine().LanguageName;
  if (!language.empty()) {
    std::vector<std::string> local =
        detail::ReadNumberedValues(fontKey, language + "RegNameCount", language + "RegName");
    if (!local.empty()) return local;
  }
  return detail::ReadNumberedValues(fontKey, "RegNameCount", "RegName");
}

std::string EntryName(const std::vector<std::string>& names) {
  std::string entry;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) entry += "& ";
    entry += names[i];
    entry += ' ';
  }
  return entry + "(TrueType)";
}

int CopyBlocks(const char* source, const char* target, char* buffer, bool maskGsub) {
  if (!source || !target) return 0;
  // The size tells a disc read error, which ends the reads like the end of the file, from a
  // whole copy.
  const auto expected = platform::GetFileSizeByPath(source);
  if (!expected) return 0;
  platform::File in;
  if (!in.Open(source, platform::File::Mode::Read)) return 0;
  platform::File out;
  if (!out.Open(target, platform::File::Mode::WriteTruncate)) return 0;
  std::uint64_t copied = 0;
  bool first = true;
  for (;;) {
    const std::size_t got = in.Read(buffer, kCopyBlock);
    if (got == 0) break;
    if (first && maskGsub) {
      for (std::size_t k = 0; k < got / 4; ++k) {
        if (std::memcmp(buffer + 4 * k, "GSUB", 4) == 0) std::memcpy(buffer + 4 * k, "Gsub", 4);
      }
    }
    first = false;
    if (out.Write(buffer, got) < got) return 0;
    copied += got;
  }
  if (!out.Close()) return 0;
  return copied == *expected ? 1 : 0;
}

}  // namespace

namespace detail {

BatchAnnouncements::BatchAnnouncements() {
  if (batchDepth++ == 0) announcementPending = false;
}

BatchAnnouncements::~BatchAnnouncements() {
  if (--batchDepth == 0 && announcementPending) {
    announcementPending = false;
    platform::SendMessageA(platform::HWND_BROADCAST, platform::WM_FONTCHANGE, 0, 0);
  }
}

void BatchAnnouncements::Announce() { BroadcastFontChange(); }

}  // namespace detail

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

void InstallFont(const std::string& fontKey) {
  const FontEngine& e = MutableEngine();
  // A font without a usable Source, or without a name to register it under, is skipped: it
  // could neither be copied nor be found again to be tested or removed.
  std::string source;
  if (!ReadFontValue(fontKey, "Source", source)) return;
  std::string base, ext;
  if (!SplitSource(source, base, ext)) return;
  const std::vector<std::string> names = InstallRegistrationNames(fontKey);
  if (names.empty()) return;

  // The copy is written under a hidden temporary name and renamed into place, so a failed or
  // interrupted copy never leaves a half-written font where fontconfig would read it.
  const std::string target = FreeTargetName(base, ext);
  const std::string targetPath = e.FontsDir + "\\" + target;
  const std::string partPath = e.FontsDir + "\\.zf-" + target + ".part";
  const std::string sourcePath = e.SourceDir + "\\" + source;
  const CopyRoutine copy = e.CopyHook ? e.CopyHook : CopyFontFile;
  if (copy(sourcePath.c_str(), partPath.c_str()) != 1 ||
      !platform::MoveFileA(partPath.c_str(), targetPath.c_str())) {
    platform::SetFileAttributesA(partPath.c_str(), 0);
    platform::DeleteFileA(partPath.c_str());
    return;
  }
  platform::SetFileAttributesA(targetPath.c_str(), 0);
  platform::AddFontResourceA(target.c_str());
  BroadcastFontChange();

  const std::string entry = EntryName(names);
  try {
    platform::Registry registry(platform::KEY_WRITE);
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    registry.OpenKey(e.FontsKey, false);
    registry.WriteString(entry, target);
  } catch (const platform::RegistryError&) {
    // An unregistered file would be a font nobody can test or remove: take it back out.
    platform::RemoveFontResourceA(target.c_str());
    platform::DeleteFileA(targetPath.c_str());
    BroadcastFontChange();
    throw;
  }
}

void RemoveFont(const std::string& fontKey) {
  const FontEngine& e = MutableEngine();
  const std::vector<std::string> names = detail::AllRegistrationNames(fontKey);
  if (names.empty()) return;
  FontsKeyHandle key(kReadWrite);
  if (!key.IsOpen()) return;
  const auto index = FontListIndex::Current();
  for (std::uint32_t entry : index->Match(names)) {
    const std::string& valueName = index->names()[entry];
    const std::string data = ReadValueData(key.get(), valueName);
    platform::RegDeleteValueA(key.get(), valueName.c_str());
    platform::RemoveFontResourceA(data.c_str());
    // Only a plain name inside the Fonts folder is ours to delete; an entry naming any other
    // place is unregistered and unloaded, and the file left alone.
    if (detail::IsPlainFileName(data)) {
      const std::string path = e.FontsDir + "\\" + data;
      if (platform::FileExists(path)) {
        platform::SetFileAttributesA(path.c_str(), 0);
        platform::DeleteFileA(path.c_str());
      }
    }
    BroadcastFontChange();
  }
}

bool SetCopyHook(CopyRoutine routine) {
  MutableEngine().CopyHook = routine;
  return routine != nullptr;
}

int CopyFontFile(const char* source, const char* target) {
  return CopyBlocks(source, target, copyBuffer, false);
}

int CopyFontFileMaskGsub(const char* source, const char* target) {
  return CopyBlocks(source, target, maskBuffer, true);
}

}  // namespace engine
