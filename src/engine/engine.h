#pragma once
// The font installation engine: the catalogue of a font set, installing, removing and testing
// single fonts, the selection with font links, counts and space, and the batch runs. Free
// operations on one process-wide record; no lock of its own (callers hold the window's list
// lock). Texts are ANSI byte strings; paths are Windows paths.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace engine {

// Font state bits of QueryFontState.
constexpr std::uint32_t FontInstalled = 0x01;
constexpr std::uint32_t FontMismatch = 0x04;
constexpr std::uint32_t LinkInstalled = 0x10;
constexpr std::uint32_t LinkMismatch = 0x40;

// EngineFlags bits.
constexpr std::uint32_t Loaded = 1;
constexpr std::uint32_t IncludeLinks = 4;

using CopyRoutine = int (*)(const char* source, const char* target);
// (done, total, name): name is the display name of the font about to be handled, or null on
// the closing call.
using ProgressFn = void (*)(int done, int total, const char* name, void* context);

// Catalogue files as the platform's INI reader parsed them.
using CatalogueReaders = std::vector<platform::ProfileView>;

struct FontEngine {
  std::string CatalogueDir;
  std::string SourceDir;
  std::string FontsDir;
  std::string FontsKey;
  std::string LanguageName;
  std::uint32_t EngineFlags = 0;
  std::vector<std::string> StyleFiles;      // full paths, in enumeration order
  std::vector<std::string> LangStyleFiles;
  std::vector<std::string> FontFiles;
  std::vector<std::string> LangFontFiles;
  // The files above, each parsed once at load time; entry i answers for path i.
  CatalogueReaders StyleReaders;
  CatalogueReaders LangStyleReaders;
  CatalogueReaders FontReaders;
  CatalogueReaders LangFontReaders;
  std::string CurrentStyle;
  std::vector<std::string> Selection;
  CopyRoutine CopyHook = nullptr;
};

// The process-wide record (read-only view for callers such as the window's Free Space counter).
const FontEngine& Engine();

// Catalogue.
bool LoadCatalogue(const std::string& infoDir, const std::string& sourceDir,
                   std::uint32_t options);
bool ListStyleKeys(std::vector<std::string>& keys);
bool ListStyleNames(std::vector<std::string>& names);
bool GetStyleName(const std::string& styleKey, std::string& name);
bool FindStyleKey(const std::string& name, std::string& styleKey);
bool SelectStyle(const std::string& name);
bool ListStyleFonts(std::vector<std::string>& fontKeys);
bool GetFontName(const std::string& fontKey, std::string& name);
bool ReadFontValue(const std::string& fontKey, const std::string& key, std::string& value);
// Releases every reader and the selection (program end).
void ReleaseEngine();

// Single fonts. InstallFont throws platform::RegistryError ("Failed to set data for '%s'") when
// the registry entry cannot be written; that ends the batch run that called it.
void InstallFont(const std::string& fontKey);
void RemoveFont(const std::string& fontKey);
std::uint32_t QueryFontState(const std::string& fontKey);
bool SetCopyHook(CopyRoutine routine);
int CopyFontFile(const char* source, const char* target);
int CopyFontFileMaskGsub(const char* source, const char* target);

// Registration-name match: does name N match registry value name V (first occurrence, stepping
// over double-byte characters, preceded by the start or a space and followed by a space)?
bool NameMatches(const std::string& name, const std::string& valueName);

// Selection, links, counts and runs.
bool AddToSelection(const std::string& fontKey);
bool RemoveFromSelection(const std::string& fontKey);
bool ClearSelection();
bool SetIncludeLinks(bool include);
void ExpandLinks(std::vector<std::string>& work, const std::string& fontKey);
int CountSelection(bool countInstalled);
std::uint32_t SelectionSpace(bool countInstalled);
int InstallSelection(ProgressFn progress, void* context);
int RemoveSelection(ProgressFn progress, void* context);

}  // namespace engine
