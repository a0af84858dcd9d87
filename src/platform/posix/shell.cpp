// The shell: "open" requests started with posix_spawn, through Wine, or handed to the desktop's
// opener; message boxes and the process exit through replaceable handlers.
#include "platform/shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/common/shell_handlers.h"
#include "platform/files.h"
#include "platform/posix/backend.h"
#include "platform/posix/host.h"
#include "platform/posix/shell_settings.h"
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

// The kernel refuses to start programs from a noexec mount; so do we, also for a script that
// an interpreter would read.
bool OnNoexecMount(const std::string& path) {
  struct statvfs fs {};
  return statvfs(path.c_str(), &fs) == 0 && (fs.f_flag & ST_NOEXEC);
}

bool HasSuffixNoCase(std::string_view name, std::string_view suffix) {
  return name.size() > suffix.size() && EqualsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

// As much of a file's head as the kernel looks at for "#!" (256 bytes since Linux 5.1): enough
// to tell the kinds apart, and never more, whatever the file's size.
constexpr std::size_t kSniffBytes = 256;

std::string ReadHead(const std::string& path) {
  std::string head(kSniffBytes, '\0');
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {};
  std::size_t used = 0;
  while (used < head.size()) {
    ssize_t n = read(fd, head.data() + used, head.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<std::size_t>(n);
  }
  close(fd);
  head.resize(used);
  return head;
}

// The interpreter line of a script head ("#!/bin/sh -e" gives {"/bin/sh", "-e"}); empty when
// it does not start with "#!". A line longer than the head is cut, as the kernel cuts it.
std::vector<std::string> InterpreterLine(std::string_view head) {
  if (head.substr(0, 2) != "#!") return {};
  std::string line(head.substr(2, head.find('\n') == std::string_view::npos ? std::string_view::npos
                                                                              : head.find('\n') - 2));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::istringstream words(line);
  std::string interpreter, argument;
  words >> interpreter;
  if (interpreter.empty()) return {};
  std::getline(words >> std::ws, argument);  // the rest is one argument, as the kernel does it
  std::vector<std::string> result{interpreter};
  if (!argument.empty()) result.push_back(argument);
  return result;
}

enum class FileKind { HostProgram, Script, WindowsProgram, Document };

// A host program's own marks win over a Windows name: a stand-in script may be called
// Setup.exe.
FileKind KindOf(const std::string& hostPath, std::string_view head) {
  if (head.substr(0, 4) == "\x7F" "ELF") return FileKind::HostProgram;
  if (!InterpreterLine(head).empty()) return FileKind::Script;
  if (head.substr(0, 2) == "MZ") return FileKind::WindowsProgram;
  for (std::string_view suffix : {".exe", ".com", ".bat"})
    if (HasSuffixNoCase(hostPath, suffix)) return FileKind::WindowsProgram;
  return IsExecutable(hostPath) ? FileKind::HostProgram : FileKind::Document;
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

// A Windows command line split as Windows programs split it: blanks separate, double quotes
// group (and are dropped), a backslash before a quote makes it a plain quote.
std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
      word += '"';
      inWord = true;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

struct SpawnRequest {
  std::vector<std::string> argv;
  std::optional<std::string> directory;
  std::vector<std::string> environment;  // empty: ours
};

// Starts a process in a session of its own (a Ctrl-C or hang-up meant for us does not reach
// it). The error code of a failed start is returned in error.
std::optional<pid_t> Spawn(const SpawnRequest& request, int& error) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The started program gets none of our descriptors (the registry store, fontconfig's caches).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (request.directory) posix_spawn_file_actions_addchdir_np(&actions, request.directory->c_str());
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  auto pointers = [](const std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (const std::string& t : texts) result.push_back(const_cast<char*>(t.c_str()));
    result.push_back(nullptr);
    return result;
  };
  std::vector<char*> args = pointers(request.argv);
  std::vector<char*> env = pointers(request.environment);
  pid_t pid = 0;
  error = posix_spawn(&pid, request.argv[0].c_str(), &actions, &attributes, args.data(),
                      request.environment.empty() ? environ : env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return std::nullopt;
  return pid;
}

// A thread of its own collects the exit status, so the process never stays behind as a zombie.
void ReapLater(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread the child is still running; it is collected when this process ends.
  }
}

std::optional<pid_t> SpawnDetached(const SpawnRequest& request, int& error) {
  std::optional<pid_t> pid = Spawn(request, error);
  if (pid) ReapLater(*pid);
  return pid;
}

// xdg-open ends at once with a non-zero status when the desktop has no application for the
// file; a handler that keeps it running has taken the file.
constexpr auto kOpenerAnswerTime = std::chrono::seconds(2);

std::optional<pid_t> OpenWithOpener(const std::string& hostPath, const std::optional<std::string>& directory) {
  std::string setting = posix::CurrentSettings().opener;
  std::optional<std::string> opener = FindOnPath(setting.empty() ? "xdg-open" : setting);
  if (!opener) {
    SetLastError(kErrorNoAssociation);
    return std::nullopt;
  }
  int error = 0;
  std::optional<pid_t> pid = Spawn({{*opener, hostPath}, directory, {}}, error);
  if (!pid) {
    SetLastError(ERROR_ACCESS_DENIED);
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + kOpenerAnswerTime;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(*pid, &status, WNOHANG);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return pid;  // collected elsewhere (SIGCHLD ignored): nothing to go by
    if (done == *pid) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return pid;
      SetLastError(kErrorNoAssociation);
      return std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ReapLater(*pid);
  return pid;
}

std::string FolderOf(const std::string& hostPath) {
  auto slash = hostPath.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : hostPath.substr(0, slash);
}

// In the program's own folder unless the request names one: a setup finds its files beside it.
std::optional<pid_t> StartWindowsProgram(const std::string& hostPath, const std::string& parameters,
                                         const std::optional<std::string>& directory) {
  posix::WindowsRunnerSetting setting = posix::ReadWindowsRunnerSetting();
  std::optional<std::string> runner;
  if (!setting.program.empty()) {
    runner = FindOnPath(setting.program);
  } else {
    runner = FindOnPath("wine");
    if (!runner) runner = FindOnPath("wine64");
  }
  if (!runner) {
    SetLastError(ERROR_NO_WINDOWS_RUNNER);
    return std::nullopt;
  }
  SpawnRequest request{{*runner, hostPath}, directory ? *directory : FolderOf(hostPath), {}};
  for (std::string& word : SplitCommandLine(parameters)) request.argv.push_back(std::move(word));
  if (!setting.winePrefix.empty()) {
    for (char** variable = environ; *variable; ++variable)
      if (std::string_view(*variable).rfind("WINEPREFIX=", 0) != 0) request.environment.push_back(*variable);
    request.environment.push_back("WINEPREFIX=" + setting.winePrefix);
  }
  int error = 0;
  std::optional<pid_t> pid = SpawnDetached(request, error);
  if (!pid) SetLastError(posix::ErrorFromErrno(error));
  return pid;
}

std::optional<pid_t> StartProgram(const std::string& hostPath, std::string_view head,
                                  const std::string& parameters,
                                  const std::optional<std::string>& directory) {
  if (OnNoexecMount(hostPath)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return std::nullopt;
  }
  std::vector<std::string> argv;
  if (access(hostPath.c_str(), X_OK) == 0) {
    argv = {hostPath};
  } else {
    // A script that lost its execute bit (copied from a disc) still runs with its interpreter.
    argv = InterpreterLine(head);
    if (argv.empty()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return std::nullopt;
    }
    argv.push_back(hostPath);
  }
  if (!parameters.empty()) argv.push_back(parameters);
  int error = 0;
  std::optional<pid_t> pid = SpawnDetached({argv, directory, {}}, error);
  // Not a program of this host after all: the desktop may know the file.
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
  const std::string head = ReadHead(*host);
  switch (KindOf(*host, head)) {
    case FileKind::WindowsProgram: return StartWindowsProgram(*host, parameters, directory);
    case FileKind::HostProgram:
    case FileKind::Script: return StartProgram(*host, head, parameters, directory);
    case FileKind::Document: break;
  }
  return OpenWithOpener(*host, directory);
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

// Without a window system of its own the backend's box is a line on standard error.
int SystemMessageBox(const std::string& text, const std::string& caption, DWORD /*type*/) {
  std::string line = AnsiToUtf8(caption) + ": " + AnsiToUtf8(text) + "\n";
  std::fputs(line.c_str(), stderr);
  return IDOK;
}

}  // namespace platform
