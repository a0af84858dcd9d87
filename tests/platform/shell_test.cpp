// Shell requests started for real (scripts in a temporary prefix, a recording opener), message
// boxes through the handler and the replaceable process exit.
#include "platform/shell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/prefix.h"
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
  testing_support::WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
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

TEST_F(Shell, RequestsThatCannotStartAreRefused) {
  testing_support::WriteFile(driveC_ / "Tools" / "data.bin", "no program");
  fs::create_directories(driveC_ / "Tools" / "Folder");
  ASSERT_TRUE(SetShellOpenerSetting((work_.path() / "no-such-opener").string()));
  struct Case {
    const char* file;
    const char* parameters;
    const char* verb;
  };
  const Case cases[] = {
      {"C:\\Tools\\Missing.exe", "", "open"},
      {"Q:\\Setup.exe", "", "open"},                   // a drive that does not exist
      {"C:\\Tools\\Folder", "", "open"},               // a folder is no program
      {"", "", "open"},
      {"C:\\Tools\\data.bin", "", "open"},             // a document, and no opener to take it
      {"Explorer.exe", "C:\\Tools\\", "open"},         // the same for a folder
      {"Explorer.exe", "C:\\Missing\\", "open"},
      {"Explorer.exe", "", "open"},
      {"C:\\Tools\\data.bin", "", "print"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.parameters + " " + c.verb);
    std::intptr_t process = -1;
    EXPECT_FALSE(Open(c.file, c.parameters, &process, SEE_MASK_NOCLOSEPROCESS, c.verb));
    EXPECT_EQ(process, 0);
  }
  EXPECT_FALSE(Open(nullptr, nullptr));
  EXPECT_FALSE(ShellExecuteExA(nullptr));
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

// ---------------------------------------------------------------------------------------------

struct Box {
  std::string text;
  std::string caption;
  DWORD type;
};

TEST(MessageBoxes, GoThroughTheHandlerWithTheApplicationTitle) {
  std::vector<Box> boxes;
  MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& text, const std::string& caption, DWORD type) {
    boxes.push_back({text, caption, type});
    return 7;
  });
  SetApplicationTitle("ZelvaFont Orchid Edition");
  EXPECT_EQ(ApplicationTitle(), "ZelvaFont Orchid Edition");
  ShowPlainMessage("D:\\UserManual.exeexecute fault!");
  ShowErrorMessage("Failed to set data for 'A (TrueType)'");
  EXPECT_EQ(MessageBoxA(0, "Only for Traditional Chinese Windows", "Message", MB_ICONWARNING), 7);
  EXPECT_EQ(MessageBoxA(0, nullptr, nullptr, MB_OK), 7);
  SetMessageBoxHandler(previous);

  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "D:\\UserManual.exeexecute fault!");
  EXPECT_EQ(boxes[0].caption, "ZelvaFont Orchid Edition");
  EXPECT_EQ(boxes[0].type, MB_OK);
  EXPECT_EQ(boxes[1].caption, "ZelvaFont Orchid Edition");
  EXPECT_EQ(boxes[1].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(boxes[2].caption, "Message");
  EXPECT_EQ(boxes[2].type, MB_ICONWARNING);
  EXPECT_EQ(boxes[3].text, "");
}

TEST(MessageBoxes, DefaultHandlerWritesToStandardError) {
  testing_support::TempPrefix prefix;  // the texts are converted from the prefix's code page
  SetMessageBoxHandler({});
  testing::internal::CaptureStderr();
  int result = MessageBoxA(0, "CD-ROM No Found!", "Setup", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Setup: CD-ROM No Found!\n");
  EXPECT_EQ(result, IDOK);
}

TEST(ExitProcess, GoesThroughTheInstalledHandler) {
  struct Exited {
    int code;
  };
  ExitHandler previous = SetExitHandler([](int code) { throw Exited{code}; });
  try {
    ExitProcess(3);
    ADD_FAILURE() << "ExitProcess returned";
  } catch (const Exited& e) {
    EXPECT_EQ(e.code, 3);
  }
  SetExitHandler(previous);
}

TEST(ExitProcessDeathTest, DefaultEndsTheProcessWithTheCode) {
  EXPECT_EXIT(ExitProcess(0), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExitProcess(5), testing::ExitedWithCode(5), "");
}

}  // namespace
