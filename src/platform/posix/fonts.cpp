// Font loading with fontconfig (application fonts of this process), the font-change broadcast
// that refreshes fontconfig's cache of the Fonts folder, and the recorded EUDC switch.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorProcNotFound = 127;

// A file loaded with AddFontResourceA, counted like the Windows call: it stays loaded until it
// has been removed as often as it was added.
struct LoadedFont {
  std::string hostPath;
  int faces = 0;
  int count = 0;
};

struct FontState {
  std::mutex lock;
  std::vector<LoadedFont> loaded;  // in loading order
};

FontState& Fonts() {
  static FontState* state = new FontState;
  return *state;
}

const FcChar8* Fc(const std::string& s) { return reinterpret_cast<const FcChar8*>(s.c_str()); }

int ApplicationFontCount(FcConfig* config) {
  FcFontSet* set = FcConfigGetFonts(config, FcSetApplication);
  return set ? set->nfont : 0;
}

bool IsApplicationFont(FcConfig* config, const std::string& hostPath) {
  FcFontSet* set = FcConfigGetFonts(config, FcSetApplication);
  if (!set) return false;
  for (int i = 0; i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
        hostPath == reinterpret_cast<const char*>(file))
      return true;
  }
  return false;
}

// Adds the file to the current configuration; the number of faces it brought in.
int AddToFontconfig(const std::string& hostPath) {
  FcConfig* config = FcConfigGetCurrent();
  int before = ApplicationFontCount(config);
  if (!FcConfigAppFontAddFile(config, Fc(hostPath))) return 0;
  return ApplicationFontCount(config) - before;
}

// A new configuration (after a reinitialisation) starts without application fonts: the files
// still loaded are added to it again.
void RestoreApplicationFontsLocked(FontState& state) {
  FcConfig* config = FcConfigGetCurrent();
  for (const LoadedFont& font : state.loaded)
    if (!IsApplicationFont(config, font.hostPath))
      FcConfigAppFontAddFile(config, Fc(font.hostPath));
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
  std::string folder;
  try {
    folder = FontsHostDir();
  } catch (const std::exception&) {
    return;
  }
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  FcConfig* config = FcConfigGetCurrent();
  // Only the Fonts folder is rescanned and its cache written, so programs started afterwards
  // find the change without scanning anything themselves. A rescan needs a valid cache to start
  // from; a folder that changed since its cache was written is scanned afresh.
  FcCache* cache = FcDirCacheRescan(Fc(folder), config);
  if (!cache) cache = FcDirCacheRead(Fc(folder), FcTrue, config);
  if (cache) FcDirCacheUnload(cache);
  if (ConfigurationCovers(folder))
    FcInitReinitialize();
  else
    FcInitBringUptoDate();
  RestoreApplicationFontsLocked(state);
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
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  auto it = FindLoaded(state, *hostPath);
  if (it != state.loaded.end()) {
    ++it->count;
    return it->faces;
  }
  int faces = AddToFontconfig(*hostPath);
  if (faces <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // not a font file fontconfig can read
    return 0;
  }
  state.loaded.push_back(LoadedFont{*hostPath, faces, 1});
  return faces;
}

bool RemoveFontResourceA(const char* fileName) {
  std::optional<std::string> hostPath = FontHostPath(fileName);
  if (!hostPath) return false;
  FontState& state = Fonts();
  std::lock_guard guard(state.lock);
  auto it = FindLoaded(state, *hostPath);
  if (it == state.loaded.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (--it->count > 0) return true;
  state.loaded.erase(it);
  // fontconfig cannot drop one application font: the set is rebuilt from the files still loaded.
  FcConfig* config = FcConfigGetCurrent();
  FcConfigAppFontClear(config);
  RestoreApplicationFontsLocked(state);
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
