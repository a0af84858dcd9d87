// zelvafont-ctl as a script sees it: exit codes and messages for bad input, a missing disc and
// unknown sets, its JSON and terminal output, and install and remove runs on a generated disc.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::SetImmutable;

namespace {

using ctl_test::Result;
using testing_support::TempDir;
using testing_support::TempPrefix;
using testing_support::WriteFile;

const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

std::string Big5(const std::string& utf8) { return platform::Utf8ToAnsi(utf8, 950); }

// A disc folder with the TTF set: style Sans (A, which links B; and B) and style 許體 (C with
// an awkward name, and D whose file is missing). Chinese texts in Big5, as a disc holds them.
class CtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl_ = ctl_test::CtlProgram();
    if (ctl_.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
    const fs::path info = disc_.path() / "TTF" / "tmp" / "Info";
    WriteFile(info / "LangMap", "[Lang]\r\n1028=cht\r\n");
    WriteFile(info / "Style",
              "[StyleList]\r\nSans=Sans\r\nSerif=Serif\r\n"
              "[Sans]\r\nA=Font A\r\nB=Font B\r\n"
              "[Serif]\r\nC=Say \"hi\" \\ ok\r\nD=Font D\r\n");
    WriteFile(info / "Style.cht",
              "[StyleList]\r\nSans=" + Big5("無襯線") + "\r\nSerif=" + Big5("許體") + "\r\n");
    WriteFile(info / "Font",
              "[A]\r\nSource=fonts\\a.ttf\r\nSize=1.5\r\nRegNameCount=1\r\nRegName1=Font A\r\n"
              "LinkCount=1\r\nLink1=B\r\n"
              "[B]\r\nSource=fonts\\b.ttf\r\nRegNameCount=1\r\nRegName1=Font B\r\n"
              "[C]\r\nSource=fonts\\c.ttf\r\nRegNameCount=1\r\nRegName1=Font C\r\n"
              "[D]\r\nSource=fonts\\missing.ttf\r\nRegNameCount=1\r\nRegName1=Font D\r\n");
    // Real fonts: an install checks that its copy opens as a font.
    fs::create_directories(disc_.path() / "TTF" / "fonts");
    for (auto [name, font] : {std::pair{"a.ttf", "DejaVuSans.ttf"}, {"b.ttf", "DejaVuSerif.ttf"},
                              {"c.ttf", "DejaVuSansMono.ttf"}})
      fs::copy_file(fs::path("/usr/share/fonts/truetype/dejavu") / font,
                    disc_.path() / "TTF" / "fonts" / name);
  }

  // The tool on the generated disc, in the test's prefix.
  Result Ctl(std::vector<std::string> args, const std::string& locale = "C.UTF-8",
             ctl_test::Stderr err = ctl_test::Stderr::Pipe) {
    args.insert(args.begin(), {"--prefix", prefix_.str(), "--disc", disc_.str()});
    return ctl_test::Run(ctl_, args, locale, err);
  }
  Result CtlWithoutDisc(std::vector<std::string> args) {
    args.insert(args.begin(), {"--prefix", prefix_.str()});
    return ctl_test::Run(ctl_, args);
  }

  std::vector<std::string> InstalledFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(prefix_.fontsDir()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> FontEntries() {
    platform::ReopenPrefix();
    return platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kFontsKey);
  }

  TempPrefix prefix_{1028};
  TempDir disc_;
  std::string ctl_;
};

// One line on stderr, prefixed with the program's name.
void ExpectOneLineMessage(const Result& r) {
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.rfind("zelvafont-ctl: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

TEST_F(CtlTest, BadCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"--frob", "sets"},
      {"--json=yes", "sets"},
      {"sets", "extra"},
      {"styles"},
      {"fonts", "TTF"},
      {"install", "TTF", "--style", "Sans"},
      {"install", "TTF", "--style", "Sans", "--all", "A"},
      {"remove", "TTF", "--style", "Sans", "--all", "--no-links"},
      {"registry", "list"},
      {"registry", "rename", "HKLM\\SOFTWARE"},
      {"registry", "get", "HKLM\\SOFTWARE"},
      {"registry", "list", "HKXX\\SOFTWARE"},
      {"registry", "set", "HKLM\\SOFTWARE\\Zelvaworks", "Zwk98", "many", "--dword"},
      {"registry", "set", "HKLM\\SOFTWARE\\Zelvaworks", "Zwk98", "4294967296", "--dword"},
      {"registry", "list", "HKLM\\SOFTWARE", "--dword"},
      {"--style"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    Result r = Ctl(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    ExpectOneLineMessage(r);
  }
  Result help = ctl_test::Run(ctl_, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: zelvafont-ctl"), std::string::npos);
}

TEST_F(CtlTest, WithoutTheDiscEveryDiscCommandEndsWithExitCode3) {
  const std::vector<std::vector<std::string>> cases = {
      {"sets"},
      {"styles", "TTF"},
      {"--disc", (disc_.path() / "nowhere").string(), "sets"},
      {"--disc", "Q:", "sets"},
      {"--disc", "q:\\", "fonts", "TTF", "--style", "Sans"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.back());
    Result r = CtlWithoutDisc(args);
    EXPECT_EQ(r.exitCode, 3);
    ExpectOneLineMessage(r);
  }
}

TEST_F(CtlTest, UnknownSetsStylesAndFontsEndWithExitCode4) {
  fs::create_directories(disc_.path() / "TTC");  // a set folder without a catalogue
  const std::vector<std::vector<std::string>> cases = {
      {"styles", "Nope"},
      {"styles", "Gift_Font"},  // not on this disc
      {"styles", "TTC"},
      {"fonts", "TTF", "--style", "Nope"},
      {"fonts", "TTF", "--style", "sans"},  // display names match with case
      {"install", "TTF", "--style", "Sans", "A", "Z"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[1]);
    Result r = Ctl(args);
    EXPECT_EQ(r.exitCode, 4);
    ExpectOneLineMessage(r);
  }
  EXPECT_TRUE(InstalledFiles().empty());  // a bad key stops the run before it starts
}

TEST_F(CtlTest, JsonIsOneEscapedDocumentInEveryLocale) {
  for (const char* locale : {"C.UTF-8", "C"}) {
    SCOPED_TRACE(locale);
    Result sets = Ctl({"--json", "sets"}, locale);
    EXPECT_EQ(sets.exitCode, 0);
    EXPECT_EQ(sets.out,
              "{\"disc\":\"D:\\\\\",\"sets\":[{\"name\":\"TTF\",\"folder\":\"D:\\\\TTF\\\\\","
              "\"language\":\"cht\"}]}\n");
    Result styles = Ctl({"--json", "styles", "ttf"}, locale);
    EXPECT_EQ(styles.exitCode, 0);
    // 許 is B3 5C in Big5: its second byte is a backslash.
    EXPECT_EQ(styles.out,
              "{\"set\":\"TTF\",\"language\":\"cht\",\"styles\":[{\"name\":"
              "\"\\u7121\\u896f\\u7dda\",\"key\":\"Sans\"},"
              "{\"name\":\"\\u8a31\\u9ad4\",\"key\":\"Serif\"}]}\n");
  }
  Result fonts = Ctl({"--json", "fonts", "TTF", "--style", "許體"});
  EXPECT_EQ(fonts.exitCode, 0);
  EXPECT_EQ(
      fonts.out,
      "{\"set\":\"TTF\",\"style\":\"\\u8a31\\u9ad4\",\"fonts\":["
      "{\"key\":\"C\",\"name\":\"Say \\\"hi\\\" \\\\ ok\",\"installed\":false,\"state\":0,"
      "\"size_mb\":0},"
      "{\"key\":\"D\",\"name\":\"Font D\",\"installed\":false,\"state\":0,\"size_mb\":0}]}\n");
}

TEST_F(CtlTest, TextsReachTheTerminalInItsEncoding) {
  // A locale that is not generated on the machine still names its character set.
  for (const char* locale : {"C.UTF-8", "xx_ZZ.UTF-8"}) {
    Result utf8 = Ctl({"styles", "TTF"}, locale);
    EXPECT_EQ(utf8.exitCode, 0);
    EXPECT_EQ(utf8.out, "無襯線\n許體\n") << locale;
  }
  // A terminal without Chinese gets stand-ins rather than raw Big5 bytes.
  Result ascii = Ctl({"styles", "TTF"}, "C");
  EXPECT_EQ(ascii.exitCode, 0);
  EXPECT_EQ(ascii.out, "???\n??\n");
  // What cannot be said in the system's code page is refused, not stored as '?'.
  Result lossy = Ctl({"registry", "set", "HKLM\\SOFTWARE\\Zelvaworks", "Note", "한국어"});
  EXPECT_EQ(lossy.exitCode, 2);
  ExpectOneLineMessage(lossy);
}

TEST_F(CtlTest, InstallAndRemoveRoundTrip) {
  Result install = Ctl({"install", "TTF", "--style", "無襯線", "A"});
  ASSERT_EQ(install.exitCode, 0) << install.err;
  EXPECT_EQ(install.out, "installed 2 fonts\n");
  EXPECT_EQ(install.err, "installing 1/2: Font A\ninstalling 2/2: Font B\ndone: 2 of 2\n");
  EXPECT_EQ(InstalledFiles(), (std::vector<std::string>{"a.ttf", "b.ttf"}));
  EXPECT_EQ(FontEntries(), (std::vector<std::string>{"Font A (TrueType)", "Font B (TrueType)"}));

  Result listed = Ctl({"--json", "fonts", "TTF", "--style", "無襯線"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_NE(listed.out.find("{\"key\":\"A\",\"name\":\"Font A\",\"installed\":true,\"state\":17,"
                            "\"size_mb\":1.5}"),
            std::string::npos)
      << listed.out;

  Result again = Ctl({"--json", "install", "TTF", "--style", "無襯線", "--all"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_NE(again.out.find("\"handled\":0,\"failed\":[]"), std::string::npos) << again.out;

  Result remove = Ctl({"--json", "remove", "TTF", "--style", "無襯線", "A"});
  ASSERT_EQ(remove.exitCode, 0) << remove.err;
  EXPECT_EQ(remove.out,
            "{\"action\":\"remove\",\"set\":\"TTF\",\"style\":\"\\u7121\\u896f\\u7dda\","
            "\"links\":true,\"handled\":2,\"failed\":[],\"problems\":[],\"fonts\":["
            "{\"key\":\"A\",\"name\":\"Font A\",\"installed\":false,\"state\":0},"
            "{\"key\":\"B\",\"name\":\"Font B\",\"installed\":false,\"state\":0}]}\n");
  EXPECT_TRUE(InstalledFiles().empty());
  EXPECT_TRUE(FontEntries().empty());

  Result alone = Ctl({"install", "TTF", "--style", "無襯線", "--no-links", "A"});
  EXPECT_EQ(alone.exitCode, 0);
  EXPECT_EQ(InstalledFiles(), (std::vector<std::string>{"a.ttf"}));
}

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

TEST_F(CtlTest, AFontThatDidNotArriveFailsTheRun) {
  Result r = Ctl({"install", "TTF", "--style", "許體", "--all"});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("zelvafont-ctl: 1 font was not installed: D (its file is missing from the "
                       "disc)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(InstalledFiles(), (std::vector<std::string>{"c.ttf"}));
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

TEST_F(CtlTest, RegistryValuesRoundTrip) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelvaworks";
  ASSERT_EQ(Ctl({"registry", "set", key, "Zwk98", "0x10", "--dword"}).exitCode, 0);
  ASSERT_EQ(Ctl({"registry", "set", key + "\\", "Owner", "許 \"Z\""}).exitCode, 0);
  Result list = Ctl({"registry", "list", "hklm\\software\\zelvaworks"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out, "Zwk98\tREG_DWORD\t16\nOwner\tREG_SZ\t許 \"Z\"\n");
  Result json = Ctl({"--json", "registry", "list", key});
  EXPECT_EQ(json.out,
            "{\"key\":\"HKLM\\\\SOFTWARE\\\\Zelvaworks\",\"values\":["
            "{\"name\":\"Zwk98\",\"type\":\"REG_DWORD\",\"data\":16},"
            "{\"name\":\"Owner\",\"type\":\"REG_SZ\",\"data\":\"\\u8a31 \\\"Z\\\"\"}]}\n");
  Result get = Ctl({"registry", "get", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                       "Explorer\\Shell Folders", "Fonts"});
  EXPECT_EQ(get.exitCode, 0);
  EXPECT_EQ(get.out, "C:\\windows\\Fonts\n");

  EXPECT_EQ(Ctl({"registry", "delete", key, "owner"}).exitCode, 0);
  const std::vector<std::vector<std::string>> failing = {
      {"registry", "delete", key, "Owner"},
      {"registry", "get", key, "Owner"},
      {"registry", "list", "HKLM\\SOFTWARE\\Nowhere"},
  };
  for (const auto& args : failing) {
    SCOPED_TRACE(args[1]);
    Result r = Ctl(args);
    EXPECT_EQ(r.exitCode, 5);
    ExpectOneLineMessage(r);
  }
}

}  // namespace
