// The system language that the prefix sets, and the version record.
#include <gtest/gtest.h>

#include "platform/language.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace {

TEST(Language, PrefixSettingWinsOverTheSystemsOwnAndOutlivesAReopen) {
  testing_support::TempPrefix prefix(3076);
  EXPECT_EQ(platform::GetSystemDefaultLangID(), 3076);
  platform::ReopenPrefix();  // the same prefix, read again from its settings file
  EXPECT_EQ(platform::GetSystemDefaultLangID(), 3076);
  ASSERT_TRUE(platform::SetSystemLanguageSetting(2052));
  EXPECT_EQ(platform::GetSystemDefaultLangID(), 2052);
}

TEST(Version, ReportsTheConfiguredNtVersion) {
  testing_support::TempPrefix prefix;
  platform::OSVERSIONINFOA info;
  ASSERT_TRUE(platform::GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, platform::VER_PLATFORM_WIN32_NT);

  ASSERT_TRUE(platform::SetVersionSetting(6, 0));
  platform::OSVERSIONINFOA vista;
  ASSERT_TRUE(platform::GetVersionExA(&vista));
  EXPECT_EQ(vista.dwMajorVersion, 6u);
  EXPECT_EQ(vista.dwMinorVersion, 0u);
  EXPECT_EQ(vista.dwPlatformId, platform::VER_PLATFORM_WIN32_NT);
}

TEST(Version, FailsAndLeavesTheRecordAlone) {
  testing_support::TempPrefix prefix;
  static_assert(sizeof(platform::OSVERSIONINFOA) == 148);

  platform::OSVERSIONINFOA wrongSize;
  wrongSize.dwOSVersionInfoSize = 156;
  EXPECT_FALSE(platform::GetVersionExA(&wrongSize));
  EXPECT_EQ(wrongSize.dwMajorVersion, 0u);
  EXPECT_FALSE(platform::GetVersionExA(nullptr));

  ASSERT_TRUE(platform::SetVersionSetting(6, 0, true));
  platform::OSVERSIONINFOA failing;
  EXPECT_FALSE(platform::GetVersionExA(&failing));
  EXPECT_EQ(failing.dwPlatformId, 0u);
}

}  // namespace
