// The shell: "open" requests started with posix_spawn or handed to the desktop's opener, message
// boxes and the process exit through replaceable handlers.
#include "platform/shell.h"

#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/posix/backend.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

constexpr DWORD kErrorNoAssociation = 1155;
constexpr std::uintptr_t kShellSuccess = 42;  // hInstApp above 32 means success

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsExplorer(std::string_view file) {
  return EqualsNoCase(file, "Explorer.exe") || EqualsNoCase(file, "Explorer");
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutable(const std::string& path) { return IsRegularFile(path) && access(path.c_str(), X_OK) == 0; }

// The interpreter line of a script ("#!/bin/sh -e" gives {"/bin/sh", "-e"}); empty when the file
// does not start with "#!".
std::vector<std::string> ReadInterpreterLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line.rfind("#!", 0) != 0) return {};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::istringstream words(line.substr(2));
  std::string interpreter, argument;
  words >> interpreter;
  if (interpreter.empty()) return {};
  std::getline(words >> std::ws, argument);  // the rest is one argument, as the kernel does it
  std::vector<std::string> result{interpreter};
  if (!argument.empty()) result.push_back(argument);
  return result;
}

std::optional<std::string> FindOnPath(const std::string& program) {
  if (program.find('/') != std::string::npos)
    return IsExecutable(program) ? std::optional(program) : std::nullopt;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + program;
    if (IsExecutable(candidate)) return candidate;
  }
  return std::nullopt;
}

// Starts a process that is not waited for; a thread of its own collects its exit status, so it
// never stays behind as a zombie. The error code of a failed start is returned in error.
std::optional<pid_t> Spawn(const std::vector<std::string>& argv, const std::optional<std::string>& directory,
                           int& error) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The started program gets none of our descriptors (the registry store, fontconfig's caches).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (directory) posix_spawn_file_actions_addchdir_np(&actions, directory->c_str());
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  error = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return std::nullopt;
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread the child is still running; it is collected when this process ends.
  }
  return pid;
}

std::optional<pid_t> OpenWithOpener(const std::string& hostPath, const std::optional<std::string>& directory) {
  std::string setting = posix::CurrentSettings().opener;
  std::optional<std::string> opener = FindOnPath(setting.empty() ? "xdg-open" : setting);
  if (!opener) {
    SetLastError(kErrorNoAssociation);
    return std::nullopt;
  }
  int error = 0;
  std::optional<pid_t> pid = Spawn({*opener, hostPath}, directory, error);
  if (!pid) SetLastError(ERROR_ACCESS_DENIED);
  return pid;
}

std::optional<pid_t> StartProgram(const std::string& hostPath, const std::string& parameters,
                                  const std::optional<std::string>& directory) {
  std::vector<std::string> argv;
  if (access(hostPath.c_str(), X_OK) == 0) {
    argv = {hostPath};
  } else {
    // A script that lost its execute bit (copied from a disc) still runs with its interpreter.
    argv = ReadInterpreterLine(hostPath);
    argv.push_back(hostPath);
  }
  if (!parameters.empty()) argv.push_back(parameters);
  int error = 0;
  std::optional<pid_t> pid = Spawn(argv, directory, error);
  // Not a program of this host (a Windows executable on a disc): the desktop may know it.
  if (!pid && error == ENOEXEC) return OpenWithOpener(hostPath, directory);
  if (!pid) SetLastError(ERROR_ACCESS_DENIED);
  return pid;
}

std::string StripQuotes(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

std::optional<pid_t> Execute(const SHELLEXECUTEINFOA& info) {
  std::string file = info.lpFile ? info.lpFile : "";
  std::string parameters = info.lpParameters ? info.lpParameters : "";
  if (file.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  std::optional<std::string> directory;
  if (info.lpDirectory && *info.lpDirectory) {
    directory = ResolveHostPath(info.lpDirectory);
    if (!directory || !DirectoryExists(info.lpDirectory)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
  }
  if (IsExplorer(file)) {
    std::string folder = StripQuotes(parameters);
    std::optional<std::string> host = folder.empty() ? std::nullopt : ResolveHostPath(folder);
    struct stat st {};
    if (!host || stat(host->c_str(), &st) != 0) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
    return OpenWithOpener(*host, directory);
  }
  std::optional<std::string> host = ResolveHostPath(file);
  if (!host || !IsRegularFile(*host)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  if (IsExecutable(*host) || !ReadInterpreterLine(*host).empty())
    return StartProgram(*host, parameters, directory);
  return OpenWithOpener(*host, directory);
}

struct ShellState {
  std::mutex lock;
  MessageBoxHandler messageBox;
  ExitHandler exit;
  std::string title;
};

ShellState& Shell() {
  static ShellState* state = new ShellState;
  return *state;
}

int DefaultMessageBox(const std::string& text, const std::string& caption, DWORD /*type*/) {
  std::string line = AnsiToUtf8(caption) + ": " + AnsiToUtf8(text) + "\n";
  std::fputs(line.c_str(), stderr);
  return IDOK;
}

}  // namespace

bool ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  info->hProcess = 0;
  if (info->lpVerb && !EqualsNoCase(info->lpVerb, "open")) {
    SetLastError(kErrorNoAssociation);
    return false;
  }
  std::optional<pid_t> pid;
  try {
    pid = Execute(*info);
  } catch (const std::exception&) {
    SetLastError(ERROR_INVALID_PARAMETER);  // an unusable prefix starts nothing
  }
  if (!pid) {
    info->hInstApp = 0;
    return false;
  }
  info->hInstApp = kShellSuccess;
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = *pid;
  return true;
}

int MessageBoxA(HWND /*owner*/, const char* text, const char* caption, DWORD type) {
  MessageBoxHandler handler;
  {
    std::lock_guard guard(Shell().lock);
    handler = Shell().messageBox;
  }
  std::string t = text ? text : "";
  std::string c = caption ? caption : "Error";
  return handler ? handler(t, c, type) : DefaultMessageBox(t, c, type);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard guard(Shell().lock);
  return std::exchange(Shell().messageBox, std::move(handler));
}

void SetApplicationTitle(const std::string& title) {
  std::lock_guard guard(Shell().lock);
  Shell().title = title;
}

std::string ApplicationTitle() {
  std::lock_guard guard(Shell().lock);
  return Shell().title;
}

void ShowPlainMessage(const std::string& text) {
  MessageBoxA(0, text.c_str(), ApplicationTitle().c_str(), MB_OK);
}

void ShowErrorMessage(const std::string& text) {
  MessageBoxA(0, text.c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONERROR);
}

void ExitProcess(int exitCode) {
  ExitHandler handler;
  {
    std::lock_guard guard(Shell().lock);
    handler = Shell().exit;
  }
  if (handler) handler(exitCode);
  std::exit(exitCode);
}

ExitHandler SetExitHandler(ExitHandler handler) {
  std::lock_guard guard(Shell().lock);
  return std::exchange(Shell().exit, std::move(handler));
}

}  // namespace platform
