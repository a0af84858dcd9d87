// The system language from the locale when the prefix sets none (the POSIX backend's own
// source of the system language).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/language.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace {

TEST(Language, LocaleGivesTheLanguageWhenThePrefixSetsNone) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    unsigned short expected;
  } cases[] = {
      {nullptr, nullptr, "zh_TW.UTF-8", 1028},
      {nullptr, nullptr, "zh_TW.Big5", 1028},
      {nullptr, nullptr, "zh_HK.UTF-8", 3076},
      {nullptr, nullptr, "zh_CN.UTF-8", 2052},
      {nullptr, nullptr, "zh_SG.GBK", 2052},
      {nullptr, nullptr, "ja_JP.UTF-8", 1041},
      {nullptr, nullptr, "ko_KR.EUC-KR", 1042},
      {nullptr, nullptr, "en_US.UTF-8", 1033},
      {nullptr, nullptr, "en_GB.UTF-8", 2057},
      {nullptr, nullptr, "de_DE.UTF-8@euro", 1031},
      {nullptr, nullptr, "C", 1033},
      {nullptr, nullptr, "POSIX", 1033},
      {nullptr, nullptr, "xx_YY", 1033},
      {nullptr, nullptr, nullptr, 1033},
      {"zh_TW.UTF-8", "en_US.UTF-8", "ja_JP.UTF-8", 1028},  // LC_ALL first
      {"", "zh_HK.UTF-8", "ja_JP.UTF-8", 3076},             // an empty one does not count
      {nullptr, nullptr, "zh_TW", 1028},
  };
  testing_support::TempPrefix prefix;
  for (const auto& c : cases) {
    auto text = [](const char* value) {
      return value ? std::optional<std::string>(value) : std::nullopt;
    };
    testing_support::ScopedEnvironment locale(
        {{"LC_ALL", text(c.lcAll)}, {"LC_MESSAGES", text(c.lcMessages)}, {"LANG", text(c.lang)}});
    ASSERT_TRUE(platform::SetSystemLanguageSetting(0));  // back to the locale
    EXPECT_EQ(platform::GetSystemDefaultLangID(), c.expected)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

// Windows reports its own version; the POSIX backend one that the prefix can change.
TEST(Version, IsWindows10UnlessThePrefixSaysOtherwise) {
  testing_support::TempPrefix prefix;
  platform::OSVERSIONINFOA info;
  ASSERT_TRUE(platform::GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
}

}  // namespace
