// Runs the programs under test with posix_spawn, stderr on a file or a pseudo-terminal.
#include "ctl/run_program.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

extern char** environ;

namespace ctl_test {

Result Run(const std::string& program, const std::vector<std::string>& args,
           const std::string& locale, Stderr stderrKind) {
  testing_support::TempDir io;
  const std::string outFile = (io.path() / "out").string();
  const std::string errFile = (io.path() / "err").string();
  int master = -1, slave = -1;
  if (stderrKind == Stderr::Terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
    return {};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  if (slave >= 0) {
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    posix_spawn_file_actions_addclose(&actions, master);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }

  // Under LeakSanitizer, what fontconfig keeps after loading a font for the process is not the
  // program's leak; anything else still fails the run.
  const std::string suppressions = (io.path() / "lsan.supp").string();
  testing_support::WriteFile(suppressions, "leak:libfontconfig.so\n");
  std::string lsan = "LSAN_OPTIONS=print_suppressions=0:suppressions=" + suppressions;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    if (entry.rfind("LC_ALL=", 0) == 0 || entry.rfind("LANG=", 0) == 0) continue;
    if (entry.rfind("LSAN_OPTIONS=", 0) == 0) {
      lsan += ":" + entry.substr(13);
      continue;
    }
    env.push_back(entry);
  }
  env.push_back("LC_ALL=" + locale);
  env.push_back(lsan);
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  Result result;
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (slave >= 0) close(slave);
  if (spawned != 0) {
    if (master >= 0) close(master);
    return result;
  }
  if (master >= 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(master, buffer, sizeof buffer)) > 0) result.err.append(buffer, n);
    close(master);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = testing_support::ReadFile(outFile);
  if (master < 0) result.err = testing_support::ReadFile(errFile);
  return result;
}

Started::Started(const std::string& program, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  process_ = pid;
}

void Started::Kill() {
  if (process_ <= 0) return;
  kill(static_cast<pid_t>(process_), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(process_), &status, 0);
  process_ = -1;
}

void ExpectStoreIntact(const std::filesystem::path& prefix) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((prefix / "registry.db").c_str(), &db, SQLITE_OPEN_READONLY,
                            nullptr),
            SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

}  // namespace ctl_test
