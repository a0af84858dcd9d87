// Single fonts on a generated disc and a real prefix: where a font lands, the entry it gets, its
// state, its removal, the copies, and what bad catalogue or registry data may not do.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "engine/engine.h"
#include "engine/engine_fixture.h"
#include "engine/test_helpers.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/registry.h"

namespace engine_test {
namespace {

using Entry = std::pair<std::string, std::string>;
using EntryList = std::vector<Entry>;

struct MatchCase {
  const char* name;
  const char* value;
  bool matches;
};
// 0xA4 0x41 is one Big5 character whose trail byte is 'A'.
const MatchCase kMatchCases[] = {
    {"N", "N (TrueType)", true},
    {"N", "A & N (TrueType)", true},
    {"N", "N Bold (TrueType)", true},
    {"N", "XN (TrueType)", false},
    {"N", "NX (TrueType)", false},
    {"N", "N", false},
    {"N", "A N", false},
    {"N", "", false},
    {"", "N (TrueType)", false},
    {"Ming", "XMing Ming (TrueType)", false},  // only the first occurrence is judged
    {"Ming Light", "Ming Light (TrueType)", true},
    {"Ming Light", "Ming Lightest (TrueType)", false},
    {" Ming", "A  Ming (TrueType)", true},
    {"A\xA4\x41", "\xA4\x41\xA4\x41 A\xA4\x41 (TrueType)", true},
    {"A", "\xA4\x41 (TrueType)", false},
    {"A", "\xA4\x41 A (TrueType)", true},
    {"\xB3\x5C", "\xB3\x5C (TrueType)", true},
    {"n", "N (TrueType)", false},
};

TEST(NameMatchTest, WholeNameAtTheStartOrAfterABlankAndBeforeABlank) {
  testing_support::TempPrefix prefix(1028);  // Big5 code page
  for (const MatchCase& c : kMatchCases) {
    SCOPED_TRACE(std::string(c.name) + " in " + c.value);
    EXPECT_EQ(engine::NameMatches(c.name, c.value), c.matches);
  }
}

TEST_F(InstallTest, InstallCopiesRegistersAndReportsInstalled) {
  PutFont("DejaVuSans.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "DejaVuSans.ttf", {"DejaVu Sans", "Zelva Sans"}), {"F1"});
  EXPECT_EQ(engine::QueryFontState("F1"), 0u);

  engine::InstallFont("F1");
  EXPECT_EQ(Entries(), (EntryList{{"DejaVu Sans & Zelva Sans (TrueType)", "DejaVuSans.ttf"}}));
  EXPECT_EQ(FontsFolder(), std::set<std::string>{"DejaVuSans.ttf"});
  EXPECT_EQ(testing_support::ReadFile(fontsDir() / "DejaVuSans.ttf"),
            testing_support::ReadFile(DejaVu("DejaVuSans.ttf")));
  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontInstalled);

  engine::RemoveFont("F1");
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(FontsFolder().empty());
  EXPECT_EQ(engine::QueryFontState("F1"), 0u);
}

// The state query and the removal find entries by the same rule, one entry at a time.
TEST_F(InstallTest, StateQueryAndRemovalMatchEntriesAsTheNameMatchDoes) {
  SetUpDisc(1028);
  WriteCatalogue("Style", "[StyleList]\r\nS=Style\r\n");
  ASSERT_TRUE(Load());
  int row = 0;
  for (const MatchCase& c : kMatchCases) {
    SCOPED_TRACE(std::string(c.name) + " in " + c.value);
    const std::string key = "F" + std::to_string(row++);
    WriteCatalogue("Font", "[" + key + "]\r\nRegNameCount=1\r\nRegName1=" + c.name + "\r\n");
    ASSERT_TRUE(Load());
    SetEntry(c.value, "missing.ttf");
    SetEntry("Unrelated (TrueType)", "other.ttf");
    EXPECT_EQ(engine::QueryFontState(key), c.matches ? engine::FontMismatch : 0u);
    engine::RemoveFont(key);
    EXPECT_EQ(Entries().size(), c.matches ? 1u : 2u);
    platform::HKEY fonts = 0;
    platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kNtFontsKey, 0,
                            platform::KEY_ALL_ACCESS, &fonts);
    platform::RegDeleteValueA(fonts, c.value);
    platform::RegCloseKey(fonts);
  }
}

// Where the disc file lands and under which name, for Source values with and without folders.
TEST_F(InstallTest, TargetNamesFromTheSourceValue) {
  SetUpDisc(1028);
  struct Case {
    std::string source;  // ANSI, as the catalogue holds it
    std::string hostFile;
    std::string target;  // host name in the Fonts folder
  };
  std::vector<Case> cases = {
      {"DejaVuSans.ttf", "DejaVuSans.ttf", "DejaVuSans.ttf"},
      {"fonts\\deep\\Serif.ttf", "fonts/deep/Serif.ttf", "Serif.ttf"},
      {"odd.ttcx", "odd.ttcx", "odd..tcx"},  // the split is by position only
  };
  // File names are read in the system's code page, which Wine takes from its locale (1252
  // unless LANG names a Chinese one that the host has), whatever the prefix's language.
  if (testing_support::SystemCodePage() == 950) {
    cases.push_back({"\xB3\x5C.ttf", "許.ttf", "許.ttf"});                // trail byte 0x5C
    cases.push_back({"\xB3\x5C\\\xB3\x5C.ttf", "許/許.ttf", "許0.ttf"});  // folder named 許 too
  }
  std::string sections;
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    PutFont(cases[i].hostFile, DejaVu("DejaVuSansMono.ttf"));
    keys.push_back("F" + std::to_string(i));
    sections += FontSection(keys.back(), cases[i].source, {"Face" + std::to_string(i)});
  }
  WriteOneStyle(sections, keys);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].hostFile);
    engine::InstallFont(keys[i]);
    EXPECT_TRUE(fs::exists(fontsDir() / Utf8Path(cases[i].target)));
    EXPECT_EQ(engine::QueryFontState(keys[i]), engine::FontInstalled);
  }
}

TEST_F(InstallTest, TakenNamesGetTheFirstFreeCounter) {
  PutFont("DejaVuSans.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "DejaVuSans.ttf", {"A"}) +
                    FontSection("F2", "DejaVuSans.ttf", {"B"}) +
                    FontSection("F3", "DejaVuSans.ttf", {"C"}),
                {"F1", "F2", "F3"});
  testing_support::WriteFile(fontsDir() / "dejavusans.ttf", "someone else's");  // any case
  engine::InstallFont("F1");
  engine::InstallFont("F2");
  EXPECT_EQ(Entries(), (EntryList{{"A (TrueType)", "DejaVuSans0.ttf"},
                                  {"B (TrueType)", "DejaVuSans1.ttf"}}));
  fs::remove(fontsDir() / "DejaVuSans0.ttf");
  engine::InstallFont("F3");
  EXPECT_EQ(Entries().back(), (Entry{"C (TrueType)", "DejaVuSans0.ttf"}));
}

TEST_F(InstallTest, LocalisedRegistrationNamesReplaceThePlainOnesWhenInstalling) {
  WriteCatalogue("LangMap", "[Lang]\r\n1033=cht\r\n");
  PutFont("a.ttf", DejaVu("DejaVuSans.ttf"));
  PutFont("b.ttf", DejaVu("DejaVuSerif.ttf"));
  WriteOneStyle(FontSection("F1", "a.ttf", {"Plain"}) +
                    "chtRegNameCount=2\r\nchtRegName1=Local\r\nchtRegName2=\r\n" +
                    FontSection("F2", "b.ttf", {"Second"}) + "chtRegNameCount=abc\r\n",
                {"F1", "F2"});
  engine::InstallFont("F1");
  engine::InstallFont("F2");
  EXPECT_EQ(Entries(), (EntryList{{"Local (TrueType)", "a.ttf"}, {"Second (TrueType)", "b.ttf"}}));
  // Testing and removing use both groups.
  SetEntry("Plain (TrueType)", "a.ttf");
  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontInstalled);
  engine::RemoveFont("F1");
  EXPECT_EQ(Entries(), (EntryList{{"Second (TrueType)", "b.ttf"}}));
}

TEST_F(InstallTest, SizesWithin5120BytesCountAsTheSameFile) {
  PutFont("DejaVuSans.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "DejaVuSans.ttf", {"DejaVu Sans"}), {"F1"});
  const auto discSize = fs::file_size(DejaVu("DejaVuSans.ttf"));
  struct Case {
    std::int64_t delta;
    std::uint32_t state;
  };
  const Case cases[] = {{0, engine::FontInstalled},      {5120, engine::FontInstalled},
                        {-5120, engine::FontInstalled},  {5121, engine::FontMismatch},
                        {-5121, engine::FontMismatch}};
  engine::InstallFont("F1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delta);
    fs::resize_file(fontsDir() / "DejaVuSans.ttf", discSize + c.delta);
    EXPECT_EQ(engine::QueryFontState("F1"), c.state);
  }
  fs::remove(fontsDir() / "DejaVuSans.ttf");
  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontMismatch);
  // Two entries, one good and one stale, give both bits.
  engine::InstallFont("F1");
  SetEntry("DejaVu Sans Old (TrueType)", "gone.ttf");
  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontInstalled | engine::FontMismatch);
}

TEST_F(InstallTest, GsubMaskingChangesOnlyAlignedTagsOfTheFirstBlock) {
  struct Case {
    std::size_t offset;
    bool masked;
  };
  const Case cases[] = {{0, true}, {12, true}, {8188, true}, {13, false},
                        {8190, false}, {8192, false}, {20000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    std::string bytes(24000, '\x01');
    bytes.replace(c.offset, 4, "GSUB");
    testing_support::WriteFile(setDir() / "in.bin", bytes);
    ASSERT_EQ(engine::CopyFontFileMaskGsub("D:\\TTF\\in.bin", "C:\\out.bin"), 1);
    std::string copied = testing_support::ReadFile(driveC() / "out.bin");
    ASSERT_EQ(copied.size(), bytes.size());
    EXPECT_EQ(copied.substr(c.offset, 4), c.masked ? "Gsub" : "GSUB");
    copied.replace(c.offset, 4, "GSUB");
    EXPECT_EQ(copied, bytes);  // nothing else changed
    ASSERT_EQ(engine::CopyFontFile("D:\\TTF\\in.bin", "C:\\out.bin"), 1);
    EXPECT_EQ(testing_support::ReadFile(driveC() / "out.bin"), bytes);
  }
  EXPECT_EQ(engine::CopyFontFile("D:\\TTF\\missing.bin", "C:\\out2.bin"), 0);
  EXPECT_EQ(engine::CopyFontFile("D:\\TTF\\in.bin", "Q:\\nowhere\\out.bin"), 0);
}

TEST_F(InstallTest, MaskedCopyOfARealFontCountsAsInstalled) {
  PutFont("DejaVuSans.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "DejaVuSans.ttf", {"DejaVu Sans"}), {"F1"});
  EXPECT_TRUE(engine::SetCopyHook(engine::CopyFontFileMaskGsub));
  engine::InstallFont("F1");
  const std::string copy = testing_support::ReadFile(fontsDir() / "DejaVuSans.ttf");
  const std::string disc = testing_support::ReadFile(DejaVu("DejaVuSans.ttf"));
  ASSERT_EQ(copy.size(), disc.size());
  EXPECT_NE(copy.find("Gsub"), std::string::npos);
  EXPECT_NE(copy, disc);
  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontInstalled);
  EXPECT_FALSE(engine::SetCopyHook(nullptr));
}

// Entries whose data is no plain name inside the Fonts folder are unregistered, and nothing
// outside the Fonts folder is deleted or counted as installed.
TEST_F(InstallTest, RemovalDeletesOnlyPlainNamesInsideTheFontsFolder) {
  WriteOneStyle(FontSection("F1", "x.ttf", {"Victim"}), {"F1"});
  testing_support::WriteFile(setDir() / "x.ttf", "0123456789");
  const fs::path outside = driveC() / "x";
  const fs::path outsideToo = driveC() / "abs.ttf";
  testing_support::WriteFile(outside, "0123456789");
  testing_support::WriteFile(outsideToo, "0123456789");
  testing_support::WriteFile(fontsDir() / "sub" / "inner.ttf", "0123456789");
  testing_support::WriteFile(fontsDir() / "plain.ttf", "0123456789");
  const EntryList bad = {{"Victim (TrueType)", "..\\..\\x"},
                         {"Victim Bold (TrueType)", "C:\\abs.ttf"},
                         {"Victim Sub (TrueType)", "sub\\inner.ttf"},
                         {"Victim Dots (TrueType)", ".."},
                         {"Victim Empty (TrueType)", ""}};
  for (const auto& [name, data] : bad) SetEntry(name, data);
  SetEntry("Other (TrueType)", "plain.ttf");

  EXPECT_EQ(engine::QueryFontState("F1"), engine::FontMismatch);
  const auto before = Tree();
  engine::RemoveFont("F1");
  EXPECT_EQ(Entries(), (EntryList{{"Other (TrueType)", "plain.ttf"}}));
  EXPECT_EQ(Tree(), before);

  SetEntry("Victim Plain (TrueType)", "plain.ttf");
  engine::RemoveFont("F1");
  EXPECT_FALSE(fs::exists(fontsDir() / "plain.ttf"));
  EXPECT_TRUE(fs::exists(outside));
}

TEST_F(InstallTest, UnusableSourcesAreSkipped) {
  PutFont("ok.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("Climb", "..\\..\\etc\\passwd", {"Climb"}) +
                    FontSection("Empty", "", {"Empty"}) + "[NoSource]\r\nRegNameCount=1\r\n"
                    "RegName1=NoSource\r\n" +
                    FontSection("Short", "a\\b", {"Short"}) +
                    FontSection("Folder", "dir.ttf", {"Folder"}) +
                    FontSection("Missing", "missing.ttf", {"Missing"}) +
                    FontSection("Nameless", "ok.ttf", {}) +
                    "[Counts]\r\nSource=ok.ttf\r\nRegNameCount=-5\r\nRegName1=Neg\r\n"
                    "LinkCount=99999999999\r\nLink1=Climb\r\n",
                {"Climb", "Empty", "NoSource", "Short", "Folder", "Missing", "Nameless",
                 "Counts"});
  fs::create_directories(setDir() / "dir.ttf");
  const auto before = Tree();
  for (const char* key :
       {"Climb", "Empty", "NoSource", "Short", "Folder", "Missing", "Nameless", "Counts"}) {
    SCOPED_TRACE(key);
    engine::InstallFont(key);
    EXPECT_EQ(engine::QueryFontState(key), 0u);
  }
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Tree(), before);
}

TEST_F(InstallTest, ARegistryWriteFailureThrowsAndTakesTheCopyBack) {
  PutFont("DejaVuSans.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "DejaVuSans.ttf", {"DejaVu Sans"}), {"F1"});
  ReadOnlyRegistry readOnly(*this);
  if (!readOnly.ok()) GTEST_SKIP() << "cannot make the installed-font list read-only here";
  try {
    engine::InstallFont("F1");
    FAIL() << "no error";
  } catch (const platform::RegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'DejaVu Sans (TrueType)'");
  }
  EXPECT_TRUE(FontsFolder().empty());
}

TEST_F(InstallTest, FailedCopiesLeaveNoFileAndNoEntry) {
  PutFont("a.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "a.ttf", {"A"}), {"F1"});

  {
    SCOPED_TRACE("a hook that fails half way");
    engine::SetCopyHook([](const char* source, const char* target) {
      engine::CopyFontFile(source, target);
      return 0;
    });
    engine::InstallFont("F1");
    EXPECT_TRUE(FontsFolder().empty());
    EXPECT_TRUE(Entries().empty());
  }
  {
    SCOPED_TRACE("read-only Fonts folder");
    ReadOnlyFolder readOnly(fontsDir());
    if (!readOnly.ok())
      GTEST_SKIP() << "cannot make a folder read-only here (Wine run as root writes into one)";
    engine::SetCopyHook(nullptr);
    engine::InstallFont("F1");
    EXPECT_TRUE(Entries().empty());
  }
  EXPECT_TRUE(FontsFolder().empty());
}

// A disc file that keeps growing while it is copied is no copy of what was measured: nothing is
// installed, and the run says why.
TEST_F(InstallTest, ASourceThatChangesSizeWhileCopiedIsRefused) {
  PutFont("grows.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "grows.ttf", {"Grows"}), {"F1"});
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::ofstream out(setDir() / "grows.ttf", std::ios::binary | std::ios::app);
    while (!stop) out.write("x", 1).flush();
  });
  const auto original = fs::file_size(DejaVu("DejaVuSans.ttf"));
  while (fs::file_size(setDir() / "grows.ttf") == original) std::this_thread::yield();
  // Windows opens no file for a copy while another holds it open for writing (the engine shares
  // its read with readers only), so the copy is refused at the open as unreadable; POSIX has no
  // such share modes, on purpose, and the copy sees the file change under it.
  const bool posix = testing_support::RunningSystem() == testing_support::System::Posix;
  const auto expected =
      posix ? engine::FontFailure::SourceChanged : engine::FontFailure::SourceUnreadable;
  constexpr std::uint32_t kSharingViolation = 32;
  // The writer must be caught in the act; a copy made between two of its writes is whole.
  bool refused = false;
  std::string seen;
  for (int attempt = 0; attempt < 50 && !refused; ++attempt) {
    engine::InstallFont("F1");
    const auto& problems = engine::LastRunReport().problems;
    refused = problems.size() == 1 && problems[0].failure == expected &&
              (posix || problems[0].error == kSharingViolation);
    for (const auto& p : problems)
      seen += std::to_string(static_cast<int>(p.failure)) + "/" + std::to_string(p.error) + " ";
    if (!refused) engine::RemoveFont("F1");
  }
  stop = true;
  writer.join();
  EXPECT_TRUE(refused) << "failures/errors seen: " << seen;
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(FontsFolder().empty());
}

}  // namespace
}  // namespace engine_test
