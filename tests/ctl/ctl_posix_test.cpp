// zelvafont-ctl where only POSIX can show it: stderr on a pseudo-terminal, and a registry store
// made immutable under the tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ctl/ctl_fixture.h"

namespace ctl_test {
namespace {

using testing_support::SetImmutable;

TEST_F(CtlTest, AProgressBarIsRedrawnInPlaceOnATerminal) {
  Result r = Ctl({"install", "TTF", "--style", "Sans", "--all"}, "C.UTF-8",
                 ctl_test::Stderr::Terminal);
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "installed 2 fonts\n");
  auto bar = [](int filled) {
    return "\r[" + std::string(filled, '#') + std::string(30 - filled, '.') + "] ";
  };
  EXPECT_NE(r.err.find(bar(0) + "0/2 installing Font A"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(bar(15) + "1/2 installing Font B"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(bar(30) + "2/2"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);  // one line, ended once
}

TEST_F(CtlTest, ARegistryThatRefusesWritesFailsTheRunWithExitCode5) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make the registry store immutable";
  ASSERT_EQ(Ctl({"registry", "set", "HKLM\\SOFTWARE\\Zelvaworks", "Zwk98", "1"}).exitCode, 0);
  std::vector<fs::path> store;
  for (const auto& entry : fs::directory_iterator(prefix_.path()))
    if (entry.path().filename().string().starts_with("registry.db")) store.push_back(entry.path());
  for (const auto& file : store)
    if (!SetImmutable(file, true)) GTEST_SKIP() << "this file system has no immutable files";

  Result install = Ctl({"install", "TTF", "--style", "Sans", "A"});
  Result set = Ctl({"registry", "set", "HKLM\\SOFTWARE\\Zelvaworks", "Zwk98", "2"});
  for (const auto& file : store) SetImmutable(file, false);

  EXPECT_EQ(install.exitCode, 5);
  EXPECT_NE(install.err.find("zelvafont-ctl: install stopped: Failed to set data for "
                             "'Font A (TrueType)'; Font A: the registry store is read-only"),
            std::string::npos)
      << install.err;
  EXPECT_EQ(set.exitCode, 5);
  ExpectOneLineMessage(set);
}

}  // namespace
}  // namespace ctl_test
