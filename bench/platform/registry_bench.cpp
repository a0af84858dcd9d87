// Enumerating an installed-font list of 10,000 entries, as the font state query does once for
// every font of a style.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/registry.h"
#include "support/test_support.h"

namespace {

using namespace platform;

constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr int kValues = 10000;

// One prefix for the whole program, its font list filled once through the raw calls.
void FillFontList() {
  static std::unique_ptr<testing_support::TempPrefix> prefix;
  if (prefix) return;
  prefix = std::make_unique<testing_support::TempPrefix>(1028);
  HKEY key = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    throw std::runtime_error("no font list");
  for (int i = 0; i < kValues; ++i) {
    char name[64], file[32];
    std::snprintf(name, sizeof name, "Zelva \xA4\xA4\xA4\xE5 Font %05d (TrueType)", i);
    int length = std::snprintf(file, sizeof file, "zf%05d.ttf", i);
    if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(file),
                       static_cast<DWORD>(length + 1)) != ERROR_SUCCESS)
      throw std::runtime_error("cannot fill the font list");
  }
  RegCloseKey(key);
}

// One state query's worth of listing: open the key, every value name, close.
std::size_t ListOnce(bool withData) {
  HKEY key = 0;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key);
  char name[256];
  BYTE data[256];
  std::size_t total = 0;
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, type = 0, dataSize = sizeof data;
    LONG rc = withData ? RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize)
                       : RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    total += nameSize;
  }
  RegCloseKey(key);
  return total;
}

void BM_RegEnumValueNames(benchmark::State& state) {
  FillFontList();
  for (auto _ : state) benchmark::DoNotOptimize(ListOnce(false));
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_RegEnumValueNames)->Unit(benchmark::kMicrosecond);

void BM_RegEnumValueNamesAndData(benchmark::State& state) {
  FillFontList();
  for (auto _ : state) benchmark::DoNotOptimize(ListOnce(true));
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_RegEnumValueNamesAndData)->Unit(benchmark::kMicrosecond);

void BM_ListRegistryValueNames(benchmark::State& state) {
  FillFontList();
  for (auto _ : state) benchmark::DoNotOptimize(ListRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey));
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ListRegistryValueNames)->Unit(benchmark::kMicrosecond);

void BM_ShareRegistryValueNames(benchmark::State& state) {
  FillFontList();
  for (auto _ : state)
    benchmark::DoNotOptimize(ShareRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey));
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ShareRegistryValueNames)->Unit(benchmark::kMicrosecond);

// The style of 500 fonts: one listing per font.
void BM_StyleOf500Fonts(benchmark::State& state) {
  FillFontList();
  for (auto _ : state)
    for (int font = 0; font < 500; ++font) benchmark::DoNotOptimize(ListOnce(false));
}
BENCHMARK(BM_StyleOf500Fonts)->Unit(benchmark::kMillisecond);

// The first listing after a write (an install) reads the key from the store again.
void BM_RegEnumValueNamesAfterAWrite(benchmark::State& state) {
  FillFontList();
  HKEY key = 0;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key);
  DWORD counter = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++counter;
    RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&counter), 4);
    state.ResumeTiming();
    benchmark::DoNotOptimize(ListOnce(false));
  }
  RegCloseKey(key);
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_RegEnumValueNamesAfterAWrite)->Unit(benchmark::kMicrosecond);

void BM_RegQueryValue(benchmark::State& state) {
  FillFontList();
  HKEY key = 0;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key);
  BYTE data[256];
  for (auto _ : state) {
    DWORD type = 0, size = sizeof data;
    benchmark::DoNotOptimize(RegQueryValueExA(key, "zelva \xA4\xA4\xA4\xE5 font 05000 (truetype)",
                                              nullptr, &type, data, &size));
  }
  RegCloseKey(key);
}
BENCHMARK(BM_RegQueryValue)->Unit(benchmark::kMicrosecond);

}  // namespace
