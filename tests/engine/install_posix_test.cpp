// Install cases that only the POSIX backend can run: a file-size limit stands in for a full
// disk, and fontconfig is the system's font list.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>

#include "engine/engine.h"
#include "engine/engine_fixture.h"

namespace engine_test {
namespace {

// "file: family" lines of fc-list, run with a fonts.conf in confDir that includes the system
// configuration and adds fontsDir.
std::string FcList(const fs::path& confDir, const std::string& fontsDir) {
  const fs::path conf = confDir / "fonts.conf";
  {
    std::ofstream out(conf);
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
           "<fontconfig>\n  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
           "  <dir>" << fontsDir << "</dir>\n</fontconfig>\n";
  }
  return testing_support::Capture("FONTCONFIG_FILE='" + conf.string() +
                                  "' fc-list : file family 2>/dev/null");
}

// Windows has no per-process file-size limit to make a disk full on demand.
TEST_F(InstallTest, ACopyCutShortByAFullDiskLeavesNoFileAndNoEntry) {
  PutFont("a.ttf", DejaVu("DejaVuSans.ttf"));
  WriteOneStyle(FontSection("F1", "a.ttf", {"A"}), {"F1"});
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100000;  // the font is 750 kB
  setrlimit(RLIMIT_FSIZE, &small);
  engine::InstallFont("F1");
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(FontsFolder().empty());
  EXPECT_TRUE(Entries().empty());
}

// The families an installed font brings must reach fontconfig, and leave it again; on Windows
// the system's font list is no program of its own to ask.
TEST_F(InstallTest, InstalledFontsAreSeenByFontconfig) {
  if (std::system("command -v fc-list >/dev/null 2>&1") != 0) GTEST_SKIP() << "no fc-list";
  const fs::path collection = FontCollection();
  PutFont("DejaVuSerif.ttf", DejaVu("DejaVuSerif.ttf"));
  std::string sections = FontSection("F1", "DejaVuSerif.ttf", {"DejaVu Serif"});
  std::vector<std::string> keys{"F1"};
  if (!collection.empty()) {
    PutFont("coll.ttc", collection);
    sections += FontSection("F2", "coll.ttc", {"Collection"});
    keys.push_back("F2");
  }
  WriteOneStyle(sections, keys);
  testing_support::TempDir conf;
  const std::string fonts = fs::canonical(fontsDir()).string();
  for (const auto& key : keys) engine::InstallFont(key);
  const std::string listed = FcList(conf.path(), fonts);
  EXPECT_NE(listed.find(fonts + "/DejaVuSerif.ttf: DejaVu Serif"), std::string::npos) << listed;
  if (!collection.empty()) {
    EXPECT_NE(listed.find(fonts + "/coll.ttc: "), std::string::npos) << listed;
  }
  for (const auto& key : keys) engine::RemoveFont(key);
  const std::string after = FcList(conf.path(), fonts);
  EXPECT_EQ(after.find(fonts + "/"), std::string::npos) << after;
}

}  // namespace
}  // namespace engine_test
