// The font-change broadcast with a few fonts in the Fonts folder (the rescan of that folder's
// cache and the refresh of this process's fontconfig), and one font loaded and unloaded again.
#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/fonts.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

void BM_FontChangeBroadcast(benchmark::State& state) {
  std::optional<fs::path> source = testing_support::HostTrueTypeFile();
  if (!source) {
    state.SkipWithError("no TrueType font on this host");
    return;
  }
  testing_support::TempPrefix prefix;
  fs::create_directories(prefix.fontsDir());
  for (int i = 0; i < state.range(0); ++i)
    fs::copy_file(*source, prefix.fontsDir() / ("font" + std::to_string(i) + ".ttf"));
  const fs::path changing = prefix.fontsDir() / "changing.ttf";
  for (auto _ : state) {
    // Each broadcast follows a real change of the folder, as after an install or a removal.
    state.PauseTiming();
    if (fs::exists(changing))
      fs::remove(changing);
    else
      fs::copy_file(*source, changing);
    state.ResumeTiming();
    platform::SendMessageA(platform::HWND_BROADCAST, platform::WM_FONTCHANGE, 0, 0);
  }
  const std::string folder = prefix.fontsDir().string();
  FcDirCacheUnlink(reinterpret_cast<const FcChar8*>(folder.c_str()), FcConfigGetCurrent());
}
BENCHMARK(BM_FontChangeBroadcast)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_AddAndRemoveFontResource(benchmark::State& state) {
  std::optional<fs::path> source = testing_support::HostTrueTypeFile();
  if (!source) {
    state.SkipWithError("no TrueType font on this host");
    return;
  }
  testing_support::TempPrefix prefix;
  fs::create_directories(prefix.fontsDir());
  fs::copy_file(*source, prefix.fontsDir() / "loaded.ttf");
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::AddFontResourceA("loaded.ttf"));
    platform::RemoveFontResourceA("loaded.ttf");
  }
}
BENCHMARK(BM_AddAndRemoveFontResource)->Unit(benchmark::kMicrosecond);

}  // namespace
