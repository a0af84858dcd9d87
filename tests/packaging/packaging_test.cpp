// What the package ships: the desktop entry and the AppStream metadata pass their validators,
// the manual pages format without warnings, and the Debian package that scripts/package.sh
// builds ($ZF_DEB_PACKAGE) holds every part, under /usr, with its library dependencies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Capture;
using testing_support::ReadFile;

namespace {

const fs::path kSource = ZF_SOURCE_DIR;

bool HasTool(const std::string& tool) { return !Capture("command -v " + tool).empty(); }

// Runs a command and returns its exit status with its output (stdout and stderr).
std::pair<int, std::string> Check(const std::string& command) {
  testing_support::TempDir io;
  const fs::path out = io.path() / "out";
  int status = std::system((command + " >'" + out.string() + "' 2>&1").c_str());
  return {WEXITSTATUS(status), ReadFile(out)};
}

TEST(Packaging, MetadataPassesItsValidators) {
  struct Case {
    std::string tool, command;
  } cases[] = {
      {"desktop-file-validate", "desktop-file-validate packaging/zelvafont.desktop"},
      {"appstreamcli", "appstreamcli validate --no-net packaging/org.zelvafont.Setup.metainfo.xml"},
      // Manual pages: groff's warnings (-ww) go to stderr, which must stay empty.
      {"groff", "groff -man -ww -z docs/man/zelvafont.1 docs/man/zelvafont-ctl.1 2>&1 | "
                "(! grep .)"},
  };
  int ran = 0;
  for (const auto& c : cases) {
    if (!HasTool(c.tool)) continue;  // reported by the skip below when none ran
    auto [status, output] = Check("cd '" + kSource.string() + "' && " + c.command);
    EXPECT_EQ(status, 0) << c.command << "\n" << output;
    ++ran;
  }
  if (ran < 3) GTEST_SKIP() << "a validator is not installed (scripts/install-deps.sh adds them)";
}

// Every screenshot of the metadata is one of the README's pictures, published by that name.
TEST(Packaging, ScreenshotsAreTheProjectsPictures) {
  const std::string xml = ReadFile(kSource / "packaging/org.zelvafont.Setup.metainfo.xml");
  const std::regex image("<image>[^<]*/([^/<]+)</image>");
  int count = 0;
  for (std::sregex_iterator it(xml.begin(), xml.end(), image), end; it != end; ++it, ++count)
    EXPECT_TRUE(fs::exists(kSource / "docs" / (*it)[1].str())) << (*it)[1];
  EXPECT_EQ(count, 2);
}

TEST(Packaging, DebianPackageHoldsEveryPart) {
  const char* deb = std::getenv("ZF_DEB_PACKAGE");
  if (!deb || !*deb) GTEST_SKIP() << "no package built: scripts/package.sh builds and checks it";
  ASSERT_TRUE(fs::exists(deb)) << deb;
  EXPECT_TRUE(std::regex_match(fs::path(deb).filename().string(),
                               std::regex(R"(zelvafont_\d+\.\d+\.\d+_amd64\.deb)")));
  const std::string listing = Capture(std::string("dpkg-deb -c '") + deb + "'");
  const std::string expected[] = {
      "-rwxr-xr-x root/root .* ./usr/bin/zelvafont\n",
      "-rwxr-xr-x root/root .* ./usr/bin/zelvafont-ctl\n",
      "-rw-r--r-- root/root .* ./usr/share/applications/zelvafont.desktop\n",
      "-rw-r--r-- root/root .* ./usr/share/icons/hicolor/scalable/apps/zelvafont.svg\n",
      "-rw-r--r-- root/root .* ./usr/share/man/man1/zelvafont.1.gz\n",
      "-rw-r--r-- root/root .* ./usr/share/man/man1/zelvafont-ctl.1.gz\n",
      "-rw-r--r-- root/root .* ./usr/share/bash-completion/completions/zelvafont-ctl\n",
      "-rw-r--r-- root/root .* ./usr/share/metainfo/org.zelvafont.Setup.metainfo.xml\n",
      "-rw-r--r-- root/root .* ./usr/share/doc/zelvafont/copyright\n",
      "-rw-r--r-- root/root .* ./usr/share/doc/zelvafont/changelog.gz\n",
  };
  for (const auto& line : expected)
    EXPECT_TRUE(std::regex_search(listing, std::regex(line))) << line << "in\n" << listing;
  EXPECT_EQ(listing.find("./usr/local"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("test"), std::string::npos) << listing;
  // The library dependencies were computed from the programs.
  const std::string depends = Capture(std::string("dpkg-deb -f '") + deb + "' Depends");
  for (const char* library : {"libqt6widgets6", "libfontconfig1", "libsqlite3-0", "libc6"})
    EXPECT_NE(depends.find(library), std::string::npos) << depends;
}

}  // namespace
