#pragma once
// The shell: opening files and folders, message boxes and ending the process. Message boxes and
// the process exit go through replaceable handlers so that the windows can show real boxes and
// tests can record them without ever blocking.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fonts.h"
#include "platform/types.h"

namespace platform {

constexpr DWORD SEE_MASK_NOCLOSEPROCESS = 0x40;
constexpr int SW_SHOWDEFAULT = 10;
// A Windows program was asked for and no program that runs them (Wine) is installed. Bit 29
// marks an error code of the application's own, which no Windows call ever sets.
constexpr DWORD ERROR_NO_WINDOWS_RUNNER = 0x20000000 | 1;

struct SHELLEXECUTEINFOA {
  DWORD cbSize = 0;
  DWORD fMask = 0;
  HWND hwnd = 0;
  const char* lpVerb = nullptr;
  const char* lpFile = nullptr;
  const char* lpParameters = nullptr;
  const char* lpDirectory = nullptr;
  int nShow = 0;
  std::uintptr_t hInstApp = 0;
  std::intptr_t hProcess = 0;  // the started process id when SEE_MASK_NOCLOSEPROCESS is set
};

// "open" on a file (Windows path, or a bare program name):
// * "Explorer.exe" opens the folder given as parameters with the shell opener (xdg-open);
// * a Windows program (an "MZ" header, or an .exe, .com or .bat name that is no host program)
//   starts through the Windows runner (wine, else wine64, on PATH, or the prefix's setting) in
//   its own folder, the parameters split as a Windows command line;
// * a host executable, or a script with "#!", starts with the parameters as one argument (none
//   when empty), in the current folder;
// * any other file is handed to the opener.
// Started programs get a session of their own and are reaped, so no zombies stay; the call does
// not wait for them. The opener is waited for up to about 2 s: a non-zero exit is a refusal, one
// still running counts as started. A file is sniffed from its first 256 bytes only.
// false (nothing started) when the file does not resolve, a host program lies on a noexec mount
// (ERROR_ACCESS_DENIED), no runner is there for a Windows program (ERROR_NO_WINDOWS_RUNNER), or
// nothing else can start it.
bool ShellExecuteExA(SHELLEXECUTEINFOA* info);

// Message box styles and results.
constexpr DWORD MB_OK = 0x00;
constexpr DWORD MB_ICONERROR = 0x10;
constexpr DWORD MB_ICONWARNING = 0x30;
constexpr DWORD MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;

// Shows a modal message box through the installed handler (texts are ANSI). The default handler
// writes "caption: text" to standard error and returns IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, DWORD type);
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, DWORD type)>;
// Installs a handler; returns the previous one. An empty handler restores the default.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The application title (the caption of the plain message box and of the standard error box).
void SetApplicationTitle(const std::string& title);
std::string ApplicationTitle();
// The plain message box: modal, the text, one OK button, the application title as caption.
void ShowPlainMessage(const std::string& text);
// The application's standard error box for an exception's message (error icon, OK).
void ShowErrorMessage(const std::string& text);

// Ends the process through the installed handler (default: std::exit). Tests install a handler
// that throws, so that the code after the call does not run.
[[noreturn]] void ExitProcess(int exitCode);
using ExitHandler = std::function<void(int exitCode)>;
ExitHandler SetExitHandler(ExitHandler handler);

}  // namespace platform
