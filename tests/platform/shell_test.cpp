// Shell requests that cannot start, message boxes through the handler and the replaceable
// process exit.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "support/test_support.h"

namespace {

using namespace platform;

TEST(ShellRequests, ThoseThatCannotStartAreRefused) {
  testing_support::TempPrefix prefix;
  ASSERT_TRUE(CreateDirectoryA("C:\\ZfTools") || GetLastError() == 183);
  File data;
  ASSERT_TRUE(data.Open("C:\\ZfTools\\data.bin", File::Mode::WriteTruncate));
  ASSERT_TRUE(data.Close());
  struct Case {
    const char* file;
    const char* verb;
  };
  const Case cases[] = {
      {"C:\\ZfTools\\Missing.exe", "open"},
      {"Q:\\Setup.exe", "open"},  // a drive that does not exist
      {"", "open"},
      {"C:\\ZfTools\\data.bin", "print"},
  };
  auto refused = [](const char* file, const char* verb) {
    SHELLEXECUTEINFOA info;
    info.cbSize = 60;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = "";
    info.nShow = SW_SHOWDEFAULT;
    info.hProcess = -1;
    return !ShellExecuteExA(&info) && info.hProcess == 0;
  };
  for (const Case& c : cases) EXPECT_TRUE(refused(c.file, c.verb)) << c.file << " " << c.verb;
  EXPECT_TRUE(refused(nullptr, "open"));
  EXPECT_FALSE(ShellExecuteExA(nullptr));
  EXPECT_TRUE(DeleteFileA("C:\\ZfTools\\data.bin"));
}

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
