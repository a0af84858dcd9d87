// Single fonts: installing, removing and the two block copies.
#include <algorithm>
#include <cstring>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

using detail::FontListIndex;
using detail::FontsKeyHandle;
using detail::MutableEngine;
using detail::ReadValueData;

namespace {

constexpr std::size_t kCopyBlock = 8192;
constexpr platform::DWORD kReadWrite = platform::KEY_READ | platform::KEY_WRITE;  // 0x2001F

// The copy buffers are process-wide; callers hold the font window's list lock.
char copyBuffer[kCopyBlock];
char maskBuffer[kCopyBlock];

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
