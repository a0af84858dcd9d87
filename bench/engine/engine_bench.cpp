// Engine benchmarks on generated discs in a temporary prefix: loading a large catalogue with the
// lookups of a list rebuild, the state query of a whole style against a long installed-font
// list, installing 200 MB of fonts compared with cp of the same files, and counting, listing
// and running over a chain of 4,000 linked fonts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// A prefix with a disc folder declared as D:, holding the set TTF.
struct Disc {
  testing_support::TempPrefix prefix;
  testing_support::TempDir disc;
  Disc() {
    fs::create_directories(info());
    platform::DriveDeclaration drive;
    drive.letter = 'D';
    drive.hostFolder = disc.str();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Process);
  }
  ~Disc() {
    engine::ReleaseEngine();
    platform::ForgetDrive('D', platform::DeclarationScope::Process);
  }
  fs::path set() const { return disc.path() / "TTF"; }
  fs::path info() const { return set() / "tmp" / "Info"; }
  void Write(const std::string& name, const std::string& bytes) const {
    testing_support::WriteFile(info() / name, bytes);
  }
  bool Load() const { return engine::LoadCatalogue("D:\\TTF\\tmp\\Info", "D:\\TTF", 0); }
};

std::string Key(const char* kind, int i) { return std::string(kind) + std::to_string(i); }

// A catalogue of fonts in styles of fontsPerStyle each, with a localised Style file, two
// registration names per font, and the fonts linked in pairs (regular and bold, say).
void WriteCatalogue(const Disc& disc, int styles, int fontsPerStyle) {
  std::string style = "[StyleList]\r\n", local = "[StyleList]\r\n", fonts;
  disc.Write("LangMap", "[Lang]\r\n1033=eng\r\n");
  for (int s = 0; s < styles; ++s) {
    style += Key("S", s) + "=Style " + std::to_string(s) + "\r\n";
    local += Key("S", s) + "=Local style " + std::to_string(s) + "\r\n";
  }
  for (int s = 0; s < styles; ++s) {
    style += "[" + Key("S", s) + "]\r\n";
    local += "[" + Key("S", s) + "]\r\n";
    for (int f = 0; f < fontsPerStyle; ++f) {
      const int n = s * fontsPerStyle + f;
      style += Key("F", n) + "=Font " + std::to_string(n) + "\r\n";
      local += Key("F", n) + "=Local font " + std::to_string(n) + "\r\n";
      fonts += "[" + Key("F", n) + "]\r\nSource=fonts\\" + Key("f", n) + ".ttf\r\nSample=" +
               Key("s", n) + ".jpg\r\nSize=12.5\r\nRegNameCount=2\r\nRegName1=Zelva " +
               std::to_string(n) + "\r\nRegName2=Orchid " + std::to_string(n) +
               "\r\nLinkCount=1\r\nLink1=" + Key("F", n ^ 1) +
               "\r\n";
    }
  }
  disc.Write("Style", style);
  disc.Write("Style.eng", local);
  disc.Write("Font", fonts);
}

// What the font window does to show a set and one style's rows, less the state queries. With
// changedFiles, every load finds the catalogue files changed on disc and parses them again.
void RebuildList(benchmark::State& state, bool everyStyle, bool changedFiles = false) {
  Disc disc;
  WriteCatalogue(disc, 40, 50);
  std::size_t lookups = 0;
  for (auto _ : state) {
    if (changedFiles) {
      state.PauseTiming();
      for (const char* name : {"Style", "Style.eng", "Font"}) {
        const fs::path path = disc.info() / name;
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
      }
      state.ResumeTiming();
    }
    if (!disc.Load()) state.SkipWithError("LoadCatalogue failed");
    std::vector<std::string> names, fonts;
    engine::ListStyleNames(names);
    for (std::size_t s = 0; s < (everyStyle ? names.size() : 1); ++s) {
      engine::SelectStyle(names[s]);
      engine::ListStyleFonts(fonts);
      std::string value;
      for (const std::string& font : fonts) {
        engine::GetFontName(font, value);
        engine::ReadFontValue(font, "Sample", value);
        lookups += 2;
      }
    }
    benchmark::DoNotOptimize(lookups);
  }
  state.counters["lookups"] = benchmark::Counter(static_cast<double>(lookups) / state.iterations());
}

void BM_LoadCatalogueAndOneStyle(benchmark::State& state) { RebuildList(state, false); }
void BM_LoadCatalogueAndEveryStyle(benchmark::State& state) { RebuildList(state, true); }
void BM_LoadChangedCatalogueAndEveryStyle(benchmark::State& state) {
  RebuildList(state, true, true);
}
BENCHMARK(BM_LoadCatalogueAndOneStyle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCatalogueAndEveryStyle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadChangedCatalogueAndEveryStyle)->Unit(benchmark::kMillisecond);

// QueryFontState for every font of a 500-font style against 10,000 installed-font entries, of
// which every other font of the style owns one (with its file in the Fonts folder).
void QueryStyle(benchmark::State& state, bool changeFirst) {
  Disc disc;
  WriteCatalogue(disc, 1, 500);
  const fs::path fonts = disc.prefix.fontsDir();
  for (int n = 0; n < 500; ++n) {
    testing_support::WriteFile(disc.set() / "fonts" / (Key("f", n) + ".ttf"), std::string(1000, 'x'));
  }
  platform::HKEY key = 0;
  platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, kFontsKey, 0, nullptr, 0,
                            platform::KEY_ALL_ACCESS, nullptr, &key, nullptr);
  for (int i = 0; i < 10000; ++i) {
    std::string name, data;
    if (i % 40 == 0 && i / 40 < 250) {
      const int n = (i / 40) * 2;
      name = "Zelva " + std::to_string(n) + " & Orchid " + std::to_string(n) + " (TrueType)";
      data = Key("f", n) + ".ttf";
      testing_support::WriteFile(fonts / data, std::string(1000, 'x'));
    } else {
      name = "Other Family " + std::to_string(i) + " Regular (TrueType)";
      data = Key("other", i) + ".ttf";
    }
    platform::RegSetValueExA(key, name.c_str(), 0, platform::REG_SZ,
                             reinterpret_cast<const platform::BYTE*>(data.c_str()),
                             static_cast<platform::DWORD>(data.size() + 1));
  }
  platform::RegCloseKey(key);
  if (!disc.Load() || !engine::SelectStyle("Local style 0")) state.SkipWithError("load failed");
  std::vector<std::string> list;
  engine::ListStyleFonts(list);
  int installed = 0;
  int changes = 0;
  for (auto _ : state) {
    if (changeFirst) {
      // As after a run: the list changed, so the first query works from a new snapshot.
      state.PauseTiming();
      platform::HKEY fonts = 0;
      platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kFontsKey, 0, platform::KEY_ALL_ACCESS,
                              &fonts);
      const std::string data = "changed" + std::to_string(++changes) + ".ttf";
      platform::RegSetValueExA(fonts, "Changed (TrueType)", 0, platform::REG_SZ,
                               reinterpret_cast<const platform::BYTE*>(data.c_str()),
                               static_cast<platform::DWORD>(data.size() + 1));
      platform::RegCloseKey(fonts);
      state.ResumeTiming();
    }
    installed = 0;
    for (const std::string& font : list) {
      if (engine::QueryFontState(font) & (engine::FontInstalled | engine::LinkInstalled)) {
        ++installed;
      }
    }
  }
  state.counters["fonts"] = static_cast<double>(list.size());
  state.counters["installed"] = installed;
}
void BM_QueryFontStateOfAStyle(benchmark::State& state) { QueryStyle(state, false); }
void BM_QueryFontStateOfAStyleAfterAChange(benchmark::State& state) { QueryStyle(state, true); }
BENCHMARK(BM_QueryFontStateOfAStyle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryFontStateOfAStyleAfterAChange)->Unit(benchmark::kMillisecond);

// Copies of the machine's font files on the disc, about 200 MB in all, and a catalogue style
// "All" that lists them.
std::uintmax_t Write200Megabytes(const Disc& disc, int* files) {
  std::vector<fs::path> sources;
  for (const char* dir : {"/usr/share/fonts/truetype", "/usr/share/fonts/opentype"}) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const auto ext = it->path().extension();
      if (it->is_regular_file() && (ext == ".ttf" || ext == ".ttc" || ext == ".otf")) {
        sources.push_back(it->path());
      }
    }
  }
  std::sort(sources.begin(), sources.end());
  std::string style = "[StyleList]\r\nS=All\r\n[S]\r\n", catalogue;
  std::uintmax_t total = 0;
  int count = 0;
  fs::create_directories(disc.set() / "fonts");
  for (std::size_t i = 0; !sources.empty() && total < 200u * 1024 * 1024; ++i, ++count) {
    const fs::path& from = sources[i % sources.size()];
    const std::string name = Key("font", count) + from.extension().string();
    fs::copy_file(from, disc.set() / "fonts" / name);
    total += fs::file_size(from);
    style += Key("F", count) + "=Font " + std::to_string(count) + "\r\n";
    catalogue += "[" + Key("F", count) + "]\r\nSource=fonts\\" + name +
                 "\r\nRegNameCount=1\r\nRegName1=Bench " + std::to_string(count) + "\r\n";
  }
  disc.Write("Style", style);
  disc.Write("Font", catalogue);
  *files = count;
  return total;
}

double SecondsOfCp(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  std::system("sync");
  const auto start = std::chrono::steady_clock::now();
  const std::string cp = "cp " + from.string() + "/* " + to.string() + "/";
  if (std::system(cp.c_str()) != 0) return 0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The engine's block copy alone, file by file, against cp of the same files.
void BM_CopyFontFile200MegabytesAgainstCp(benchmark::State& state) {
  Disc disc;
  int files = 0;
  const std::uintmax_t total = Write200Megabytes(disc, &files);
  if (files == 0) {
    state.SkipWithError("no fonts on this machine");
    return;
  }
  testing_support::TempDir target;
  const fs::path copies = disc.prefix.path() / "drive_c" / "copy";
  double copySeconds = 0, cpSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cpSeconds += SecondsOfCp(disc.set() / "fonts", target.path() / "out");
    // Like cp, the copies go into an empty folder: overwriting would time the file system's
    // freeing of the old blocks.
    fs::remove_all(copies);
    fs::create_directories(copies);
    std::system("sync");
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < files; ++i) {
      const std::string name = Key("font", i);
      for (const char* ext : {".ttf", ".ttc", ".otf"}) {
        if (!fs::exists(disc.set() / "fonts" / (name + ext))) continue;
        engine::CopyFontFile(("D:\\TTF\\fonts\\" + name + ext).c_str(),
                             ("C:\\copy\\" + name + ext).c_str());
      }
    }
    copySeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["MB"] = static_cast<double>(total) / 1048576.0;
  state.counters["files"] = files;
  state.counters["copy_s"] = copySeconds / state.iterations();
  state.counters["cp_s"] = cpSeconds / state.iterations();
  state.counters["cp_over_copy"] = cpSeconds / copySeconds;
}
BENCHMARK(BM_CopyFontFile200MegabytesAgainstCp)->Unit(benchmark::kMillisecond)->Iterations(3);

// Installing 200 MB of fonts in one run (copies, loading, registration, the state queries of
// the run and its broadcast) against cp of the same files into another folder of the same file
// system, each measured in the same iteration.
void BM_Install200MegabytesAgainstCp(benchmark::State& state) {
  Disc disc;
  int files = 0;
  const std::uintmax_t total = Write200Megabytes(disc, &files);
  if (files == 0) {
    state.SkipWithError("no fonts on this machine");
    return;
  }
  testing_support::TempDir cpTarget;
  double installSeconds = 0, cpSeconds = 0, removeSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!disc.Load() || !engine::SelectStyle("All")) state.SkipWithError("load failed");
    std::vector<std::string> list;
    engine::ListStyleFonts(list);
    for (const auto& font : list) engine::AddToSelection(font);
    cpSeconds += SecondsOfCp(disc.set() / "fonts", cpTarget.path() / "out");
    std::system("sync");
    state.ResumeTiming();

    const auto start = std::chrono::steady_clock::now();
    engine::InstallSelection(nullptr, nullptr);
    installSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    state.PauseTiming();
    const auto removal = std::chrono::steady_clock::now();
    engine::RemoveSelection(nullptr, nullptr);
    removeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - removal).count();
    std::system("sync");
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(total) / 1048576.0;
  state.counters["files"] = files;
  state.counters["install_s"] = installSeconds / state.iterations();
  state.counters["remove_s"] = removeSeconds / state.iterations();
  state.counters["cp_s"] = cpSeconds / state.iterations();
  state.counters["cp_over_install"] = cpSeconds / installSeconds;
}
BENCHMARK(BM_Install200MegabytesAgainstCp)->Unit(benchmark::kMillisecond)->Iterations(3);

// A chain of 4,000 fonts (font n links font n + 1) whose head is the one font of a style, each
// with its file on the disc and, when installed, its entry and its file in the Fonts folder.
struct Chain {
  static constexpr int kLength = 4000;
  Disc disc;
  std::vector<std::string> fonts;  // the whole chain, head first

  explicit Chain(bool installed) {
    const std::string style = "[StyleList]\r\nS=Chain\r\n[S]\r\nC0=Chain 0\r\n";
    std::string catalogue;
    for (int n = 0; n < kLength; ++n) {
      fonts.push_back(Key("C", n));
      catalogue += "[" + Key("C", n) + "]\r\nSource=fonts\\" + Key("c", n) +
                   ".ttf\r\nSize=0.5\r\nRegNameCount=1\r\nRegName1=Chain " + std::to_string(n) +
                   "\r\n";
      if (n + 1 < kLength) catalogue += "LinkCount=1\r\nLink1=" + Key("C", n + 1) + "\r\n";
      testing_support::WriteFile(disc.set() / "fonts" / (Key("c", n) + ".ttf"),
                                 std::string(1000, 'x'));
    }
    disc.Write("Style", style);
    disc.Write("Font", catalogue);
    platform::HKEY key = 0;
    platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, kFontsKey, 0, nullptr, 0,
                              platform::KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (int n = 0; installed && n < kLength; ++n) {
      const std::string name = "Chain " + std::to_string(n) + " (TrueType)";
      const std::string data = Key("c", n) + ".ttf";
      testing_support::WriteFile(disc.prefix.fontsDir() / data, std::string(1000, 'x'));
      platform::RegSetValueExA(key, name.c_str(), 0, platform::REG_SZ,
                               reinterpret_cast<const platform::BYTE*>(data.c_str()),
                               static_cast<platform::DWORD>(data.size() + 1));
    }
    platform::RegCloseKey(key);
    loaded = disc.Load() && engine::SelectStyle("Chain");
  }

  // The head of the chain selected, its links included.
  bool SelectHead() const {
    engine::ClearSelection();
    engine::SetIncludeLinks(true);
    return loaded && engine::AddToSelection(fonts.front());
  }

  bool loaded = false;
};

// The window's counters for the head of the chain: the number of fonts and the space.
void BM_CountChainOf4000Links(benchmark::State& state) {
  Chain chain(false);
  if (!chain.SelectHead()) state.SkipWithError("load failed");
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine::CountSelection(false));
    benchmark::DoNotOptimize(engine::SelectionSpace(false));
  }
}
BENCHMARK(BM_CountChainOf4000Links)->Unit(benchmark::kMillisecond);

// The states of every font of the chain, as the font list and the fonts listing ask for them.
void BM_ListChainOf4000Links(benchmark::State& state) {
  Chain chain(true);
  if (!chain.loaded) state.SkipWithError("load failed");
  std::size_t installed = 0;
  for (auto _ : state) {
    installed = 0;
    for (std::uint32_t bits : engine::QueryFontStates(chain.fonts)) {
      if (bits & engine::FontInstalled) ++installed;
    }
  }
  state.counters["installed"] = static_cast<double>(installed);
}
BENCHMARK(BM_ListChainOf4000Links)->Unit(benchmark::kMillisecond);

// A run over the whole chain in which every font is already in the wanted state: the link
// expansion, the count and the state test of every font, without a file copied or deleted.
void RunOverChain(benchmark::State& state, bool install) {
  Chain chain(install);
  if (!chain.SelectHead()) state.SkipWithError("load failed");
  int handled = 0;
  const auto count = [](int done, int, const char* name, void* context) {
    if (!name) *static_cast<int*>(context) = done;
  };
  for (auto _ : state) {
    if (install) {
      engine::InstallSelection(count, &handled);
    } else {
      engine::RemoveSelection(count, &handled);
    }
  }
  state.counters["handled"] = handled;
}
void BM_InstallRunOverInstalledChainOf4000Links(benchmark::State& state) {
  RunOverChain(state, true);
}
void BM_RemoveRunOverRemovedChainOf4000Links(benchmark::State& state) {
  RunOverChain(state, false);
}
BENCHMARK(BM_InstallRunOverInstalledChainOf4000Links)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveRunOverRemovedChainOf4000Links)->Unit(benchmark::kMillisecond);

}  // namespace
