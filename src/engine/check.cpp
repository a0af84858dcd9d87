// The installed-font list and the Fonts folder compared: entries whose file is gone, files of
// ours that no entry names, what a killed run left, and copies whose size changed; and the
// repair of what is ours.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/engine_internal.h"
#include "engine/journal.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/registry.h"
#include "platform/runlock.h"

namespace engine {

namespace {

constexpr const char* kDefaultFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string UserFontsFolder() {
  try {
    platform::Registry registry(platform::KEY_READ);
    registry.SetRootKey(platform::HKEY_CURRENT_USER);
    if (!registry.OpenKeyReadOnly(kShellFoldersKey)) return {};
    return registry.ReadString("Fonts");
  } catch (const platform::RegistryError&) {
    return {};
  }
}

// A hidden temporary file name of ours: ".zf-" sixteen hexadecimal digits ".tmp".
bool IsTemporaryName(const std::string& name) {
  if (name.size() != 24 || name.rfind(".zf-", 0) != 0 || name.substr(20) != ".tmp") return false;
  return std::all_of(name.begin() + 4, name.begin() + 20, [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
}

}  // namespace

bool CheckInstalledFonts(bool repair, std::vector<Drift>& drift) {
  drift.clear();
  platform::RunLock lock;
  if (detail::RunScopeDepth() == 0 && !lock.TryAcquire() &&
      platform::GetLastError() == platform::ERROR_LOCK_VIOLATION)
    return false;
  const FontEngine& e = Engine();
  const std::string fontsKey = e.FontsKey.empty() ? kDefaultFontsKey : e.FontsKey;
  const std::string fontsDir = e.FontsDir.empty() ? UserFontsFolder() : e.FontsDir;

  for (const detail::JournalRecord& record : detail::ReadJournal()) {
    drift.push_back({Drift::Kind::Leftover, detail::JournalId(record),
                     record.fontsDir + "\\" +
                         (record.file.empty() ? record.temp : record.file)});
  }
  if (repair && !drift.empty()) {
    detail::RecoverLocked();
    for (Drift& d : drift) d.repaired = true;
    for (const detail::JournalRecord& record : detail::ReadJournal()) {
      for (Drift& d : drift) {
        if (d.what == detail::JournalId(record)) d.repaired = false;
      }
    }
  }
  if (fontsDir.empty()) return true;

  for (const platform::FindData& found : platform::FindFiles(fontsDir + "\\.zf-*")) {
    if (!IsTemporaryName(found.name)) continue;
    const std::string path = fontsDir + "\\" + found.name;
    Drift d{Drift::Kind::Leftover, found.name, path};
    if (repair) d.repaired = platform::DeleteFileA(path.c_str());
    drift.push_back(std::move(d));
  }

  // The entries and the files they name.
  std::unordered_map<std::string, std::vector<std::string>> entriesOfFile;
  std::vector<std::pair<std::string, std::string>> entries;
  {
    platform::HKEY handle = 0;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, fontsKey.c_str(), 0,
                                platform::KEY_READ, &handle) == platform::ERROR_SUCCESS) {
      for (const std::string& name :
           platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, fontsKey)) {
        entries.emplace_back(name, detail::ReadValueData(handle, name));
      }
      platform::RegCloseKey(handle);
    }
  }
  std::unordered_map<std::string, detail::OwnedFile> owned;
  for (detail::OwnedFile& file : detail::ReadOwnedFiles()) {
    const std::size_t slash = file.path.rfind('\\');
    if (slash == std::string::npos || file.path.substr(0, slash) != fontsDir) continue;
    std::string name = file.path.substr(slash + 1);
    owned.emplace(std::move(name), std::move(file));
  }
  for (const auto& [name, data] : entries) {
    if (!detail::IsPlainFileName(data)) continue;
    entriesOfFile[data].push_back(name);
    const std::string path = fontsDir + "\\" + data;
    if (platform::GetFileAttributesA(path.c_str()) != platform::INVALID_FILE_ATTRIBUTES) continue;
    Drift d{Drift::Kind::EntryWithoutFile, name, data};
    // Only the entries of files we made are ours to take away.
    if (repair && owned.count(data)) {
      d.repaired = detail::Commit({detail::ClearEntry(fontsKey, name),
                                   detail::ClearOwnedFile(fontsDir, data)}) ==
                   platform::ERROR_SUCCESS;
    }
    drift.push_back(std::move(d));
  }

  for (const auto& [name, file] : owned) {
    const std::string identity = platform::GetFileIdentity(file.path);
    if (identity.empty()) {
      if (!entriesOfFile.count(name)) {
        // A record of a file that is gone and that no entry names: nothing to mend but the note.
        Drift d{Drift::Kind::Leftover, file.path, file.path};
        if (repair)
          d.repaired = detail::Commit({detail::ClearOwnedFile(fontsDir, name)}) ==
                       platform::ERROR_SUCCESS;
        drift.push_back(std::move(d));
      }
      continue;
    }
    const auto entriesHere = entriesOfFile.find(name);
    const bool ours = identity == file.identity;
    const auto size = platform::GetFileSizeByPath(file.path);
    if (entriesHere == entriesOfFile.end()) {
      Drift d{Drift::Kind::OwnedFileWithoutEntry, file.path, file.path};
      if (repair) {
        if (ours) platform::RemoveFontResourceA(name.c_str());
        d.repaired = (!ours || detail::DeleteOwnedFile(file.path, file.identity)) &&
                     detail::Commit({detail::ClearOwnedFile(fontsDir, name)}) ==
                         platform::ERROR_SUCCESS;
      }
      drift.push_back(std::move(d));
    } else if (!ours || size != file.size) {
      // Another file took the name, or the copy was changed: the entries no longer name what we
      // installed. They go, with the copy when it is still ours, so a new install can mend it.
      Drift d{Drift::Kind::SizeMismatch, file.path, name};
      if (repair) {
        std::vector<platform::RegistryChange> changes{detail::ClearOwnedFile(fontsDir, name)};
        for (const std::string& entry : entriesHere->second)
          changes.push_back(detail::ClearEntry(fontsKey, entry));
        if (ours) platform::RemoveFontResourceA(name.c_str());
        d.repaired = (!ours || detail::DeleteOwnedFile(file.path, file.identity)) &&
                     detail::Commit(changes) == platform::ERROR_SUCCESS;
      }
      drift.push_back(std::move(d));
    }
  }
  if (repair && std::any_of(drift.begin(), drift.end(), [](const Drift& d) { return d.repaired; }))
    detail::BatchAnnouncements::Announce();
  return true;
}

}  // namespace engine
