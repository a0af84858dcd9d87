// The shell's replaceable handlers, the same on every backend: message boxes, the application
// title and the process exit.
#include "platform/common/shell_handlers.h"

#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/shell.h"

namespace platform {
namespace {

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

}  // namespace

int MessageBoxA(HWND /*owner*/, const char* text, const char* caption, DWORD type) {
  MessageBoxHandler handler;
  {
    std::lock_guard guard(Shell().lock);
    handler = Shell().messageBox;
  }
  std::string t = text ? text : "";
  std::string c = caption ? caption : "Error";
  return handler ? handler(t, c, type) : SystemMessageBox(t, c, type);
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
