#pragma once
// Fonts: loading and unloading a font file for this process, the font-change broadcast, and the
// EUDC switch of the graphics library.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// Loads a font file for this process (fontconfig application font). A bare file name names a
// file in the Fonts folder. Returns the number of fonts in the file, 0 on failure. A file of
// the Fonts folder reaches this process's fontconfig at the next font-change broadcast, any
// other at once.
int AddFontResourceA(const char* fileName);
// The number of faces in the font file named by a Windows path when every face of it opens as
// the system reads fonts; 0 (ERROR_INVALID_DATA) for a file that is no font or is cut short.
int CountFontFaces(const std::string& windowsPath);
// Unloads it again; false when it was not loaded. This process's fontconfig stops listing the
// file at the next font-change broadcast.
bool RemoveFontResourceA(const char* fileName);

using HWND = std::uintptr_t;
constexpr HWND HWND_BROADCAST = 0xFFFF;
constexpr DWORD WM_FONTCHANGE = 0x1D;

// Only the font-change broadcast is known: it rescans fontconfig's cache of the Fonts folder and
// reinitialises this process's fontconfig so that programs started afterwards (fc-list) see the
// change at once, and brings this process's fontconfig in line with the fonts loaded and
// removed since. Returns 0.
std::intptr_t SendMessageA(HWND window, DWORD message, std::uintptr_t wParam, std::intptr_t lParam);

// The graphics library's dynamic entry points. Only "GDI32.DLL" (any case) loads, and it has
// only "EnableEUDC". The switch records its state; nothing else changes on this host.
using HMODULE = std::uintptr_t;
using FARPROC = BOOL (*)(BOOL);
HMODULE LoadLibraryA(const char* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
bool FreeLibrary(HMODULE module);
bool IsEUDCEnabled();         // true at start
int EUDCSwitchCount();        // how many times EnableEUDC was called, for tests

}  // namespace platform
