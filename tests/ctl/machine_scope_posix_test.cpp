// zelvafont-ctl's machine scope: refused without root, and with it the fonts land in the
// machine's Fonts folder, whose cache in the system cache folder every user's fontconfig reads.
// The machine's folders lie below a temporary root ($ZELVAFONT_MACHINE_ROOT).
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr uid_t kNobody = 65534;


// Runs a program (found on PATH) as the user nobody, with the test's environment and no home.
ctl_test::Result RunAsNobody(std::vector<std::string> args) {
  TempDir io;
  const fs::path out = io.path() / "out", err = io.path() / "err";
  int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    setenv("HOME", "/nonexistent", 1);
    unsetenv("XDG_CACHE_HOME");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(outFd);
  close(errFd);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

class MachineScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl_ = ctl_test::CtlProgram();
    if (ctl_.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
    // Other users must reach the machine's folders and the configuration.
    fs::permissions(root_.path(), fs::perms(0755));
    const fs::path info = disc_.path() / "TTF" / "tmp" / "Info";
    WriteFile(info / "LangMap", "[Lang]\r\n1028=cht\r\n");
    WriteFile(info / "Style", "[StyleList]\r\nSans=Sans\r\n[Sans]\r\nA=Font A\r\n");
    WriteFile(info / "Font", "[A]\r\nSource=fonts\\a.ttf\r\nRegNameCount=1\r\nRegName1=Font A\r\n");
    fs::create_directories(disc_.path() / "TTF" / "fonts");
    fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                  disc_.path() / "TTF" / "fonts" / "a.ttf");
    // As Debian's fonts.conf: the machine's folder, the system cache first, then the user's.
    WriteFile(conf_, "<?xml version=\"1.0\"?>\n<fontconfig>\n  <dir>" +
                         (root_.path() / "usr/local/share/fonts").string() + "</dir>\n  <cachedir>" +
                         systemCache_.string() + "</cachedir>\n  <cachedir>" +
                         userCache_.string() + "</cachedir>\n</fontconfig>\n");
    fs::permissions(conf_, fs::perms(0644));
  }

  // The environment of a root run on the temporary machine.
  testing_support::ScopedEnvironment MachineEnv(
      std::optional<std::string> scope = std::nullopt) const {
    return testing_support::ScopedEnvironment({{"ZELVAFONT_MACHINE_ROOT", root_.str()},
                                               {"FONTCONFIG_FILE", conf_.string()},
                                               {"HOME", (root_.path() / "root-home").string()},
                                               {"XDG_CACHE_HOME", std::nullopt},
                                               {"ZELVAFONT_PREFIX", std::nullopt},
                                               {"ZELVAFONT_SCOPE", scope}});
  }

  // What fontconfig shows another user under the test's configuration.
  std::string ListedToOthers() const {
    testing_support::ScopedEnvironment env({{"FONTCONFIG_FILE", conf_.string()}});
    return RunAsNobody({"fc-list", "--format", "%{file}\n"}).out;
  }

  // Whether a cache file in the folder names the font file.
  static bool CacheNames(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (ReadFile(entry.path()).find(name) != std::string::npos) return true;
    return false;
  }

  fs::path Fonts() const { return root_.path() / "usr/local/share/fonts/zelvafont"; }

  std::string ctl_;
  TempDir root_, disc_;
  const fs::path conf_ = root_.path() / "fonts.conf";
  const fs::path systemCache_ = root_.path() / "var/cache/fontconfig";
  const fs::path userCache_ = root_.path() / "root-home/.cache/fontconfig";
};

// Without root the machine scope is refused before anything is made; a muddled choice of
// prefix is a usage error whoever asks.
TEST_F(MachineScopeTest, RefusalsAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> scope;  // ZELVAFONT_SCOPE
    bool asNobody;
    int exitCode;
    std::string message;
  } cases[] = {
      {{"--system", "sets"}, std::nullopt, true, 7, "needs root"},
      {{"sets"}, "system", true, 7, "needs root"},
      {{"--system", "--prefix", "/tmp/elsewhere", "sets"}, std::nullopt, false, 2, "--prefix"},
      {{"sets"}, "everyone", false, 2, "user or system"},
      {{"--version"}, "system", true, 0, ""},
  };
  const bool root = geteuid() == 0;
  if (root && access(ctl_.c_str(), X_OK) == 0 &&
      RunAsNobody({ctl_, "--version"}).exitCode != 0)
    GTEST_SKIP() << "the user nobody cannot run " << ctl_;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.scope.value_or("-"));
    testing_support::ScopedEnvironment env = MachineEnv(c.scope);
    std::vector<std::string> argv = {ctl_};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ctl_test::Result r = root && c.asNobody ? RunAsNobody(argv) : ctl_test::Run(ctl_, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(root_.path() / "var/lib/zelvafont"));
  }
}

// Both ways of asking for the machine scope install into the machine's Fonts folder; another
// user's fontconfig then lists the font from the system cache, and no longer after the removal.
TEST_F(MachineScopeTest, FontsReachEveryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "the machine scope needs root";
  if (RunAsNobody({"fc-list", "--version"}).exitCode != 0) GTEST_SKIP() << "no fc-list for nobody";
  struct Case {
    std::vector<std::string> scopeArgs;
    std::optional<std::string> scope;
  } cases[] = {{{"--system"}, std::nullopt}, {{}, "system"}};
  const std::string font = (Fonts() / "a.ttf").string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scope.value_or("--system"));
    testing_support::ScopedEnvironment env = MachineEnv(c.scope);
    auto ctl = [&](std::vector<std::string> args) {
      args.insert(args.begin(), c.scopeArgs.begin(), c.scopeArgs.end());
      args.insert(args.begin(), {"--disc", disc_.str()});
      return ctl_test::Run(ctl_, args);
    };
    ctl_test::Result r = ctl({"install", "TTF", "--style", "Sans", "--all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::read_symlink(root_.path() / "var/lib/zelvafont/drive_c/windows/Fonts"), Fonts());
    EXPECT_EQ(fs::status(font).permissions() & fs::perms::others_read, fs::perms::others_read);
    EXPECT_NE(ListedToOthers().find(font), std::string::npos);
    EXPECT_TRUE(CacheNames(systemCache_, "a.ttf"));
    EXPECT_FALSE(CacheNames(userCache_, "a.ttf"));

    r = ctl({"remove", "TTF", "--style", "Sans", "--all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ListedToOthers().find(font), std::string::npos);
    EXPECT_FALSE(CacheNames(systemCache_, "a.ttf"));
  }
}

}  // namespace
