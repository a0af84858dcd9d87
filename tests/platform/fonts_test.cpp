// Font files loaded and unloaded by Windows names, and the EUDC switch of the graphics library.
#include "platform/fonts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/prefix.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace platform;
using testing_support::RunningSystem;
using testing_support::System;

class FontFiles : public testing::Test {
 protected:
  void SetUp() override {
    const std::optional<fs::path> source = testing_support::HostTrueTypeFile();
    if (!source) GTEST_SKIP() << "no DejaVu Sans on this host to copy";
    source_ = *source;
    fonts_ = prefix_.fontsDir();
    fs::create_directories(fonts_);
  }
  void TearDown() override {
    std::error_code ec;
    for (const fs::path& file : installed_) fs::remove(file, ec);
  }
  // A copy of the font in the Fonts folder under a UTF-8 name, with a family name of its own:
  // Wine keeps a face that repeats one it knows already (from the host's fonts) only once, and
  // then cannot unload the copy again.
  void Install(const std::string& name) {
    std::string bytes = testing_support::ReadFile(source_);
    for (const std::string& family : {std::string("DejaVu"), Utf16("DejaVu")}) {
      const std::string own = family.size() == 6 ? "ZelvaX" : Utf16("ZelvaX");
      for (auto at = bytes.find(family); at != bytes.npos; at = bytes.find(family, at))
        bytes.replace(at, family.size(), own);
    }
    installed_.push_back(fonts_ / fs::path(std::u8string(name.begin(), name.end())));
    testing_support::WriteFile(installed_.back(), bytes);
  }
  // ASCII as the name table's UTF-16 (big-endian) text.
  static std::string Utf16(const std::string& ascii) {
    std::string wide;
    for (char c : ascii) wide += std::string{'\0', c};
    return wide;
  }

  testing_support::TempPrefix prefix_;
  fs::path source_;
  fs::path fonts_;
  std::vector<fs::path> installed_;
};

TEST_F(FontFiles, NamesResolveLikeWindowsPathsAndLoadsAreCounted) {
  Install("Mixed.ttf");
  struct Case {
    const char* name;
    bool loads;
  };
  const Case cases[] = {
      {"Mixed.ttf", true},
      {"MIXED.TTF", true},                     // a bare name in another case
      {"C:\\windows\\Fonts\\Mixed.ttf", true},  // a full Windows path
      {"c:\\WINDOWS\\fonts\\mixed.ttf", true},
      {"missing.ttf", false},
      {"C:\\windows\\Fonts\\missing.ttf", false},
      {"Q:\\nowhere\\Mixed.ttf", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddFontResourceA(c.name) > 0, c.loads);
    if (c.loads) {
      EXPECT_TRUE(RemoveFontResourceA(c.name));
    }
    EXPECT_FALSE(RemoveFontResourceA(c.name)) << "not loaded (any more)";
  }
  // Loads are counted; the same file under both kinds of name is one loaded font. Wine unloads
  // a font loaded by its bare name by that bare name alone.
  const char* unloadName = RunningSystem() == System::Wine ? "Mixed.ttf"
                                                          : "C:\\WINDOWS\\Fonts\\Mixed.ttf";
  ASSERT_GE(AddFontResourceA("mixed.ttf"), 1);
  ASSERT_GE(AddFontResourceA("mixed.ttf"), 1);
  EXPECT_TRUE(RemoveFontResourceA(unloadName));
  EXPECT_TRUE(RemoveFontResourceA("Mixed.ttf"));
  EXPECT_FALSE(RemoveFontResourceA("Mixed.ttf"));

  EXPECT_EQ(AddFontResourceA(nullptr), 0);
  testing_support::WriteFile(fonts_ / "notafont.ttf", "plain text, no tables");
  installed_.push_back(fonts_ / "notafont.ttf");
  EXPECT_EQ(AddFontResourceA("notafont.ttf"), 0);
}

// 許 is B3 5C in Big5: its trail byte is a backslash, and the name is still a bare name.
TEST_F(FontFiles, BareBig5NameWithABackslashTrailByteIsInTheFontsFolder) {
  ASSERT_TRUE(SetSystemLanguageSetting(1028));
  if (testing_support::SystemCodePage() != 950)
    GTEST_SKIP() << "the system's code page is not Big5";
  Install("\xE8\xA8\xB1.ttf");
  EXPECT_GE(AddFontResourceA("\xB3\x5C.ttf"), 1);
  EXPECT_TRUE(RemoveFontResourceA("\xB3\x5C.ttf"));
  EXPECT_FALSE(RemoveFontResourceA("\xB3\x5C.ttf"));
}

TEST(Eudc, OnlyTheGraphicsLibraryOffersTheSwitch) {
  for (const char* name : {"GDI32.DLL", "gdi32.dll", "Gdi32.Dll", "gdi32"}) {
    SCOPED_TRACE(name);
    HMODULE gdi = LoadLibraryA(name);
    EXPECT_NE(gdi, 0u);
    EXPECT_NE(GetProcAddress(gdi, "EnableEUDC"), nullptr);
    EXPECT_EQ(GetProcAddress(gdi, "enableeudc"), nullptr) << "entry names are case-sensitive";
    EXPECT_EQ(GetProcAddress(gdi, "TextOutA"), nullptr);
    EXPECT_TRUE(FreeLibrary(gdi));
  }
  for (const char* name : {"gdi32.dll.bak", "", "C:\\gdi32.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(LoadLibraryA(name), 0u);
  }
  // Windows loads any of its libraries; the POSIX backend has the graphics library alone, since
  // nothing else of the system is ever asked for.
  HMODULE user = LoadLibraryA("USER32.DLL");
  EXPECT_EQ(user != 0, RunningSystem() != System::Posix);
  EXPECT_EQ(FreeLibrary(user), user != 0);
  EXPECT_EQ(LoadLibraryA(nullptr), 0u);
  EXPECT_FALSE(FreeLibrary(0));
  EXPECT_EQ(GetProcAddress(0, "EnableEUDC"), nullptr);
}

TEST(Eudc, SwitchRecordsItsStateAndCalls) {
  EXPECT_TRUE(IsEUDCEnabled());
  const int before = EUDCSwitchCount();
  HMODULE gdi = LoadLibraryA("GDI32.DLL");
  FARPROC enable = GetProcAddress(gdi, "EnableEUDC");
  ASSERT_NE(enable, nullptr);
  // Wine's EnableEUDC is a stub that reports failure; Windows switches.
  const bool switches = RunningSystem() != System::Wine;
  EXPECT_EQ(enable(0) != 0, switches);
  EXPECT_FALSE(IsEUDCEnabled());
  EXPECT_EQ(enable(1) != 0, switches);
  EXPECT_TRUE(IsEUDCEnabled());
  EXPECT_EQ(EUDCSwitchCount(), before + 2);
  EXPECT_TRUE(FreeLibrary(gdi));
}

}  // namespace
