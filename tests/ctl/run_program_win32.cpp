// Runs the programs under test with CreateProcessW, the arguments passed as Unicode text as a
// console would, stdout and stderr on files.
#include "ctl/run_program.h"

#include "platform/text.h"

#include <windows.h>

namespace ctl_test {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
  std::wstring wide(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument quoted so that the C runtime's parser gives it back unchanged: backslashes
// count only before a quote, where they are doubled.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

HANDLE OutputFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// What the program wrote in the ANSI code page, as UTF-8 with its lines ended by LF alone: a
// Windows text stream ends them with CR LF.
std::string Text(const std::filesystem::path& file) {
  std::string text = platform::AnsiToUtf8(testing_support::ReadFile(file), ::GetACP());
  std::erase(text, '\r');
  return text;
}

}  // namespace

Result Run(const std::string& program, const std::vector<std::string>& args,
           const std::string& /*locale*/, Stderr /*stderrKind*/) {
  testing_support::TempDir io;
  std::wstring commandLine = Quoted(Wide(program));
  for (const std::string& arg : args) commandLine += L" " + Quoted(Wide(arg));

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
  HANDLE out = OutputFile(io.path() / "out");
  HANDLE err = OutputFile(io.path() / "err");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(in);
  ::CloseHandle(out);
  ::CloseHandle(err);
  Result result;
  if (!started) return result;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code);
  result.out = Text(io.path() / "out");
  result.err = Text(io.path() / "err");
  return result;
}

Started::Started(const std::string& program, const std::vector<std::string>& args) {
  std::wstring commandLine = Quoted(Wide(program));
  for (const std::string& arg : args) commandLine += L" " + Quoted(Wide(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
    return;
  ::CloseHandle(process.hThread);
  process_ = reinterpret_cast<long long>(process.hProcess);
}

void Started::Kill() {
  if (process_ == -1) return;
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  ::TerminateProcess(process, 137);
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
  process_ = -1;
}

void ExpectStoreIntact(const std::filesystem::path& /*prefix*/) {}

}  // namespace ctl_test
