// Profile (INI) reading: a lookup in a parsed 200-key section, the parse of a 1 MB file, and the
// whole GetPrivateProfileStringA path (path resolution, stat, cache) on a real file.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/posix/profile_parser.h"
#include "platform/profile.h"
#include "support/test_support.h"

namespace {

using platform::posix::ParsedProfile;

std::string StyleSection(int keys) {
  std::string file = "[StyleList]\r\n";
  for (int i = 0; i < keys; ++i)
    file += "Style" + std::to_string(i) + "=\xB7\x73\xB2\xD3 Style " + std::to_string(i) + "\r\n";
  return file;
}

// Font sections as a catalogue holds them, repeated up to about one megabyte.
std::string MegabyteCatalogue() {
  std::string file;
  for (int font = 0; file.size() < 1024 * 1024; ++font) {
    std::string n = std::to_string(font);
    file += "[Font" + n + "]\r\nSource=TTF\\font" + n + ".ttf\r\nSample=font" + n +
            ".jpg\r\nSize=12.5\r\nRegNameCount=2\r\nRegName1=Zelva Font " + n +
            "\r\nRegName2=\xB7\x73\xB2\xD3 " + n + "\r\n1028RegNameCount=1\r\n" +
            "1028RegName1=\"\xA6\x72\xAB\xAC " + n + "\"\r\n; note\r\nLinkCount=0\r\n\r\n";
  }
  return file;
}

void BM_LookupInParsedSection(benchmark::State& state) {
  auto profile = ParsedProfile::Parse(StyleSection(200));
  std::string keys[200];
  for (int i = 0; i < 200; ++i) keys[i] = "STYLE" + std::to_string(i);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(profile->FindKey("stylelist", keys[i]));
    i = (i + 1) % 200;
  }
}
BENCHMARK(BM_LookupInParsedSection);

void BM_ValueFromParsedSection(benchmark::State& state) {
  auto profile = ParsedProfile::Parse(StyleSection(200));
  for (auto _ : state)
    benchmark::DoNotOptimize(platform::posix::ProfileValue(*profile, "StyleList", "Style150", ""));
}
BENCHMARK(BM_ValueFromParsedSection);

void BM_ParseOneMegabyte(benchmark::State& state) {
  const std::string file = MegabyteCatalogue();
  for (auto _ : state) benchmark::DoNotOptimize(ParsedProfile::Parse(file));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ParseOneMegabyte)->Unit(benchmark::kMillisecond);

void BM_ReadProfileStringFromFile(benchmark::State& state) {
  testing_support::TempPrefix prefix;
  testing_support::WriteFile(prefix.path() / "drive_c" / "TTF" / "tmp" / "Info" / "StyleA",
                             StyleSection(200));
  const std::string path = "C:\\TTF\\tmp\\Info\\StyleA";
  for (auto _ : state)
    benchmark::DoNotOptimize(platform::ReadProfileString(path, "StyleList", "Style150", ""));
}
BENCHMARK(BM_ReadProfileStringFromFile);

void BM_ReadProfileKeysFromFile(benchmark::State& state) {
  testing_support::TempPrefix prefix;
  testing_support::WriteFile(prefix.path() / "drive_c" / "TTF" / "tmp" / "Info" / "StyleA",
                             StyleSection(200));
  const std::string path = "C:\\TTF\\tmp\\Info\\StyleA";
  for (auto _ : state)
    benchmark::DoNotOptimize(platform::ReadProfileKeys(path, "StyleList"));
}
BENCHMARK(BM_ReadProfileKeysFromFile);

}  // namespace
