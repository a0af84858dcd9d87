// Font loading with fontconfig (application fonts of this process), the font-change broadcast
// that refreshes fontconfig's cache of the Fonts folder, and the recorded EUDC switch.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <sys/stat.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorProcNotFound = 127;

// Where a loaded file's fonts reach this process's fontconfig from.
enum class Served {
  Pending,           // not yet: at the next refresh
  ApplicationSet,    // added to the configuration's application fonts
  ConfiguredFolder,  // a folder of the configuration lists it already
};

// A file loaded with AddFontResourceA, counted like the Windows call: it stays loaded until it
// has been removed as often as it was added.
struct LoadedFont {
  std::string hostPath;
  int faces = 0;
  int count = 0;
  Served served = Served::Pending;
};

struct FontState {
  std::mutex lock;
  std::vector<LoadedFont> loaded;  // in loading order
  // The configuration that holds the loaded fonts, referenced so that no later configuration
  // can take its address and pass for it.
  FcConfig* config = nullptr;
  // Its application set still holds fonts removed since: fontconfig cannot drop one font, so
  // the set is rebuilt once, at the next refresh, instead of at every removal.
  bool stale = false;
  // Face counts of files FreeType opened, by the file's identity and change time, so that a copy
  // checked under its temporary name is not parsed again when it is loaded under its own.
  std::unordered_map<std::string, int> faceCounts;
};

FontState& Fonts() {
  static FontState* state = new FontState;
  return *state;
}

const FcChar8* Fc(const std::string& s) { return reinterpret_cast<const FcChar8*>(s.c_str()); }

// The current configuration. One that replaced ours (a reinitialisation, also by the
// application) starts without application fonts: every loaded font is pending again.
FcConfig* CurrentConfigurationLocked(FontState& state) {
  FcConfig* current = FcConfigGetCurrent();
  if (current != state.config) {
    if (state.config) FcConfigDestroy(state.config);
    state.config = FcConfigReference(current);
    state.stale = false;
    for (LoadedFont& font : state.loaded) font.served = Served::Pending;
  }
  return current;
}

int ApplicationFontCount(FcConfig* config) {
  FcFontSet* set = FcConfigGetFonts(config, FcSetApplication);
  return set ? set->nfont : 0;
}

// Adds the file to the configuration's application fonts; the number of faces it brought in.
int AddToApplicationSet(FcConfig* config, const std::string& hostPath) {
  int before = ApplicationFontCount(config);
  if (!FcConfigAppFontAddFile(config, Fc(hostPath))) return 0;
  return ApplicationFontCount(config) - before;
}

// The files that the configuration's own folders bring (the system set).
std::unordered_set<std::string_view> ConfiguredFiles(FcConfig* config) {
  std::unordered_set<std::string_view> files;
  FcFontSet* set = FcConfigGetFonts(config, FcSetSystem);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch)
      files.insert(reinterpret_cast<const char*>(file));
  }
  return files;
}

// The Fonts folder as the broadcast left its cache: the font files it lists.
struct FolderCache {
  std::string folder;
  std::set<std::string> files;
};

std::optional<FolderCache> ReadFolderCache(FcCache* cache, const std::string& folder) {
  // A folder with subfolders would bring their fonts along.
  if (!cache || FcCacheNumSubdir(cache) > 0) return std::nullopt;
  FolderCache listed{folder, {}};
  FcFontSet* set = FcCacheCopySet(cache);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch)
      listed.files.insert(reinterpret_cast<const char*>(file));
  }
  if (set) FcFontSetDestroy(set);
  return listed;
}

bool IsInFolder(const std::string& hostPath, const std::string& folder) {
  return !folder.empty() && fs::path(hostPath).parent_path() == fs::path(folder);
}

// Adds the loaded fonts of the Fonts folder from the cache the broadcast has just written
// instead of parsing each file again: possible when the folder holds exactly those fonts, and
// when some of them are in the application set already, no other file that clearing the set
// would make us parse again.
bool AddFolderFromCacheLocked(FontState& state, FcConfig* config, const FolderCache& cache) {
  std::set<std::string> wanted;
  bool folderAdded = false, othersAdded = false;
  for (const LoadedFont& font : state.loaded) {
    const bool inFolder = IsInFolder(font.hostPath, cache.folder);
    if (font.served == Served::ApplicationSet) {
      if (inFolder)
        folderAdded = true;
      else
        othersAdded = true;
    }
    if (inFolder && font.served != Served::ConfiguredFolder) wanted.insert(font.hostPath);
  }
  if (wanted.empty() || wanted != cache.files || (folderAdded && othersAdded)) return false;
  if (folderAdded) {
    FcConfigAppFontClear(config);
    for (LoadedFont& font : state.loaded)
      if (font.served == Served::ApplicationSet) font.served = Served::Pending;
  }
  if (!FcConfigAppFontAddDir(config, Fc(cache.folder))) return false;
  for (LoadedFont& font : state.loaded)
    if (wanted.count(font.hostPath)) font.served = Served::ApplicationSet;
  return true;
}

// Brings fontconfig's application set in line with the loaded fonts: rebuilt when fonts were
// removed from it, the pending fonts added.
void RefreshApplicationFontsLocked(FontState& state, const std::optional<FolderCache>& cache) {
  FcConfig* config = CurrentConfigurationLocked(state);
  if (state.stale) {
    FcConfigAppFontClear(config);
    for (LoadedFont& font : state.loaded)
      if (font.served == Served::ApplicationSet) font.served = Served::Pending;
    state.stale = false;
  }
  if (std::none_of(state.loaded.begin(), state.loaded.end(),
                   [](const LoadedFont& f) { return f.served == Served::Pending; }))
    return;
  // A font that a configured folder lists already (the Fonts folder of the user's own prefix
  // lies in one) is not parsed and listed a second time.
  const std::unordered_set<std::string_view> configured = ConfiguredFiles(config);
  for (LoadedFont& font : state.loaded)
    if (font.served == Served::Pending && configured.count(font.hostPath))
      font.served = Served::ConfiguredFolder;
  if (cache) AddFolderFromCacheLocked(state, config, *cache);
  for (LoadedFont& font : state.loaded) {
    if (font.served != Served::Pending) continue;
    AddToApplicationSet(config, font.hostPath);
    font.served = Served::ApplicationSet;
  }
}

// The number of faces of a font file as FreeType, through which fontconfig reads fonts, opens
// it: 0 when it is no font, std::nullopt when FreeType cannot be used.
std::optional<int> CountFacesLocked(FontState& state, const std::string& hostPath) {
  static FT_Library library = [] {
    FT_Library created = nullptr;
    return FT_Init_FreeType(&created) == 0 ? created : nullptr;
  }();
  if (!library) return std::nullopt;
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return 0;
  const std::string stamp =
      std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
      std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
      std::to_string(st.st_mtim.tv_nsec);
  if (auto it = state.faceCounts.find(stamp); it != state.faceCounts.end()) return it->second;
  int faces = 0;
  FT_Face face = nullptr;
  if (FT_New_Face(library, hostPath.c_str(), 0, &face) == 0) {
    faces = static_cast<int>(face->num_faces);
    FT_Done_Face(face);
    // Every face must open: a collection cut short by a scratched disc may still open its
    // first.
    for (int i = 1; i < faces; ++i) {
      if (FT_New_Face(library, hostPath.c_str(), i, &face) != 0) {
        faces = 0;
        break;
      }
      FT_Done_Face(face);
    }
  }
  if (state.faceCounts.size() > 4096) state.faceCounts.clear();
  state.faceCounts.emplace(stamp, faces);
  return faces;
}

// The Fonts folder with its links resolved, as loaded files name it; empty when the prefix is
// unusable.
std::string CanonicalFontsFolder() {
  try {
    std::error_code ec;
    fs::path folder = fs::weakly_canonical(FontsHostDir(), ec);
    return ec ? std::string() : folder.string();
  } catch (const std::exception&) {
    return {};
  }
}

std::string FindInFolder(const std::string& folder, const std::string& name) {
  fs::path exact = fs::path(folder) / name;
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact.string();
  // A name given in another letter case still names the file, as on Windows.
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string candidate = entry.path().filename().string();
    if (strcasecmp(candidate.c_str(), name.c_str()) == 0) return entry.path().string();
  }
  return exact.string();
}

// The host file that a font resource name stands for: a bare name lies in the Fonts folder,
// anything else is a Windows path.
std::optional<std::string> FontHostPath(const char* fileName) {
  if (!fileName || !*fileName) return std::nullopt;
  std::string_view name(fileName);
  std::optional<std::string> host;
  try {
    if (FindLastBackslash(name) == std::string_view::npos && name.find(':') == std::string_view::npos &&
        name.find('/') == std::string_view::npos)
      host = FindInFolder(FontsHostDir(), AnsiToUtf8(name));
    else
      host = ResolveHostPath(std::string(name));
  } catch (const std::exception&) {
    return std::nullopt;  // an unusable prefix loads nothing
  }
  if (!host) return std::nullopt;
  // One file reached by different names (bare, full path, through the Fonts link) is one font.
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(*host, ec);
  return ec ? *host : canonical.string();
}

std::vector<LoadedFont>::iterator FindLoaded(FontState& state, const std::string& hostPath) {
  return std::find_if(state.loaded.begin(), state.loaded.end(),
                      [&](const LoadedFont& f) { return f.hostPath == hostPath; });
}

// Whether fontconfig's configuration reads the folder (the Fonts folder of the user's own
// prefix lies below the user's font folder).
bool ConfigurationCovers(const std::string& folder) {
  std::error_code ec;
  fs::path target = fs::canonical(folder, ec);
  if (ec) return false;
  bool covered = false;
  FcStrList* dirs = FcConfigGetFontDirs(FcConfigGetCurrent());
  if (!dirs) return false;
  while (FcChar8* dir = FcStrListNext(dirs)) {
    fs::path configured = fs::canonical(reinterpret_cast<const char*>(dir), ec);
    if (ec) continue;
    auto [end, _] = std::mismatch(configured.begin(), configured.end(), target.begin(), target.end());
    if (end == configured.end()) {
      covered = true;
      break;
    }
  }
  FcStrListDone(dirs);
  return covered;
}

void BroadcastFontChange() {
  const std::string folder = CanonicalFontsFolder();
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  if (folder.empty()) {
    RefreshApplicationFontsLocked(state, std::nullopt);  // no Fonts folder to rescan
    return;
  }
  FcConfig* config = FcConfigGetCurrent();
  // Only the Fonts folder is rescanned and its cache written, so programs started afterwards
  // find the change without scanning anything themselves. A rescan needs a valid cache to start
  // from; a folder that changed since its cache was written is scanned afresh.
  FcCache* cache = FcDirCacheRescan(Fc(folder), config);
  if (!cache) cache = FcDirCacheRead(Fc(folder), FcTrue, config);
  std::optional<FolderCache> listed = ReadFolderCache(cache, folder);
  if (cache) FcDirCacheUnload(cache);
  if (ConfigurationCovers(folder))
    FcInitReinitialize();
  else
    FcInitBringUptoDate();
  RefreshApplicationFontsLocked(state, listed);
}

std::atomic<bool> eudcEnabled{true};
std::atomic<int> eudcSwitches{0};
std::atomic<int> gdiReferences{0};
constexpr HMODULE kGdiModule = 0x77D40000;

BOOL EnableEUDC(BOOL enable) {
  eudcEnabled = enable != 0;
  ++eudcSwitches;
  return 1;
}

bool IsGdiName(std::string_view name) {
  return strcasecmp(std::string(name).c_str(), "GDI32.DLL") == 0 ||
         strcasecmp(std::string(name).c_str(), "GDI32") == 0;
}

}  // namespace

int AddFontResourceA(const char* fileName) {
  std::optional<std::string> hostPath = FontHostPath(fileName);
  std::error_code ec;
  if (!hostPath || !fs::is_regular_file(*hostPath, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const std::string folder = CanonicalFontsFolder();
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  FcConfig* config = CurrentConfigurationLocked(state);
  auto it = FindLoaded(state, *hostPath);
  if (it != state.loaded.end()) {
    ++it->count;
    return it->faces;
  }
  std::optional<int> faces = CountFacesLocked(state, *hostPath);
  if (faces && *faces <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // not a font file fontconfig can read
    return 0;
  }
  // A file of the Fonts folder is parsed once, by the broadcast that every change of the folder
  // is followed by, and reaches this process from the cache written then.
  if (faces && IsInFolder(*hostPath, folder)) {
    state.loaded.push_back(LoadedFont{*hostPath, *faces, 1, Served::Pending});
    return *faces;
  }
  const int added = AddToApplicationSet(config, *hostPath);
  if (added <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  state.loaded.push_back(LoadedFont{*hostPath, faces.value_or(added), 1, Served::ApplicationSet});
  return faces.value_or(added);
}

int CountFontFaces(const std::string& windowsPath) {
  std::optional<std::string> hostPath = ResolveHostPath(windowsPath);
  struct stat st;
  if (!hostPath || lstat(hostPath->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  std::optional<int> faces = CountFacesLocked(state, *hostPath);
  if (!faces || *faces <= 0) {
    SetLastError(ERROR_INVALID_DATA);
    return 0;
  }
  return *faces;
}

bool RemoveFontResourceA(const char* fileName) {
  std::optional<std::string> hostPath = FontHostPath(fileName);
  if (!hostPath) return false;
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  CurrentConfigurationLocked(state);
  auto it = FindLoaded(state, *hostPath);
  if (it == state.loaded.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (--it->count > 0) return true;
  if (it->served == Served::ApplicationSet) state.stale = true;
  state.loaded.erase(it);
  return true;
}

std::intptr_t SendMessageA(HWND window, DWORD message, std::uintptr_t /*wParam*/,
                           std::intptr_t /*lParam*/) {
  if (window == HWND_BROADCAST && message == WM_FONTCHANGE) BroadcastFontChange();
  return 0;
}

HMODULE LoadLibraryA(const char* name) {
  if (!name || !IsGdiName(name)) {
    SetLastError(kErrorModNotFound);
    return 0;
  }
  ++gdiReferences;
  return kGdiModule;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module != kGdiModule || gdiReferences.load() <= 0 || !name ||
      std::string_view(name) != "EnableEUDC") {
    SetLastError(kErrorProcNotFound);
    return nullptr;
  }
  return &EnableEUDC;
}

bool FreeLibrary(HMODULE module) {
  if (module != kGdiModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  int references = gdiReferences.load();
  while (references > 0 && !gdiReferences.compare_exchange_weak(references, references - 1)) {
  }
  if (references <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool IsEUDCEnabled() { return eudcEnabled.load(); }
int EUDCSwitchCount() { return eudcSwitches.load(); }

}  // namespace platform
