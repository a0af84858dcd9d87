// The demo disc builder: the disc it makes has every path the launcher opens, catalogues that
// the engine loads in Chinese and English, fonts that do not pass for one another, pictures,
// runnable stand-ins, and a prefix in which it is drive D:.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "disc/disc.h"
#include "engine/engine.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/prefix.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using testing_support::TempDir;
using testing_support::TempPrefix;

const char* const kSets[] = {"TTC\\", "TTF\\", "Gift\\Gift_FontU\\", "Gift\\Gift_Font\\"};

// Width and height from a JPEG's frame header; {0, 0} when there is none.
std::pair<int, int> JpegSize(const std::string& bytes) {
  if (bytes.size() < 4 || bytes.compare(0, 2, "\xFF\xD8") != 0) return {0, 0};
  size_t i = 2;
  while (i + 9 < bytes.size() && static_cast<unsigned char>(bytes[i]) == 0xFF) {
    unsigned char marker = bytes[i + 1];
    size_t length =
        (static_cast<unsigned char>(bytes[i + 2]) << 8) | static_cast<unsigned char>(bytes[i + 3]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      int height = (static_cast<unsigned char>(bytes[i + 5]) << 8) |
                   static_cast<unsigned char>(bytes[i + 6]);
      int width = (static_cast<unsigned char>(bytes[i + 7]) << 8) |
                  static_cast<unsigned char>(bytes[i + 8]);
      return {width, height};
    }
    i += 2 + length;
  }
  return {0, 0};
}

bool HasChinese(const std::string& ansi) {
  std::string utf8 = platform::AnsiToUtf8(ansi);
  // Every CJK ideograph takes three bytes in UTF-8 with a lead byte from E4 to E9.
  for (unsigned char c : utf8)
    if (c >= 0xE4 && c <= 0xE9) return true;
  return false;
}

class DemodiscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = ctl_test::DemodiscProgram();
    if (program_.empty()) GTEST_SKIP() << "zelvafont-demodisc is not built (no GUI build)";
  }

  // Builds the disc into disc_; with a prefix folder, the sandbox prefix too.
  void Build(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--out", disc().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    ctl_test::Result r = ctl_test::Run(program_, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_NE(r.out.find("demo disc "), std::string::npos) << r.out;
  }
  fs::path disc() const { return work_.path() / "disc"; }

  std::string program_;
  TempDir work_;
};

TEST_F(DemodiscTest, TheDiscHoldsEveryPathTheLauncherOpens) {
  Build();
  const char* folders[] = {"TTF", "TTC", "Gift/Gift_FontU", "Gift/Gift_Font", "Gift/Gift_JPG"};
  for (const char* folder : folders) EXPECT_TRUE(fs::is_directory(disc() / folder)) << folder;
  const char* programs[] = {"UserManual.exe", "Gift/ZelvaDoc/Disk1/Setup.exe",
                            "Gift/Gift_Tools/WizardA/Setup.exe",
                            "Gift/Gift_Tools/WizardB/Setup.exe",
                            "Gift/Gift_Tools/WizardC/Setup.exe", "autorun.sh"};
  for (const char* program : programs) {
    SCOPED_TRACE(program);
    fs::path path = disc() / program;
    ASSERT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(testing_support::ReadFile(path).rfind("#!/bin/sh\n", 0), 0u);
    EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none);
  }
  // Without a display a stand-in says what it stands for on stdout.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  ctl_test::Result manual = ctl_test::Run((disc() / "UserManual.exe").string(), {});
  EXPECT_EQ(manual.exitCode, 0);
  EXPECT_NE(manual.out.find("User Manual"), std::string::npos) << manual.out;

  EXPECT_NE(testing_support::ReadFile(disc() / "tmp" / "Info" / "LangMap").find("1028=cht"),
            std::string::npos);
  int gifts = 0;
  for (const auto& entry : fs::directory_iterator(disc() / "Gift" / "Gift_JPG")) {
    EXPECT_EQ(JpegSize(testing_support::ReadFile(entry.path())), std::pair(800, 600));
    ++gifts;
  }
  EXPECT_GE(gifts, 3);
}

TEST_F(DemodiscTest, EverySetLoadsInChineseAndEnglishWithPicturesAndRealFiles) {
  Build();
  TempPrefix prefix(1028);
  platform::DeclareDrive({'D', platform::DRIVE_CDROM, disc().string(), "QRTMV"},
                         platform::DeclarationScope::Process);
  int twoNames = 0, links = 0, collections = 0;
  for (const char* set : kSets) {
    SCOPED_TRACE(set);
    const std::string folder = std::string("D:\\") + set;
    const std::string info = folder + "tmp\\Info";
    EXPECT_EQ(disc::ReadLanguageSuffix(folder), "cht");
    EXPECT_EQ(platform::ReadProfileString(info + "\\message.cht", "Install Window", "Msg10", ""),
              platform::Utf8ToAnsi("安裝", 950));
    EXPECT_TRUE(HasChinese(platform::ReadProfileString(info + "\\message.cht", "Install Window",
                                                       "Msg3", "")));
    EXPECT_EQ(platform::ReadProfileString(info + "\\message", "Install Window", "Msg17", ""),
              "Remove");
    const auto mark = JpegSize(*platform::ReadWholeFile(folder + "tmp\\img\\installed.jpg"));
    EXPECT_GT(mark.first, 0);

    ASSERT_TRUE(engine::LoadCatalogue(info, folder.substr(0, folder.size() - 1), 0));
    std::vector<std::string> styles;
    ASSERT_TRUE(engine::ListStyleNames(styles));
    EXPECT_GE(styles.size(), 2u);
    for (const auto& style : styles) {
      SCOPED_TRACE(platform::AnsiToUtf8(style));
      EXPECT_TRUE(HasChinese(style));
      ASSERT_TRUE(engine::SelectStyle(style));
      std::vector<std::string> fonts;
      ASSERT_TRUE(engine::ListStyleFonts(fonts));
      EXPECT_FALSE(fonts.empty());
      for (const auto& font : fonts) {
        SCOPED_TRACE(font);
        std::string name, source, sample, size, count, linkCount;
        EXPECT_TRUE(engine::GetFontName(font, name));
        ASSERT_TRUE(engine::ReadFontValue(font, "Source", source));
        EXPECT_TRUE(platform::FileExists(folder + source));
        ASSERT_TRUE(engine::ReadFontValue(font, "Sample", sample));
        const auto picture = JpegSize(*platform::ReadWholeFile(folder + "tmp\\img\\" + sample));
        EXPECT_GT(picture.first, mark.first);  // the mark is smaller than the samples
        EXPECT_GT(picture.second, mark.second);
        engine::ReadFontValue(font, "Size", size);
        EXPECT_GT(std::strtod(size.c_str(), nullptr), 0.0);
        engine::ReadFontValue(font, "RegNameCount", count);
        EXPECT_GE(std::atoi(count.c_str()), 1);
        twoNames += std::atoi(count.c_str()) >= 2;
        collections += source.ends_with(".ttc");
        engine::ReadFontValue(font, "LinkCount", linkCount);
        for (int i = 1; i <= std::atoi(linkCount.c_str()); ++i) {
          std::string link, linkSource;
          ASSERT_TRUE(engine::ReadFontValue(font, "Link" + std::to_string(i), link));
          EXPECT_TRUE(engine::ReadFontValue(link, "Source", linkSource)) << link;
          ++links;
        }
      }
    }
  }
  EXPECT_GE(twoNames, 1);
  EXPECT_GE(links, 1);
  if (fs::exists("/usr/share/fonts/truetype/arphic/uming.ttc")) {
    EXPECT_GE(collections, 1);
  }

  // In English the English Style file gives the names, not the plain file's short ones.
  platform::SetSystemLanguageSetting(1033);
  ASSERT_TRUE(engine::LoadCatalogue("D:\\TTF\\tmp\\Info", "D:\\TTF", 0));
  std::vector<std::string> english, keys;
  ASSERT_TRUE(engine::ListStyleNames(english));
  ASSERT_TRUE(engine::ListStyleKeys(keys));
  for (const auto& style : english) EXPECT_FALSE(HasChinese(style)) << style;
  EXPECT_NE(english, keys);
}

TEST_F(DemodiscTest, NoFontOfASetPassesForAnotherWhenInstalled) {
  Build();
  TempPrefix prefix(1028);
  platform::DeclareDrive({'D', platform::DRIVE_CDROM, disc().string(), "QRTMV"},
                         platform::DeclarationScope::Process);
  for (const char* set : kSets) {
    SCOPED_TRACE(set);
    const std::string folder = std::string("D:\\") + set;
    ASSERT_TRUE(
        engine::LoadCatalogue(folder + "tmp\\Info", folder.substr(0, folder.size() - 1), 0));
    std::vector<std::string> styles;
    engine::ListStyleNames(styles);
    std::set<std::string> fonts;
    for (const auto& style : styles) {
      engine::SelectStyle(style);
      std::vector<std::string> keys;
      engine::ListStyleFonts(keys);
      fonts.insert(keys.begin(), keys.end());
    }
    for (const auto& font : fonts) {
      SCOPED_TRACE(font);
      engine::InstallFont(font);
      EXPECT_TRUE(engine::QueryFontState(font) & engine::FontInstalled);
      for (const auto& other : fonts) {
        if (other == font) continue;
        EXPECT_FALSE(engine::QueryFontState(other) & (engine::FontInstalled | engine::FontMismatch))
            << other;
      }
      engine::RemoveFont(font);
      EXPECT_EQ(engine::QueryFontState(font) & engine::FontInstalled, 0u);
    }
  }
}

TEST_F(DemodiscTest, ThePrefixHasTheDiscInDriveDAndSpeaksChinese) {
  const fs::path prefixDir = work_.path() / "prefix";
  Build({"--prefix", prefixDir.string()});
  setenv("ZELVAFONT_PREFIX", prefixDir.c_str(), 1);
  platform::ReopenPrefix();
  EXPECT_EQ(disc::FindProductDisc(), "D:\\");
  EXPECT_EQ(platform::GetSystemDefaultLangID(), 1028);
  EXPECT_TRUE(platform::DirectoryExists("D:\\Gift\\Gift_JPG"));
  // autorun.sh finds this prefix again from wherever it is started.
  EXPECT_NE(testing_support::ReadFile(disc() / "autorun.sh")
                .find("ZELVAFONT_PREFIX=\"$disc\"/'../prefix'"),
            std::string::npos);

  // Built again in place (the disc is the tool's own), in English this time.
  Build({"--prefix", prefixDir.string(), "--language", "1033"});
  platform::ReopenPrefix();
  EXPECT_EQ(platform::GetSystemDefaultLangID(), 1033);
  unsetenv("ZELVAFONT_PREFIX");
}

TEST_F(DemodiscTest, AMachineWithFewFontsStillGetsFourUsableSets) {
  struct Case {
    const char* label;
    std::vector<std::string> fonts;  // host font files fontconfig is given
    int exitCode;
  };
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
  const std::vector<Case> cases = {
      {"what the install script brings",
       {"/usr/share/fonts/truetype/arphic/uming.ttc", dejavu + "DejaVuSans.ttf",
        dejavu + "DejaVuSans-Bold.ttf", dejavu + "DejaVuSerif.ttf", dejavu + "DejaVuSansMono.ttf"},
       0},
      {"one Latin font", {dejavu + "DejaVuSerif.ttf"}, 0},
      {"no font at all", {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir machine;
    for (const auto& font : c.fonts) {
      if (!fs::exists(font)) GTEST_SKIP() << font << " is not installed";
      fs::create_symlink(font, machine.path() / fs::path(font).filename());
    }
    testing_support::WriteFile(machine.path() / "fonts.conf",
                               "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + machine.str() +
                                   "</dir><cachedir>" + machine.str() +
                                   "/cache</cachedir></fontconfig>\n");
    setenv("FONTCONFIG_FILE", (machine.path() / "fonts.conf").c_str(), 1);
    fs::remove_all(disc());
    ctl_test::Result r = ctl_test::Run(program_, {"--out", disc().string()});
    unsetenv("FONTCONFIG_FILE");
    ASSERT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.exitCode != 0) {
      EXPECT_NE(r.err.find("zelvafont-demodisc: "), std::string::npos);
      continue;
    }
    TempPrefix prefix(1028);
    platform::DeclareDrive({'D', platform::DRIVE_CDROM, disc().string(), "QRTMV"},
                           platform::DeclarationScope::Process);
    for (const char* set : kSets) {
      SCOPED_TRACE(set);
      const std::string folder = std::string("D:\\") + set;
      ASSERT_TRUE(
          engine::LoadCatalogue(folder + "tmp\\Info", folder.substr(0, folder.size() - 1), 0));
      std::vector<std::string> styles, fonts;
      ASSERT_TRUE(engine::ListStyleNames(styles));
      EXPECT_GE(styles.size(), 2u);
      for (const auto& style : styles) {
        ASSERT_TRUE(engine::SelectStyle(style));
        ASSERT_TRUE(engine::ListStyleFonts(fonts));
        EXPECT_FALSE(fonts.empty());
        for (const auto& font : fonts) {
          std::string source, link;
          engine::ReadFontValue(font, "Source", source);
          EXPECT_TRUE(platform::FileExists(folder + source)) << source;
          // A link never names a font this machine could not provide.
          if (engine::ReadFontValue(font, "Link1", link)) {
            EXPECT_TRUE(engine::ReadFontValue(link, "Source", source)) << link;
          }
        }
      }
    }
  }
}

TEST_F(DemodiscTest, AFolderItDidNotMakeIsNeverWiped) {
  testing_support::WriteFile(disc() / "thesis.txt", "precious");
  ctl_test::Result r = ctl_test::Run(program_, {"--out", disc().string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("zelvafont-demodisc: "), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(disc() / "thesis.txt"), "precious");
  EXPECT_EQ(ctl_test::Run(program_, {"--out"}).exitCode, 2);
}

}  // namespace
