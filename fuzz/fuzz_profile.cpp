// libFuzzer target: arbitrary bytes parsed as a profile (INI) file, every section and key looked
// up through the buffer-filling reader, and an edit read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/profile_parser.h"

namespace {

using platform::DWORD;
using platform::posix::CopyProfileString;
using platform::posix::ParsedProfile;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Copies into a heap buffer of exactly size bytes, so that a write past it is caught.
std::string Copy(const ParsedProfile& profile, const char* section, const char* key, DWORD size) {
  std::vector<char> buffer(size ? size : 1, '\x7F');
  DWORD n = CopyProfileString(profile, section, key, "dflt", size ? buffer.data() : nullptr,
                              size);
  Check(size == 0 ? n == 0 : n < size);
  if (size == 0) return {};
  Check(buffer[n] == '\0');
  if (key == nullptr && n + 1 < size) Check(buffer[n + 1] == '\0');
  return std::string(buffer.data(), n);
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 0x81 && c <= 0xFE) {
      ++i;
    } else if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  auto profile = ParsedProfile::Parse(bytes);
  DWORD small = size ? static_cast<DWORD>(data[0] % 24) : 3;

  Copy(*profile, nullptr, nullptr, small);
  Copy(*profile, nullptr, nullptr, 4096);
  for (const auto& section : profile->sections()) {
    std::string name(section.name);
    Check(profile->FindSection(Upper(name)) == &section);
    Copy(*profile, name.c_str(), nullptr, small);
    // The key list names every listed key each time it occurs; comments and nameless keys stay
    // out of it, and a lookup finds the first line of a name.
    DWORD listSize = 2;
    std::size_t listed = 0;
    for (const auto& key : section.keys) {
      if (!key.listed) continue;
      listSize += static_cast<DWORD>(key.name.size() + 1);
      ++listed;
    }
    Check(platform::posix::ProfileKeys(*profile, name, listSize).size() == listed);
    for (const auto& key : section.keys) {
      if (!key.first) continue;
      std::string keyName(key.name);
      std::string value = Copy(*profile, name.c_str(), keyName.c_str(), 2048);
      Check(value == std::string(key.value.substr(0, 2047)));
      Check(platform::posix::ProfileValue(*profile, name, Upper(keyName), "dflt") == value);
      std::string cut = Copy(*profile, name.c_str(), keyName.c_str(), small);
      Check(cut == value.substr(0, small ? small - 1 : 0));
    }
  }

  // Set a key whose name and value come from the input, then read the file back.
  std::string_view content(bytes);
  while (!content.empty() && content.back() == '\0') content.remove_suffix(1);
  if (content.find('\0') != std::string_view::npos) return 0;  // binary: the writer refuses it
  std::string section = "fz", key = "k";
  if (!profile->sections().empty()) section = std::string(profile->sections().front().name);
  std::string value(content.substr(0, 40));
  if (section.find_first_of("]\r\n") != std::string::npos ||
      value.find_first_of("\r\n") != std::string::npos ||
      section.find_first_not_of(" \t") == std::string::npos)
    return 0;
  std::string edited = bytes;
  platform::posix::EditProfileBytes(edited, section, key.c_str(), value.c_str());
  auto reread = ParsedProfile::Parse(edited);
  std::string expected(platform::posix::ClassifyProfileLine(key + "=" + value).value);
  Check(platform::posix::ProfileValue(*reread, section, key, "") == expected.substr(0, 2047));
  return 0;
}
