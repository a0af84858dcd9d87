// zelvafont-ctl as a script sees it: exit codes and messages for bad input, a missing disc and
// unknown sets, its JSON and terminal output, and install and remove runs on a generated disc.
#include "ctl/ctl_fixture.h"

namespace ctl_test {
namespace {

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
  // A terminal without Chinese gets stand-ins rather than raw Big5 bytes. (A Windows program
  // has no locale: without a console it writes in the ANSI code page, above.)
  if (testing_support::RunningSystem() == testing_support::System::Posix) {
    Result ascii = Ctl({"styles", "TTF"}, "C");
    EXPECT_EQ(ascii.exitCode, 0);
    EXPECT_EQ(ascii.out, "???\n??\n");
  }
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

TEST_F(CtlTest, AFontThatDidNotArriveFailsTheRun) {
  Result r = Ctl({"install", "TTF", "--style", "許體", "--all"});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("zelvafont-ctl: 1 font was not installed: D (its file is missing from the "
                       "disc)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(InstalledFiles(), (std::vector<std::string>{"c.ttf"}));
}

TEST_F(CtlTest, RegistryValuesRoundTrip) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelvaworks";
  ASSERT_EQ(Ctl({"registry", "set", key, "Zwk98", "0x10", "--dword"}).exitCode, 0);
  ASSERT_EQ(Ctl({"registry", "set", key + "\\", "Owner", "許 \"Z\""}).exitCode, 0);
  Result list = Ctl({"registry", "list", "hklm\\software\\zelvaworks"});
  EXPECT_EQ(list.exitCode, 0);
  // Values come in the order they were made; Wine keeps them sorted by name instead.
  const bool wine = testing_support::RunningSystem() == testing_support::System::Wine;
  const std::string zwk = "Zwk98\tREG_DWORD\t16\n", owner = "Owner\tREG_SZ\t許 \"Z\"\n";
  EXPECT_EQ(list.out, wine ? owner + zwk : zwk + owner);
  Result json = Ctl({"--json", "registry", "list", key});
  const std::string zwkJson = "{\"name\":\"Zwk98\",\"type\":\"REG_DWORD\",\"data\":16}",
                    ownerJson = "{\"name\":\"Owner\",\"type\":\"REG_SZ\",\"data\":"
                                "\"\\u8a31 \\\"Z\\\"\"}";
  EXPECT_EQ(json.out, "{\"key\":\"HKLM\\\\SOFTWARE\\\\Zelvaworks\",\"values\":[" +
                          (wine ? ownerJson + "," + zwkJson : zwkJson + "," + ownerJson) + "]}\n");
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
}  // namespace ctl_test
