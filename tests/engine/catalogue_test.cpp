// The font catalogue: loading, which file answers a lookup, and the INI reading rules of its
// files.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/engine_fixture.h"
#include "platform/language.h"
#include "platform/prefix.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace engine_test {
namespace {

using Strings = std::vector<std::string>;

class CatalogueTest : public EngineTest {};

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string ShellFontsFolder() {
  char value[1024] = {};
  platform::DWORD size = sizeof value;
  platform::HKEY key = 0;
  platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, kShellFolders, 0, platform::KEY_READ, &key);
  platform::RegQueryValueExA(key, "Fonts", nullptr, nullptr,
                             reinterpret_cast<platform::BYTE*>(value), &size);
  platform::RegCloseKey(key);
  return value;
}

void SetShellFontsFolder(const std::string& folder) {
  platform::HKEY key = 0;
  platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, kShellFolders, 0,
                          platform::KEY_ALL_ACCESS, &key);
  platform::RegSetValueExA(key, "Fonts", 0, platform::REG_SZ,
                           reinterpret_cast<const platform::BYTE*>(folder.c_str()),
                           static_cast<platform::DWORD>(folder.size() + 1));
  platform::RegCloseKey(key);
}

TEST_F(CatalogueTest, LoadSetsTheRecordAndFindsEveryKindOfFile) {
  WriteCatalogue("LangMap", "[Lang]\r\n1033=eng\r\n");
  WriteCatalogue("Style", "[StyleList]\r\nS1=Sung\r\n");
  WriteCatalogue("StyleB", "[StyleList]\r\n");
  WriteCatalogue("Style.eng", "[StyleList]\r\nS1=Song\r\n");
  WriteCatalogue("Font", "");
  WriteCatalogue("Font.eng", "");
  WriteCatalogue("Fonts.txt", "");  // has an extension of its own: no catalogue file

  ASSERT_TRUE(engine::LoadCatalogue(kInfoDir, kSetDir, 0xFF));
  const engine::FontEngine& e = engine::Engine();
  EXPECT_EQ(e.CatalogueDir, kInfoDir);
  EXPECT_EQ(e.SourceDir, kSetDir);
  EXPECT_EQ(e.FontsDir, "C:\\windows\\Fonts");
  EXPECT_EQ(e.FontsKey, kNtFontsKey);
  EXPECT_EQ(e.LanguageName, "eng");
  EXPECT_EQ(e.EngineFlags, 7u);  // options AND 6, plus Loaded
  EXPECT_EQ(e.StyleFiles, (Strings{"D:\\TTF\\tmp\\Info\\Style", "D:\\TTF\\tmp\\Info\\StyleB"}));
  EXPECT_EQ(e.LangStyleFiles, Strings{"D:\\TTF\\tmp\\Info\\Style.eng"});
  EXPECT_EQ(e.FontFiles, Strings{"D:\\TTF\\tmp\\Info\\Font"});
  EXPECT_EQ(e.LangFontFiles, Strings{"D:\\TTF\\tmp\\Info\\Font.eng"});
  EXPECT_EQ(e.StyleReaders.size(), 2u);
}

TEST_F(CatalogueTest, EmptyLanguageNameReadsThePlainFilesTwice) {
  WriteCatalogue("Style", "[StyleList]\r\nS1=Sung\r\n");
  ASSERT_TRUE(Load());
  const engine::FontEngine& e = engine::Engine();
  EXPECT_EQ(e.LanguageName, "");
  EXPECT_EQ(e.LangStyleFiles, e.StyleFiles);
  std::string name;
  EXPECT_TRUE(engine::GetStyleName("S1", name));
  EXPECT_EQ(name, "Sung");
}

TEST_F(CatalogueTest, FailedLoadLeavesNothingLoaded) {
  struct Case {
    const char* what;
    void (*breakIt)(EngineTest&);
    const char* info;
    const char* source;
  };
  const Case cases[] = {
      {"version query fails", [](EngineTest&) { platform::SetVersionSetting(10, 0, true); },
       kInfoDir, kSetDir},
      {"no Fonts folder in Shell Folders",
       [](EngineTest&) {
         platform::HKEY key = 0;
         platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, kShellFolders, 0,
                                 platform::KEY_ALL_ACCESS, &key);
         platform::RegDeleteValueA(key, "Fonts");
         platform::RegCloseKey(key);
       },
       kInfoDir, kSetDir},
      {"missing information folder", [](EngineTest&) {}, "D:\\TTF\\tmp\\Nope", kSetDir},
      {"missing set folder", [](EngineTest&) {}, kInfoDir, "D:\\Nope"},
  };
  // On Windows Shell Folders is the machine's own: each row puts back what it broke.
  const std::string fontsFolder = ShellFontsFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUpDisc();
    WriteCatalogue("Style", "[StyleList]\r\nS1=Sung\r\n[S1]\r\nF1=One\r\n");
    ASSERT_TRUE(Load());
    ASSERT_TRUE(engine::SelectStyle("Sung"));
    ASSERT_TRUE(engine::AddToSelection("F1"));
    engine::SetCopyHook(engine::CopyFontFileMaskGsub);
    c.breakIt(*this);
    EXPECT_FALSE(engine::LoadCatalogue(c.info, c.source, 4));
    const engine::FontEngine& e = engine::Engine();
    EXPECT_EQ(e.EngineFlags & engine::Loaded, 0u);
    EXPECT_TRUE(e.Selection.empty());
    EXPECT_EQ(e.CopyHook, nullptr);
    EXPECT_TRUE(e.CurrentStyle.empty());
    Strings keys;
    EXPECT_FALSE(engine::ListStyleKeys(keys));
    SetShellFontsFolder(fontsFolder);
    TearDown();
  }
}

// The lookups, with a localised Style file beside the plain one and the other way round for
// Font files.
TEST_F(CatalogueTest, LocalisedStyleFilesAndPlainFontFilesWin) {
  WriteCatalogue("LangMap", "[Lang]\r\n1033=cht\r\n");
  WriteCatalogue("Style",
                 "[StyleList]\r\nS1=Sung Plain\r\nS2=Kai\r\n"
                 "[S1]\r\nF1=One plain\r\nF2=Two\r\n[S2]\r\nF3=Three\r\n");
  WriteCatalogue("Style.cht",
                 "[StyleList]\r\nS1=Sung Local\r\nS9=Only local\r\n"
                 "[S1]\r\nF1=One local\r\n[S9]\r\nF9=Nine\r\n");
  WriteCatalogue("Font", "[F1]\r\nSource=one.ttf\r\nSample=\r\n");
  WriteCatalogue("Font.cht", "[F1]\r\nSource=local.ttf\r\nSample=one.jpg\r\nSize=3\r\n");
  ASSERT_TRUE(Load());

  Strings keys, names, fonts;
  ASSERT_TRUE(engine::ListStyleKeys(keys));
  EXPECT_EQ(keys, (Strings{"S1", "S2"}));  // S9 is listed by the localised file alone
  ASSERT_TRUE(engine::ListStyleNames(names));
  EXPECT_EQ(names, (Strings{"Sung Local", "Kai"}));

  std::string key;
  EXPECT_TRUE(engine::FindStyleKey("Sung Local", key));
  EXPECT_EQ(key, "S1");
  EXPECT_TRUE(engine::FindStyleKey("Sung Plain", key));  // the plain file is asked next
  EXPECT_EQ(key, "S1");
  EXPECT_TRUE(engine::FindStyleKey("Only local", key));
  EXPECT_EQ(key, "S9");
  EXPECT_FALSE(engine::FindStyleKey("sung local", key));  // display names keep their case
  EXPECT_FALSE(engine::FindStyleKey("", key));

  EXPECT_FALSE(engine::ListStyleFonts(fonts));  // no style chosen yet
  ASSERT_TRUE(engine::SelectStyle("Only local"));
  ASSERT_TRUE(engine::ListStyleFonts(fonts));
  EXPECT_TRUE(fonts.empty());  // its section is in the localised file alone

  ASSERT_TRUE(engine::SelectStyle("Sung Plain"));
  ASSERT_TRUE(engine::ListStyleFonts(fonts));
  EXPECT_EQ(fonts, (Strings{"F1", "F2"}));
  std::string value;
  EXPECT_TRUE(engine::GetFontName("F1", value));
  EXPECT_EQ(value, "One local");
  EXPECT_TRUE(engine::GetFontName("F2", value));
  EXPECT_EQ(value, "Two");
  EXPECT_FALSE(engine::GetFontName("F3", value));  // a font of another style
  EXPECT_EQ(value, "");

  EXPECT_TRUE(engine::ReadFontValue("F1", "Source", value));
  EXPECT_EQ(value, "one.ttf");
  EXPECT_TRUE(engine::ReadFontValue("F1", "sample", value));  // empty plain value: next file
  EXPECT_EQ(value, "one.jpg");
  EXPECT_TRUE(engine::ReadFontValue("f1", "SIZE", value));
  EXPECT_EQ(value, "3");
  EXPECT_FALSE(engine::ReadFontValue("F2", "Source", value));  // in no Font file
  EXPECT_EQ(value, "");

  EXPECT_FALSE(engine::SelectStyle(""));
  EXPECT_TRUE(engine::Engine().CurrentStyle.empty());
}

TEST_F(CatalogueTest, DuplicateStyleKeysAndAStyleWithoutDisplayName) {
  WriteCatalogue("Style", "[StyleList]\r\nS1=Sung\r\nS2=\r\nS3=Hei\r\n[S1]\r\nF1=One\r\n");
  WriteCatalogue("StyleZ", "[StyleList]\r\nS1=Sung again\r\n[S1]\r\nF1=One\r\nF2=Two\r\n");
  ASSERT_TRUE(Load());
  Strings keys, names, fonts;
  ASSERT_TRUE(engine::ListStyleKeys(keys));
  EXPECT_EQ(keys, (Strings{"S1", "S2", "S3", "S1"}));
  // S2 has no display name in any file: the list stops there.
  EXPECT_FALSE(engine::ListStyleNames(names));
  EXPECT_EQ(names, Strings{"Sung"});
  ASSERT_TRUE(engine::SelectStyle("Sung again"));
  ASSERT_TRUE(engine::ListStyleFonts(fonts));
  EXPECT_EQ(fonts, (Strings{"F1", "F1", "F2"}));
}

TEST_F(CatalogueTest, BinaryAndBrokenCataloguesReadAsEmpty) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
  WriteCatalogue("Style", garbage);
  WriteCatalogue("Font", garbage);
  WriteCatalogue("LangMap", garbage);
  ASSERT_TRUE(Load());
  Strings keys;
  EXPECT_TRUE(engine::ListStyleKeys(keys));
  EXPECT_TRUE(keys.empty());
  std::string value;
  EXPECT_FALSE(engine::ReadFontValue("F1", "Source", value));
  EXPECT_EQ(engine::QueryFontState("F1"), 0u);
}

TEST_F(CatalogueTest, SourceAndSampleThatClimbOutAreRefused) {
  WriteCatalogue("Font",
                 "[F1]\r\nSource=..\\..\\etc\\passwd\r\nSample=../up.jpg\r\nSize=..\r\n"
                 "[F2]\r\nSource=sub\\a..b.ttf\r\nSample=x\\.. \\y.jpg\r\n");
  ASSERT_TRUE(Load());
  std::string value;
  EXPECT_FALSE(engine::ReadFontValue("F1", "Source", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(engine::ReadFontValue("F1", "SAMPLE", value));
  EXPECT_TRUE(engine::ReadFontValue("F1", "Size", value));  // not a path
  EXPECT_TRUE(engine::ReadFontValue("F2", "Source", value));
  EXPECT_EQ(value, "sub\\a..b.ttf");
  EXPECT_FALSE(engine::ReadFontValue("F2", "Sample", value));
}

// Catalogue files are read with the rules of the platform's INI reader: font values through the
// engine's lookups, key lists as the engine's readers give them to the style and font lists.
TEST_F(CatalogueTest, CatalogueFilesFollowTheIniReadingRules) {
  std::string longKeys = "[Long]\r\n";
  Strings firstLongKeys;
  for (int i = 0; i < 1000; ++i) {
    std::string key = std::to_string(1'000'000'000'000'000'000LL + i);  // 19 characters
    longKeys += key + "=v\r\n";
    if (i < 819) firstLongKeys.push_back(key);
  }
  // 819 names of 19 characters and their NULs fill 16380 of the 16382 characters a list keeps;
  // the 820th is cut to the two characters left.
  firstLongKeys.push_back("10");
  const std::string big5 = "[\xA4\x41]\r\nK=upper\r\n[\xA4\x61]\r\nK=lower\r\n";
  struct Lookup {
    std::string section;
    std::string key;  // empty: the section's key list
    std::string value;
    Strings keys;
  };
  struct Case {
    std::string bytes;
    std::vector<Lookup> lookups;
  };
  const std::vector<Case> cases = {
      {"[S]\r\nA=1\r\nB = two \r\nC=\"quoted\"\r\nD='x'\r\nE=\"half\r\nF=  \r\n",
       {{"S", "A", "1"},
        {"s", "b", "two"},
        {"S", "C", "quoted"},
        {"S", "D", "x"},
        {"S", "E", "\"half"},
        {"S", "F", ""},
        {"S", "", "", {"A", "B", "C", "D", "E", "F"}}}},
      {"[S]\nA=first\nA=second\n[S]\nB=later\n[T]\n;comment=1\nnoequals\n=empty\n",
       {{"S", "A", "first"},
        {"S", "B", ""},
        {"S", "", "", {"A", "A"}},  // listed each time, as Windows lists a repeated key
        {"T", "", "", {}},
        {"T", ";comment", "1"}}},  // left out of the list, still found by its name
      {"loose=1\n[Broken\nX=1\n[]\nY=2\n[Ok] trailing\nZ=3\r",
       {{"", "loose", "1"}, {"Broken", "X", ""}, {"Ok", "Z", "3"}, {"Ok", "", "", {"Z"}}}},
      {"\xEF\xBB\xBF[S]\r\nA=bom\x1A\r\n", {{"S", "A", "bom"}}},
      {std::string("[S]\r\nA=1\r\n\0\0", 13), {{"S", "A", "1"}, {"S", "", "", {"A"}}}},
      {std::string("[S]\r\nA=1\0\r\nB=2\r\n", 16), {{"S", "A", ""}, {"S", "", "", {}}}},
      {"[ S ]\r\n K = v \r\n",
       {{"S", "K", "v"}, {" S ", " K ", "v"}, {"S", "", "", {"K"}}}},
      {"[S]\r\nV=" + std::string(3000, 'x') + "\r\n", {{"S", "V", std::string(2047, 'x')}}},
      {longKeys, {{"Long", "", "", firstLongKeys}}},
      {big5,
       {{"\xA4\x41", "K", "upper"}, {"\xA4\x61", "K", "lower"}, {"\xA4\x41", "", "", {"K"}}}},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(row));
    // A file of its own for every row, the one before removed.
    const std::string name = "Font" + std::to_string(row++);
    WriteCatalogue(name, c.bytes);
    ASSERT_TRUE(Load());
    fs::remove(infoDir() / name);
    ASSERT_EQ(engine::Engine().FontReaders.size(), 1u);
    const platform::ProfileView& reader = engine::Engine().FontReaders.front();
    for (const Lookup& l : c.lookups) {
      SCOPED_TRACE(l.section + "/" + l.key);
      if (l.key.empty()) {
        const auto keys = reader.Keys(l.section);
        EXPECT_EQ(Strings(keys.begin(), keys.end()), l.keys);
      } else {
        std::string value = "stale";
        EXPECT_EQ(engine::ReadFontValue(l.section, l.key, value), !l.value.empty());
        EXPECT_EQ(value, l.value);
      }
    }
  }
}

}  // namespace
}  // namespace engine_test
