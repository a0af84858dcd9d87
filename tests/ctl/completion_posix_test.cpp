// The bash completion of zelvafont-ctl: commands, options, sets, and the styles that the
// program itself reads from the disc named on the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Capture;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TEST(Completion, CompletesCommandsSetsAndTheDiscsStyles) {
  const std::string ctl = ctl_test::CtlProgram();
  if (ctl.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
  if (Capture("command -v bash").empty()) GTEST_SKIP() << "no bash";
  TempDir disc, prefix, io;
  WriteFile(disc.path() / "TTF" / "tmp" / "Info" / "Style",
            "[StyleList]\r\nSans=Sans Serif\r\nMono=Mono\r\n[Sans]\r\n[Mono]\r\n");
  const std::string script = std::string(ZF_SOURCE_DIR) + "/packaging/zelvafont-ctl.bash";
  const std::vector<std::string> onDisc = {"--prefix", prefix.str(), "--disc", disc.str()};

  struct Case {
    std::vector<std::string> words;  // after the program, the last one being completed
    std::string replies;             // one a line
  } cases[] = {
      {{""}, "sets\nstyles\nfonts\ninstall\nremove\ncheck\nregistry\n"},
      {{"ins"}, "install\n"},
      {{"--sy"}, "--system\n"},
      {{"--json", "styles", "T"}, "TTC\nTTF\n"},
      {{"registry", "d"}, "delete\n"},
      {{"fonts", "TTF", "--style", ""}, "Sans\\ Serif\nMono\n"},
      {{"install", "TTF", "--style", "Sa"}, "Sans\\ Serif\n"},
      {{"install", "TTF", "--style", "Sans", "--all", ""}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words = {ctl};
    // The styles are read from the test's disc, as the line names it.
    if (c.words.size() > 2) words.insert(words.end(), onDisc.begin(), onDisc.end());
    words.insert(words.end(), c.words.begin(), c.words.end());
    std::string array;
    for (const auto& w : words) array += ShellQuote(w) + " ";
    WriteFile(io.path() / "complete.sh",
              "source " + ShellQuote(script) + "\nCOMP_WORDS=(" + array + ")\nCOMP_CWORD=" +
                  std::to_string(words.size() - 1) +
                  "\n_zelvafont_ctl\n"
                  "[ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    SCOPED_TRACE(array);
    EXPECT_EQ(Capture("bash " + ShellQuote((io.path() / "complete.sh").string())), c.replies);
  }
}

// Every option that --help names is in the manual page and completed by bash.
TEST(Completion, HelpOptionsAreDocumentedAndCompleted) {
  const std::string ctl = ctl_test::CtlProgram();
  if (ctl.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
  const std::string help = ctl_test::Run(ctl, {"--help"}).out;
  const std::string manual = ReadFile(fs::path(ZF_SOURCE_DIR) / "docs/man/zelvafont-ctl.1");
  const std::string completion = ReadFile(fs::path(ZF_SOURCE_DIR) / "packaging/zelvafont-ctl.bash");
  const std::regex option("--[a-z][a-z-]*");
  std::set<std::string> options(std::sregex_token_iterator(help.begin(), help.end(), option),
                                std::sregex_token_iterator());
  EXPECT_GT(options.size(), 10u);
  for (const auto& name : options) {
    EXPECT_NE(manual.find(std::regex_replace(name, std::regex("-"), "\\-")), std::string::npos)
        << name;
    EXPECT_NE(completion.find(name), std::string::npos) << name;
  }
}

}  // namespace
