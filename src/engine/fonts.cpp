// Single fonts: installing, removing and the two block copies.
#include <algorithm>
#include <cstring>

#include "engine/engine_internal.h"
#include "engine/journal.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

using detail::FontListIndex;
using detail::FontsKeyHandle;
using detail::MutableEngine;

namespace {

constexpr std::size_t kCopyBlock = 8192;

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

// How a copy between two open files ended.
struct CopyOutcome {
  enum class Result { Copied, ReadFailed, SourceChanged, WriteFailed } result;
  platform::DWORD error = 0;
};

// Copies the source, whose size was size when it was opened, to the end of target: the first
// block through the buffer (where the masking copy changes the tags of the table directory),
// the rest through the kernel. The source must end exactly at size: a file that grows or shrinks
// meanwhile is no copy of what was measured.
CopyOutcome CopyOpenFiles(platform::File& in, platform::File& out, std::uint64_t size,
                          char* buffer, bool maskGsub) {
  using Result = CopyOutcome::Result;
  platform::SetLastError(0);
  const std::size_t got = in.Read(buffer, kCopyBlock);
  if (got < std::min<std::uint64_t>(size, kCopyBlock)) {
    const platform::DWORD error = platform::GetLastError();
    return {error ? Result::ReadFailed : Result::SourceChanged, error};
  }
  if (maskGsub) {
    for (std::size_t k = 0; k < got / 4; ++k) {
      if (std::memcmp(buffer + 4 * k, "GSUB", 4) == 0) std::memcpy(buffer + 4 * k, "Gsub", 4);
    }
  }
  if (out.Write(buffer, got) < got) return {Result::WriteFailed, platform::GetLastError()};
  if (got < size) {
    platform::SetLastError(0);
    const std::uint64_t rest = out.CopyFrom(in, size - got);
    if (rest < size - got) {
      const platform::DWORD error = platform::GetLastError();
      if (!error) return {Result::SourceChanged, 0};
      // The kernel's copy does not say which side failed: the target's full disk or read-only
      // folder are the usual causes.
      const bool writeSide = error == platform::ERROR_DISK_FULL ||
                             error == platform::ERROR_ACCESS_DENIED;
      return {writeSide ? Result::WriteFailed : Result::ReadFailed, error};
    }
  }
  char probe;
  if (in.Read(&probe, 1) != 0 || in.Size() != size) return {Result::SourceChanged, 0};
  return {Result::Copied, 0};
}

int CopyBlocks(const char* source, const char* target, char* buffer, bool maskGsub) {
  if (!source || !target) return 0;
  platform::File in;
  if (!in.Open(source, platform::File::Mode::Read)) return 0;
  const auto size = in.Size();
  if (!size) return 0;
  platform::File out;
  if (!out.Open(target, platform::File::Mode::WriteTruncate)) return 0;
  const CopyOutcome outcome = CopyOpenFiles(in, out, *size, buffer, maskGsub);
  if (!out.Close()) return 0;
  return outcome.result == CopyOutcome::Result::Copied ? 1 : 0;
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

namespace {

using detail::JournalRecord;

FontFailure FailureOfSource(platform::DWORD error) {
  switch (error) {
    case platform::ERROR_FILE_NOT_FOUND:
    case platform::ERROR_PATH_NOT_FOUND:
    case platform::ERROR_NOT_READY: return FontFailure::SourceMissing;
    case platform::ERROR_BAD_FILE_TYPE:
    case platform::ERROR_ACCESS_DENIED: return FontFailure::SourceNotRegular;
    case platform::ERROR_CANT_ACCESS_FILE: return FontFailure::SourceOutsideDisc;
    default: return FontFailure::SourceUnreadable;
  }
}

FontFailure FailureOfTarget(platform::DWORD error) {
  if (error == platform::ERROR_DISK_FULL) return FontFailure::DiskFull;
  if (error == platform::ERROR_ACCESS_DENIED) return FontFailure::FolderReadOnly;
  return FontFailure::CopyFailed;
}

std::uint64_t FreeBytes(const std::string& folder) {
  const std::int64_t free = platform::FreeBytesOfDrive(folder);
  return free < 0 ? 0 : static_cast<std::uint64_t>(free);
}

// An install's journal record while the copy is made; rolled back unless committed.
class PendingInstall {
 public:
  PendingInstall(const FontEngine& e, const std::string& entry) {
    record_.kind = JournalRecord::Kind::Install;
    record_.fontsKey = e.FontsKey;
    record_.fontsDir = e.FontsDir;
    record_.entry = entry;
    record_.temp = detail::NewTemporaryName();
  }
  ~PendingInstall() {
    if (!open_) return;
    platform::DeleteFileA(TempPath().c_str());
    if (!record_.file.empty()) detail::DeleteOwnedFile(TargetPath(), record_.identity);
    detail::Commit({detail::ClearJournal(record_)});
  }
  PendingInstall(const PendingInstall&) = delete;
  PendingInstall& operator=(const PendingInstall&) = delete;

  // Notes the step in the journal before any file is made.
  platform::LONG Begin() {
    const platform::LONG rc = detail::Commit({detail::SetJournal(record_)});
    open_ = rc == platform::ERROR_SUCCESS;
    return rc;
  }
  // Notes the name the copy is about to take, and which file the copy is.
  platform::LONG Name(const std::string& target, const std::string& identity) {
    record_.file = target;
    record_.identity = identity;
    return detail::Commit({detail::SetJournal(record_)});
  }
  // The entry, the record of the file and the end of the step, in one transaction.
  platform::LONG Commit(std::uint64_t size) {
    const platform::LONG rc = detail::Commit(
        {detail::SetEntry(record_.fontsKey, record_.entry, record_.file),
         detail::SetOwnedFile(record_.fontsDir, record_.file, record_.identity, size),
         detail::ClearJournal(record_)});
    if (rc == platform::ERROR_SUCCESS) open_ = false;
    return rc;
  }
  std::string TempPath() const { return record_.fontsDir + "\\" + record_.temp; }
  std::string TargetPath() const { return record_.fontsDir + "\\" + record_.file; }

 private:
  JournalRecord record_;
  bool open_ = false;
};

[[noreturn]] void ThrowEntryFailure(const std::string& fontKey, const std::string& entry) {
  detail::NoteProblem(fontKey, FontFailure::StoreFailed, platform::ERROR_CANTWRITE);
  throw platform::RegistryError("Failed to set data for '" + entry + "'");
}

}  // namespace

void InstallFont(const std::string& fontKey) {
  detail::RunScope scope;
  if (!scope.Held()) return;
  const FontEngine& e = MutableEngine();
  // A font without a usable Source, or without a name to register it under, is skipped: it
  // could neither be copied nor be found again to be tested or removed.
  std::string source;
  if (!ReadFontValue(fontKey, "Source", source)) return;
  std::string base, ext;
  if (!SplitSource(source, base, ext)) return;
  const std::vector<std::string> names = InstallRegistrationNames(fontKey);
  if (names.empty()) return;
  const std::string entry = EntryName(names);

  // The disc file: a regular file inside the disc, measured once it is open.
  platform::File in;
  if (!in.Open(e.SourceDir + "\\" + source, platform::File::Mode::Read)) {
    const platform::DWORD error = platform::GetLastError();
    detail::NoteProblem(fontKey, FailureOfSource(error), error);
    return;
  }
  const std::optional<std::uint64_t> size = in.Size();
  if (!size) {
    detail::NoteProblem(fontKey, FontFailure::SourceUnreadable, platform::GetLastError());
    return;
  }
  if (const std::int64_t free = platform::FreeBytesOfDrive(e.FontsDir);
      free >= 0 && static_cast<std::uint64_t>(free) < *size) {
    detail::NoteProblem(fontKey, FontFailure::DiskFull, platform::ERROR_DISK_FULL, *size,
                        static_cast<std::uint64_t>(free));
    return;
  }

  // The copy is made under a hidden temporary name of its own, created new (never through a
  // link someone put there), checked to be a font and only then renamed into a free name that
  // no file, not even one made meanwhile, can lose.
  PendingInstall pending(e, entry);
  if (pending.Begin() != platform::ERROR_SUCCESS) ThrowEntryFailure(fontKey, entry);
  detail::StepBoundary();
  platform::File out;
  if (!out.Open(pending.TempPath(), platform::File::Mode::CreateNew)) {
    const platform::DWORD error = platform::GetLastError();
    detail::NoteProblem(fontKey, FailureOfTarget(error), error);
    return;
  }
  detail::StepBoundary();
  const bool masking = e.CopyHook == CopyFontFileMaskGsub;
  CopyOutcome outcome{CopyOutcome::Result::Copied, 0};
  if (e.CopyHook && !masking) {
    // A routine of the caller's copies by path into the file made for it.
    out.Close();
    in = platform::File();
    if (e.CopyHook((e.SourceDir + "\\" + source).c_str(), pending.TempPath().c_str()) != 1 ||
        platform::GetFileSizeByPath(pending.TempPath()) != size)
      outcome = {CopyOutcome::Result::WriteFailed, platform::GetLastError()};
  } else {
    outcome = CopyOpenFiles(in, out, *size, masking ? maskBuffer : copyBuffer, masking);
    if (outcome.result == CopyOutcome::Result::Copied && !out.Flush())
      outcome = {CopyOutcome::Result::WriteFailed, platform::GetLastError()};
  }
  const std::string identity = out.IsOpen() ? out.Identity()
                                            : platform::GetFileIdentity(pending.TempPath());
  if (!out.Close() && outcome.result == CopyOutcome::Result::Copied)
    outcome = {CopyOutcome::Result::WriteFailed, platform::GetLastError()};
  switch (outcome.result) {
    case CopyOutcome::Result::Copied: break;
    case CopyOutcome::Result::ReadFailed:
      detail::NoteProblem(fontKey, FontFailure::SourceUnreadable, outcome.error);
      return;
    case CopyOutcome::Result::SourceChanged:
      detail::NoteProblem(fontKey, FontFailure::SourceChanged, 0);
      return;
    case CopyOutcome::Result::WriteFailed:
      detail::NoteProblem(fontKey, FailureOfTarget(outcome.error), outcome.error, *size,
                          FreeBytes(e.FontsDir));
      return;
  }
  detail::StepBoundary();
  if (platform::CountFontFaces(pending.TempPath()) <= 0) {
    detail::NoteProblem(fontKey, FontFailure::NotAFont, platform::ERROR_INVALID_DATA);
    return;
  }

  std::string target;
  for (int attempt = 0;; ++attempt) {
    target = FreeTargetName(base, ext);
    if (pending.Name(target, identity) != platform::ERROR_SUCCESS) ThrowEntryFailure(fontKey, entry);
    detail::StepBoundary();
    if (platform::MoveFileA(pending.TempPath().c_str(), pending.TargetPath().c_str())) break;
    const platform::DWORD error = platform::GetLastError();
    if (error != platform::ERROR_ALREADY_EXISTS || attempt == 100) {
      detail::NoteProblem(fontKey, FailureOfTarget(error), error);
      return;
    }
    // The name was taken between the look and the rename: the next free one.
  }
  detail::StepBoundary();
  platform::AddFontResourceA(target.c_str());
  if (pending.Commit(*size) != platform::ERROR_SUCCESS) {
    // An unregistered file would be a font nobody can test or remove: the pending step takes
    // it back out.
    platform::RemoveFontResourceA(target.c_str());
    ThrowEntryFailure(fontKey, entry);
  }
  detail::StepBoundary();
  BroadcastFontChange();
}

void RemoveFont(const std::string& fontKey) {
  detail::RunScope scope;
  if (!scope.Held()) return;
  const FontEngine& e = MutableEngine();
  const std::vector<std::string> names = detail::AllRegistrationNames(fontKey);
  if (names.empty()) return;
  // A list that cannot be opened has nothing to remove; the entries' data comes from the same
  // look at the list that matched their names.
  if (!FontsKeyHandle(platform::KEY_READ).IsOpen()) return;
  const auto index = FontListIndex::Current();
  for (std::uint32_t entry : index->Match(names)) {
    const std::string& valueName = index->names()[entry];
    const std::string data = index->Data(entry);
    const std::string path = e.FontsDir + "\\" + data;
    // Only a plain name inside the Fonts folder is ours to delete; an entry naming any other
    // place is unregistered and unloaded, and the file left alone.
    const bool hasFile = detail::IsPlainFileName(data) &&
                         platform::GetFileAttributesA(path.c_str()) !=
                             platform::INVALID_FILE_ATTRIBUTES;
    if (!hasFile) {
      if (detail::Commit({detail::ClearEntry(e.FontsKey, valueName),
                          detail::ClearOwnedFile(e.FontsDir, data)}) != platform::ERROR_SUCCESS) {
        detail::NoteProblem(fontKey, FontFailure::StoreFailed, platform::ERROR_CANTWRITE);
        continue;
      }
      platform::RemoveFontResourceA(data.c_str());
      BroadcastFontChange();
      continue;
    }
    // The journal says which file goes before it goes; the entry goes only once the file has.
    JournalRecord record;
    record.kind = JournalRecord::Kind::Remove;
    record.fontsKey = e.FontsKey;
    record.fontsDir = e.FontsDir;
    record.entry = valueName;
    record.file = data;
    record.identity = platform::GetFileIdentity(path);
    if (detail::Commit({detail::SetJournal(record)}) != platform::ERROR_SUCCESS) {
      detail::NoteProblem(fontKey, FontFailure::StoreFailed, platform::ERROR_CANTWRITE);
      continue;
    }
    detail::StepBoundary();
    platform::RemoveFontResourceA(data.c_str());
    if (!detail::DeleteOwnedFile(path, record.identity)) {
      const platform::DWORD error = platform::GetLastError();
      detail::Commit({detail::ClearJournal(record)});
      platform::AddFontResourceA(data.c_str());
      detail::NoteProblem(fontKey, FontFailure::FileNotDeleted, error);
      continue;
    }
    detail::StepBoundary();
    BroadcastFontChange();
    if (detail::Commit({detail::ClearEntry(e.FontsKey, valueName),
                        detail::ClearOwnedFile(e.FontsDir, data),
                        detail::ClearJournal(record)}) != platform::ERROR_SUCCESS) {
      // The file is gone and the journal says so: the next run deletes the entry.
      detail::NoteProblem(fontKey, FontFailure::StoreFailed, platform::ERROR_CANTWRITE);
    }
    detail::StepBoundary();
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
