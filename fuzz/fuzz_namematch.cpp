// libFuzzer target: the registration-name match on arbitrary byte strings in the Big5 code page,
// against a plain reference that walks the value name character by character.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "platform/prefix.h"
#include "platform/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Setup() {
  static bool done = [] {
    namespace fs = std::filesystem;
    std::string templ = (fs::temp_directory_path() / "zffuzz-XXXXXX").string();
    Check(mkdtemp(templ.data()) != nullptr);
    static const fs::path removeAtExit = templ;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(removeAtExit, ec);
    });
    setenv("ZELVAFONT_PREFIX", templ.c_str(), 1);
    platform::ReopenPrefix();
    platform::SetSystemLanguageSetting(1028);
    Check(platform::GetACP() == 950);
    return true;
  }();
  (void)done;
}

// The first occurrence of name that starts on a character boundary of value.
bool Reference(std::string_view name, std::string_view value) {
  if (name.empty()) return false;
  for (std::size_t p = 0; p < value.size();) {
    if (value.substr(p, name.size()) == name) {
      if (p > 0 && value[p - 1] != ' ') return false;
      return p + name.size() < value.size() && value[p + name.size()] == ' ';
    }
    p += (platform::IsDBCSLeadByte(static_cast<unsigned char>(value[p])) && p + 1 < value.size())
             ? 2
             : 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Setup();
  if (size == 0) return 0;
  const std::size_t cut = data[0] % size;
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string name = input.substr(0, std::min(cut, input.size()));
  const std::string value = input.substr(std::min(cut, input.size()));
  Check(engine::NameMatches(name, value) == Reference(name, value));
  Check(engine::NameMatches(name, name + " (TrueType)") == !name.empty());
  return 0;
}
