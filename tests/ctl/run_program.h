#pragma once
// Running the project's command-line programs as child processes in the tests: their exit
// code, stdout and stderr, with stderr on a pipe or on a pseudo-terminal.

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ctl_test {

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The programs under test, as the build names them (as this test program reaches them); empty
// when one is not built.
inline std::string Existing(const char* path) {
  const std::filesystem::path reached = testing_support::HostSystemPath(path);
  return std::filesystem::exists(reached) ? reached.string() : "";
}
inline std::string CtlProgram() {
#ifdef ZF_CTL_PROGRAM
  return Existing(ZF_CTL_PROGRAM);
#else
  return "";
#endif
}
inline std::string DemodiscProgram() {
#ifdef ZF_DEMODISC_PROGRAM
  return Existing(ZF_DEMODISC_PROGRAM);
#else
  return "";
#endif
}

enum class Stderr { Pipe, Terminal };

// Runs program with args (UTF-8 text) and waits for it. On POSIX the program runs in the given
// locale (LC_ALL); on Windows, which has no such locale, the program's output is in the ANSI code
// page and comes back converted to UTF-8. A terminal for stderr exists only on POSIX.
Result Run(const std::string& program, const std::vector<std::string>& args,
           const std::string& locale = "C.UTF-8", Stderr stderrKind = Stderr::Pipe);

// A program started without waiting for it, its output thrown away: Kill ends it at once, as
// kill -9 or TerminateProcess does, and waits until it is gone (as does the destructor).
class Started {
 public:
  Started(const std::string& program, const std::vector<std::string>& args);
  ~Started() { Kill(); }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  void Kill();

 private:
  long long process_ = -1;  // the process id on POSIX, its handle on Windows
};

// Fails the test when the prefix's registry store is damaged (SQLite's own check); on Windows the
// registry is the system's, which keeps it whole.
void ExpectStoreIntact(const std::filesystem::path& prefix);

}  // namespace ctl_test
