// Fonts loaded through fontconfig: what this process lists, the font-change broadcast seen by this
// process and by a program started afterwards.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/prefix.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace platform;

const FcChar8* Fc(const std::string& s) { return reinterpret_cast<const FcChar8*>(s.c_str()); }

std::string FamilyOf(const fs::path& file) {
  int count = 0;
  FcPattern* pattern = FcFreeTypeQuery(Fc(file.string()), 0, nullptr, &count);
  std::string family;
  FcChar8* value = nullptr;
  if (pattern && FcPatternGetString(pattern, FC_FAMILY, 0, &value) == FcResultMatch)
    family = reinterpret_cast<const char*>(value);
  if (pattern) FcPatternDestroy(pattern);
  return family;
}

// The families this process's fontconfig lists for one file.
std::set<std::string> FamiliesListedFor(const fs::path& file) {
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  std::set<std::string> families;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* listed = nullptr;
    FcChar8* family = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &listed) == FcResultMatch &&
        fs::path(reinterpret_cast<const char*>(listed)).lexically_normal() == file.lexically_normal() &&
        FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch)
      families.insert(reinterpret_cast<const char*>(family));
  }
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return families;
}

// The patterns of one file in this process's configuration, its own folders' and the
// application's together.
int PatternsFor(const fs::path& file) {
  int count = 0;
  for (FcSetName set : {FcSetSystem, FcSetApplication}) {
    FcFontSet* fonts = FcConfigGetFonts(nullptr, set);
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
      FcChar8* listed = nullptr;
      if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &listed) == FcResultMatch &&
          fs::path(reinterpret_cast<const char*>(listed)).lexically_normal() == file.lexically_normal())
        ++count;
    }
  }
  return count;
}

class Fonts : public testing::Test {
 protected:
  void SetUp() override {
    source_ = testing_support::HostTrueTypeFile();
    if (!source_) GTEST_SKIP() << "no TrueType font on this host to copy";
    family_ = FamilyOf(*source_);
    fs::create_directories(prefix_.fontsDir());
    // Programs started afterwards name the folder by its real path.
    fonts_ = fs::canonical(prefix_.fontsDir());
  }
  void TearDown() override {
    // The broadcast wrote fontconfig's cache of this temporary Fonts folder: take it away again.
    FcDirCacheUnlink(Fc(fonts_.string()), FcConfigGetCurrent());
  }
  fs::path Install(const std::string& name) {
    fs::path target = fonts_ / name;
    fs::copy_file(*source_, target, fs::copy_options::overwrite_existing);
    return target;
  }
  // A fonts.conf for a program started afterwards: the host's configuration plus this prefix's
  // Fonts folder, as the user's own prefix is part of the user's font folder.
  fs::path WriteConfiguration() {
    fs::path conf = scratch_.path() / "fonts.conf";
    testing_support::WriteFile(conf,
                               "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                               "<fontconfig>\n  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
                               "  <dir>" + fonts_.string() + "</dir>\n</fontconfig>\n");
    return conf;
  }

  static void Broadcast() { SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); }
  static std::set<std::string> ListedAfterBroadcast(const fs::path& file) {
    Broadcast();
    return FamiliesListedFor(file);
  }

  testing_support::TempPrefix prefix_;
  testing_support::TempDir scratch_;
  std::optional<fs::path> source_;
  std::string family_;
  fs::path fonts_;
};

TEST_F(Fonts, LoadedFileIsListedInThisProcessUntilRemoved) {
  fs::path file = Install("zftest.ttf");
  EXPECT_TRUE(ListedAfterBroadcast(file).empty()) << "copied, not loaded";
  EXPECT_GE(AddFontResourceA("zftest.ttf"), 1);
  EXPECT_EQ(ListedAfterBroadcast(file).count(family_), 1u) << family_;
  EXPECT_TRUE(RemoveFontResourceA("zftest.ttf"));
  EXPECT_TRUE(ListedAfterBroadcast(file).empty());
  EXPECT_FALSE(RemoveFontResourceA("zftest.ttf")) << "it is no longer loaded";
}

TEST_F(Fonts, LoadsAreCountedAndOtherFontsStayLoaded) {
  fs::path a = Install("a.ttf");
  fs::path b = Install("b.ttf");
  ASSERT_GE(AddFontResourceA("a.ttf"), 1);
  ASSERT_GE(AddFontResourceA("a.ttf"), 1);
  ASSERT_GE(AddFontResourceA("b.ttf"), 1);
  EXPECT_TRUE(RemoveFontResourceA("a.ttf"));
  EXPECT_FALSE(ListedAfterBroadcast(a).empty()) << "loaded twice, removed once";
  EXPECT_TRUE(RemoveFontResourceA("a.ttf"));
  EXPECT_TRUE(ListedAfterBroadcast(a).empty());
  EXPECT_FALSE(ListedAfterBroadcast(b).empty()) << "removing a must not unload b";
  EXPECT_TRUE(RemoveFontResourceA("b.ttf"));
}

// Loads and removals between two broadcasts, in the Fonts folder (a, b, c) and elsewhere (x):
// after the broadcast exactly the loaded files are listed, each face once.
TEST_F(Fonts, BroadcastListsExactlyTheLoadedFilesOnce) {
  const fs::path elsewhere = prefix_.path() / "drive_c" / "Other" / "x.ttf";
  fs::create_directories(elsewhere.parent_path());
  fs::copy_file(*source_, elsewhere);
  const std::map<char, fs::path> files = {
      {'a', Install("a.ttf")}, {'b', Install("b.ttf")}, {'c', Install("c.ttf")}, {'x', elsewhere}};
  auto name = [](char f) {
    return f == 'x' ? std::string("C:\\Other\\x.ttf") : std::string(1, f) + ".ttf";
  };
  const int faces = PatternsFor(*source_);
  ASSERT_GE(faces, 1);
  struct Case {
    const char* steps;  // +f load, -f remove, ! broadcast, r fontconfig reinitialised meanwhile
    const char* listed;
  };
  const Case cases[] = {
      {"+a +b +c", "abc"},  // every font of the folder loaded
      {"+a +b", "ab"},      // c lies there unloaded
      {"+a +b +c -b", "ac"},
      {"+a +a -a", "a"},
      {"+a -a +a", "a"},
      {"+a +x ! -a", "x"},
      {"+a +b ! +c ! -b", "ac"},
      {"+a +b +c +x ! r", "abcx"},
      {"+a +x r +b", "abx"},
      {"+x +a +b +c", "abcx"},
      {"+a +b +c ! +x ! -x", "abc"},
      {"+a +b +c ! -a -b -c", ""},
      {"+x -x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    std::map<char, int> loads;
    for (const char* p = c.steps; *p; ++p) {
      if (*p == '+') {
        ASSERT_GE(AddFontResourceA(name(p[1]).c_str()), 1);
        ++loads[*++p];
      } else if (*p == '-') {
        ASSERT_TRUE(RemoveFontResourceA(name(p[1]).c_str()));
        --loads[*++p];
      } else if (*p == '!') {
        Broadcast();
      } else if (*p == 'r') {
        FcInitReinitialize();
      }
    }
    Broadcast();
    std::string listed;
    for (const auto& [f, path] : files) {
      if (FamiliesListedFor(path).empty()) continue;
      listed += f;
      EXPECT_EQ(PatternsFor(path), faces) << f << " is listed once";
    }
    EXPECT_EQ(listed, c.listed);
    for (auto [f, count] : loads)
      while (count-- > 0) EXPECT_TRUE(RemoveFontResourceA(name(f).c_str()));
    Broadcast();
    for (const auto& [f, path] : files) EXPECT_TRUE(FamiliesListedFor(path).empty()) << f;
  }
}

// Every loaded font lies in the Fonts folder, but a subfolder holds one more that nobody loaded.
TEST_F(Fonts, FontsOfASubfolderAreNotLoadedAlong) {
  fs::path loaded = Install("loaded.ttf");
  fs::create_directories(fonts_ / "sub");
  fs::path other = fonts_ / "sub" / "other.ttf";
  fs::copy_file(*source_, other);
  ASSERT_GE(AddFontResourceA("loaded.ttf"), 1);
  EXPECT_FALSE(ListedAfterBroadcast(loaded).empty());
  EXPECT_TRUE(FamiliesListedFor(other).empty());
  EXPECT_TRUE(RemoveFontResourceA("loaded.ttf"));
  Broadcast();
  FcDirCacheUnlink(Fc((fonts_ / "sub").string()), FcConfigGetCurrent());
}

TEST_F(Fonts, ProgramStartedAfterTheBroadcastSeesTheChange) {
  if (std::system("command -v fc-list >/dev/null 2>&1") != 0) GTEST_SKIP() << "fc-list is not installed";
  if (!fs::exists("/etc/fonts/fonts.conf")) GTEST_SKIP() << "no host fontconfig configuration";
  fs::path conf = WriteConfiguration();
  auto listedByFcList = [&](const fs::path& file) {
    std::string command = "FONTCONFIG_FILE='" + conf.string() + "' fc-list --format '%{file}\\n' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char chunk[4096];
    while (pipe && fgets(chunk, sizeof chunk, pipe)) output += chunk;
    if (pipe) pclose(pipe);
    return output.find(file.string() + "\n") != std::string::npos;
  };

  fs::path file = Install("broadcast.ttf");
  ASSERT_GE(AddFontResourceA("broadcast.ttf"), 1);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  // The broadcast left a current cache of the Fonts folder behind, with the font in it (looked
  // at before fc-list runs, which would write one itself).
  FcCache* cache = FcDirCacheLoad(Fc(fonts_.string()), FcConfigGetCurrent(), nullptr);
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(FcCacheNumFont(cache), 1);
  FcDirCacheUnload(cache);
  EXPECT_TRUE(listedByFcList(file));
  EXPECT_FALSE(FamiliesListedFor(file).empty()) << "the broadcast keeps loaded fonts loaded";

  EXPECT_TRUE(RemoveFontResourceA("broadcast.ttf"));
  fs::remove(file);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  cache = FcDirCacheLoad(Fc(fonts_.string()), FcConfigGetCurrent(), nullptr);
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(FcCacheNumFont(cache), 0);
  FcDirCacheUnload(cache);
  EXPECT_FALSE(listedByFcList(file));
}

// In the user's own prefix the Fonts folder is a link into the user's font folder, where other
// programs find it by its real path: the cache must be written under that path.
TEST_F(Fonts, BroadcastWritesTheCacheWhereTheFontsLinkLeads) {
  const fs::path real = fs::canonical(scratch_.path()) / "fonts" / "zelvafont";
  fs::create_directories(real);
  fs::remove_all(prefix_.fontsDir());
  fs::create_directory_symlink(real, prefix_.fontsDir());
  fs::copy_file(*source_, real / "linked.ttf");
  ASSERT_GE(AddFontResourceA("linked.ttf"), 1);
  EXPECT_FALSE(ListedAfterBroadcast(real / "linked.ttf").empty());
  FcCache* cache = FcDirCacheLoad(Fc(real.string()), FcConfigGetCurrent(), nullptr);
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(FcCacheNumFont(cache), 1);
  FcDirCacheUnload(cache);
  EXPECT_TRUE(RemoveFontResourceA("C:\\windows\\Fonts\\linked.ttf"));
  EXPECT_TRUE(ListedAfterBroadcast(real / "linked.ttf").empty());
  FcDirCacheUnlink(Fc(real.string()), FcConfigGetCurrent());
}

// In the user's own prefix the Fonts folder is one of fontconfig's folders: after the broadcast
// this process lists a font copied there without loading it, and fonts loaded from elsewhere
// survive the reinitialisation.
TEST_F(Fonts, BroadcastRefreshesThisProcessWhenTheFontsFolderIsConfigured) {
  if (!fs::exists("/etc/fonts/fonts.conf")) GTEST_SKIP() << "no host fontconfig configuration";
  fs::path conf = WriteConfiguration();
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  FcInitReinitialize();

  fs::path elsewhere = prefix_.path() / "drive_c" / "Other" / "elsewhere.ttf";
  fs::create_directories(elsewhere.parent_path());
  fs::copy_file(*source_, elsewhere);
  ASSERT_GE(AddFontResourceA("C:\\Other\\elsewhere.ttf"), 1);

  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);  // the folder's first cache
  fs::path copied = Install("copied.ttf");
  EXPECT_TRUE(FamiliesListedFor(copied).empty());
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(FamiliesListedFor(copied).count(family_), 1u);
  EXPECT_FALSE(FamiliesListedFor(elsewhere).empty());
  // Loading it adds nothing the folder does not already bring.
  const int faces = PatternsFor(copied);
  ASSERT_GE(AddFontResourceA("copied.ttf"), 1);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(PatternsFor(copied), faces);
  EXPECT_TRUE(RemoveFontResourceA("copied.ttf"));

  fs::remove(copied);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  EXPECT_TRUE(FamiliesListedFor(copied).empty());
  EXPECT_TRUE(RemoveFontResourceA("C:\\Other\\elsewhere.ttf"));
  unsetenv("FONTCONFIG_FILE");
  FcInitReinitialize();
}

// Not on Windows, where a broadcast of another message reaches every window.
TEST(FontChange, OtherMessagesAndWindowsDoNothing) {
  testing_support::TempPrefix prefix;
  EXPECT_EQ(SendMessageA(HWND_BROADCAST, 0x10, 0, 0), 0);
  EXPECT_EQ(SendMessageA(1234, WM_FONTCHANGE, 0, 0), 0);
}

}  // namespace
