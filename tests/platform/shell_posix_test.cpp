// Shell requests started for real on the host (scripts in a temporary prefix, stand-in runners, a
// recording opener), and the default message box on standard error.
#include "platform/shell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/prefix.h"
#include "platform/stand_in_runner.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace platform;
using namespace std::chrono_literals;

// Polls until condition holds; false after a generous limit (the started programs run on
// their own, so their effects can only be waited for).
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

// The process state letter from /proc (R, S, Z ...); nullopt when the process is gone.
std::optional<char> ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return std::nullopt;
  return line[close + 2];
}

std::vector<std::string> Lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteScript(const fs::path& path, const std::string& body, bool executable = true) {
  testing_support::WriteShellScript(path, body, executable);
}

bool Open(const char* file, const char* parameters, std::intptr_t* process = nullptr,
          DWORD mask = SEE_MASK_NOCLOSEPROCESS, const char* verb = "open") {
  SHELLEXECUTEINFOA info;
  info.cbSize = 60;
  info.fMask = mask;
  info.lpVerb = verb;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.nShow = SW_SHOWDEFAULT;
  bool ok = ShellExecuteExA(&info);
  if (process) *process = info.hProcess;
  return ok;
}

class Shell : public testing::Test {
 protected:
  void SetUp() override {
    driveC_ = prefix_.path() / "drive_c";
    oldDirectory_ = fs::current_path();
    fs::current_path(work_.path());  // the started programs inherit this folder
  }
  void TearDown() override { fs::current_path(oldDirectory_); }

  testing_support::TempPrefix prefix_;
  testing_support::TempDir work_;
  fs::path driveC_;
  fs::path oldDirectory_;
};

TEST_F(Shell, StartedProgramRunsOnAndIsReaped) {
  fs::path gate = work_.path() / "gate";
  fs::path done = work_.path() / "done";
  WriteScript(driveC_ / "Tools" / "Setup.exe",
              "while [ ! -e '" + gate.string() + "' ]; do sleep 0.02; done\ntouch '" + done.string() + "'\n");
  std::intptr_t process = 0;
  ASSERT_TRUE(Open("C:\\Tools\\Setup.exe", "", &process));
  ASSERT_GT(process, 0);
  const pid_t pid = static_cast<pid_t>(process);

  // The call returned while the program still waits for its gate.
  EXPECT_FALSE(fs::exists(done));
  std::optional<char> state = ProcessState(pid);
  ASSERT_TRUE(state.has_value());
  EXPECT_NE(*state, 'Z');

  testing_support::WriteFile(gate, "");
  EXPECT_TRUE(Eventually([&] { return fs::exists(done); }));
  EXPECT_TRUE(Eventually([&] { return !ProcessState(pid).has_value(); })) << "left as a zombie";
}

TEST_F(Shell, ParametersArriveAsOneArgumentInTheCurrentFolder) {
  fs::path record = work_.path() / "record";
  const std::string body = "{ pwd; echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } > '" +
                           record.string() + ".tmp' && mv '" + record.string() + ".tmp' '" +
                           record.string() + "'\n";
  WriteScript(driveC_ / "Tools" / "args.sh", body);
  WriteScript(driveC_ / "Tools" / "plain.sh", body, false);  // no execute bit: run by its #! line

  struct Case {
    const char* file;
    const char* parameters;
    std::vector<std::string> expected;  // after the folder line
  };
  const Case cases[] = {
      {"C:\\Tools\\args.sh", "", {"0"}},
      {"C:\\Tools\\args.sh", "/S /v\"quiet mode\"", {"1", "[/S /v\"quiet mode\"]"}},
      {"c:\\tools\\ARGS.SH", "one", {"1", "[one]"}},
      {"C:\\Tools\\plain.sh", "two words", {"1", "[two words]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.parameters);
    fs::remove(record);
    ASSERT_TRUE(Open(c.file, c.parameters));
    ASSERT_TRUE(Eventually([&] { return fs::exists(record); }));
    std::vector<std::string> expected{fs::canonical(work_.path()).string()};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(Lines(record), expected);
  }
}

TEST_F(Shell, FoldersAndDocumentsWithoutAnOpenerAreRefused) {
  testing_support::WriteFile(driveC_ / "Tools" / "data.bin", "no program");
  fs::create_directories(driveC_ / "Tools" / "Folder");
  ASSERT_TRUE(SetShellOpenerSetting((work_.path() / "no-such-opener").string()));
  struct Case {
    const char* file;
    const char* parameters;
    const char* verb;
  };
  const Case cases[] = {
      {"C:\\Tools\\Folder", "", "open"},               // a folder is no program
      {"C:\\Tools\\data.bin", "", "open"},             // a document, and no opener to take it
      {"Explorer.exe", "C:\\Tools\\", "open"},         // the same for a folder
      {"Explorer.exe", "C:\\Missing\\", "open"},
      {"Explorer.exe", "", "open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.parameters + " " + c.verb);
    std::intptr_t process = -1;
    EXPECT_FALSE(Open(c.file, c.parameters, &process, SEE_MASK_NOCLOSEPROCESS, c.verb));
    EXPECT_EQ(process, 0);
  }
}

TEST_F(Shell, FoldersAndDocumentsGoToTheOpener) {
  fs::path record = work_.path() / "opened";
  fs::path opener = work_.path() / "opener.sh";
  WriteScript(opener, "echo \"$#:$1\" >> '" + record.string() + "'\n");
  ASSERT_TRUE(SetShellOpenerSetting(opener.string()));
  fs::create_directories(driveC_ / "Gift" / "Gift_JPG");
  testing_support::WriteFile(driveC_ / "Gift" / "readme.txt", "words");

  std::intptr_t process = 0;
  ASSERT_TRUE(Open("Explorer.exe", "C:\\Gift\\Gift_JPG\\", &process));
  EXPECT_GT(process, 0);
  ASSERT_TRUE(Eventually([&] { return Lines(record).size() == 1; }));
  ASSERT_TRUE(Open("EXPLORER.EXE", "c:\\gift\\gift_jpg", nullptr, 0, nullptr));
  ASSERT_TRUE(Eventually([&] { return Lines(record).size() == 2; }));
  ASSERT_TRUE(Open("C:\\Gift\\readme.txt", "ignored"));
  ASSERT_TRUE(Eventually([&] { return Lines(record).size() == 3; }));

  std::vector<std::string> lines = Lines(record);
  const std::string folder = (driveC_ / "Gift" / "Gift_JPG").string();
  EXPECT_THAT(lines[0], testing::MatchesRegex("1:" + folder + "/?"));
  EXPECT_THAT(lines[1], testing::MatchesRegex("1:" + folder + "/?"));
  EXPECT_EQ(lines[2], "1:" + (driveC_ / "Gift" / "readme.txt").string());
}

TEST_F(Shell, ProcessIsReportedOnlyWhenAskedFor) {
  WriteScript(driveC_ / "quick.sh", "exit 0\n");
  std::intptr_t process = -1;
  ASSERT_TRUE(Open("C:\\quick.sh", "", &process, 0));
  EXPECT_EQ(process, 0);
}

using testing_support::ScopedPath;

// A stand-in runner: records its name, folder, WINEPREFIX and arguments, one per line. It uses
// shell built-ins only, since PATH holds nothing else.
void WriteRunner(const fs::path& path, const fs::path& record) {
  WriteScript(path, "{ echo \"${0##*/}\"; pwd; echo \"prefix=$WINEPREFIX\"; for a in \"$@\"; do echo \"[$a]\"; "
                    "done; } > '" + record.string() + ".tmp'; /bin/mv '" + record.string() + ".tmp' '" +
                    record.string() + "'\n");
}

TEST_F(Shell, WindowsProgramsStartThroughTheRunnerInTheirOwnFolder) {
  const fs::path bin = work_.path() / "bin";
  const fs::path record = work_.path() / "record";
  ScopedPath path(bin);
  const std::string tools = (driveC_ / "Tools").string();
  testing_support::WriteFile(driveC_ / "Tools" / "Setup.exe", "not even a header");
  testing_support::WriteFile(driveC_ / "Tools" / "tool.dat", "MZ\x90" + std::string(1000, '\0'));
  testing_support::WriteFile(driveC_ / "Tools" / "INSTALL.BAT", "@echo off\r\n");
  const fs::path winePrefix = work_.path() / "wineprefix";
  // The user's own Wine prefix reaches the runner unless the setting names another.
  const char* oldWinePrefix = std::getenv("WINEPREFIX");
  const std::string saved = oldWinePrefix ? oldWinePrefix : "";
  setenv("WINEPREFIX", "/home/user/.wine-own", 1);

  struct Case {
    const char* runners;  // stand-ins on PATH, blank-separated
    const char* setting;  // the prefix's runner setting ("" for none)
    const char* file;
    const char* parameters;
    std::vector<std::string> expected;  // runner, folder, prefix line, arguments
  };
  const std::string other = (work_.path() / "other-runner").string();
  const Case cases[] = {
      {"wine wine64", "", "C:\\Tools\\Setup.exe", "", {"wine", tools, "prefix=/home/user/.wine-own", "[" + tools + "/Setup.exe]"}},
      {"wine64", "", "C:\\Tools\\tool.dat", "/S /D=\"C:\\Program Files\"",
       {"wine64", tools, "prefix=/home/user/.wine-own", "[" + tools + "/tool.dat]", "[/S]", "[/D=C:\\Program Files]"}},
      {"wine", "", "c:\\tools\\install.bat", "", {"wine", tools, "prefix=/home/user/.wine-own", "[" + tools + "/INSTALL.BAT]"}},
      {"wine", "other-runner", "C:\\Tools\\Setup.exe", "",
       {"other-runner", tools, "prefix=" + winePrefix.string(), "[" + tools + "/Setup.exe]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.runners) + " " + c.file);
    fs::remove_all(bin);
    fs::remove(record);
    std::istringstream runners(c.runners);
    for (std::string runner; runners >> runner;) WriteRunner(bin / runner, record);
    WriteRunner(other, record);
    ASSERT_TRUE(SetWindowsRunnerSetting(*c.setting ? other : "", *c.setting ? winePrefix.string() : ""));
    ASSERT_TRUE(Open(c.file, c.parameters));
    ASSERT_TRUE(Eventually([&] { return fs::exists(record); }));
    EXPECT_EQ(Lines(record), c.expected);
  }
  oldWinePrefix ? setenv("WINEPREFIX", saved.c_str(), 1) : unsetenv("WINEPREFIX");
}

TEST_F(Shell, WindowsProgramWithoutARunnerIsRefused) {
  ScopedPath path(work_.path() / "empty-bin");
  testing_support::WriteFile(driveC_ / "Setup.exe", "MZ");
  for (const std::string& setting : {std::string(), (work_.path() / "missing-runner").string()}) {
    SCOPED_TRACE(setting);
    ASSERT_TRUE(SetWindowsRunnerSetting(setting));
    EXPECT_FALSE(Open("C:\\Setup.exe", ""));
    EXPECT_EQ(GetLastError(), ERROR_NO_WINDOWS_RUNNER);
  }
}

TEST_F(Shell, TheOpenersAnswerCounts) {
  testing_support::WriteFile(driveC_ / "readme.txt", "words");
  const fs::path opener = work_.path() / "opener.sh";
  struct Case {
    const char* body;
    bool accepted;
  } cases[] = {
      {"exit 0\n", true},
      {"echo 'xdg-open: no method available for opening' >&2; exit 3\n", false},
      {"kill -TERM $$\n", false},
      {"sleep 5\n", true},  // still running when the answer is due: a handler has the file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    WriteScript(opener, c.body);
    ASSERT_TRUE(SetShellOpenerSetting(opener.string()));
    EXPECT_EQ(Open("C:\\readme.txt", ""), c.accepted);
    EXPECT_EQ(Open("Explorer.exe", "C:\\"), c.accepted);
  }
}

TEST_F(Shell, StartedProgramsHaveASessionOfTheirOwn) {
  const fs::path record = work_.path() / "session";
  WriteScript(driveC_ / "session.sh", "cut -d' ' -f6 /proc/$$/stat > '" + record.string() + ".tmp'; mv '" +
                                          record.string() + ".tmp' '" + record.string() + "'\n");
  std::intptr_t process = 0;
  ASSERT_TRUE(Open("C:\\session.sh", "", &process));
  ASSERT_TRUE(Eventually([&] { return fs::exists(record); }));
  EXPECT_EQ(std::stol(testing_support::ReadFile(record)), process);
  EXPECT_NE(getsid(0), process);
}

// How many bytes this process has read so far (/proc/self/io).
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    long long value = 0;
    io >> value;
    if (key == "rchar:") return value;
  }
  return -1;
}

TEST_F(Shell, AFileIsSniffedFromItsHeadOnly) {
  const fs::path big = driveC_ / "big.dat";
  testing_support::WriteFile(big, "#");
  fs::resize_file(big, 64 << 20);  // one line of 64 MB, not executable
  ASSERT_TRUE(SetShellOpenerSetting("/bin/true"));
  const long long before = BytesRead();
  ASSERT_GE(before, 0);
  EXPECT_TRUE(Open("C:\\big.dat", ""));
  EXPECT_LT(BytesRead() - before, 1 << 20);
}

TEST_F(Shell, ProgramsOnANoexecMountAreRefused) {
  const fs::path mountPoint = work_.path() / "noexec";
  fs::create_directories(mountPoint);
  if (mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOEXEC, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a noexec tmpfs here (needs root)";
  const fs::path ran = work_.path() / "ran";
  testing_support::ScopedDrive drive('N', DRIVE_FIXED, mountPoint);
  ASSERT_TRUE(drive.ok());
  for (bool executable : {true, false}) {
    WriteScript(mountPoint / "setup.sh", "touch '" + ran.string() + "'\n", executable);
    EXPECT_FALSE(Open("N:\\setup.sh", "")) << executable;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(ran));
  umount2(mountPoint.c_str(), MNT_DETACH);
}

// On Windows the default is the system's own modal box.
TEST(MessageBoxes, DefaultHandlerWritesToStandardError) {
  testing_support::TempPrefix prefix;  // the texts are converted from the prefix's code page
  SetMessageBoxHandler({});
  testing::internal::CaptureStderr();
  int result = MessageBoxA(0, "CD-ROM No Found!", "Setup", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Setup: CD-ROM No Found!\n");
  EXPECT_EQ(result, IDOK);
}

}  // namespace
