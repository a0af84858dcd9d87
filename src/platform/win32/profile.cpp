// Profile (INI) files through kernel32's private-profile functions. The parsed-file view reads
// the file's bytes with the backends' shared parser of the same rules, since the system offers
// no way to hold one version of a file.
#include "platform/profile.h"

#include <algorithm>
#include <string>

#include "platform/posix/profile_parser.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {
namespace {

using posix::ParsedProfile;

// A profile larger than this is not an INI file anyone wrote by hand; it reads as empty rather
// than filling memory.
constexpr ::DWORD kMaxProfileBytes = 32 * 1024 * 1024;

std::wstring Wide(const char* text) { return text ? win32::ToWide(text, CP_ACP) : L""; }
std::string Narrow(const std::wstring& text) { return win32::FromWide(text, CP_ACP); }

std::shared_ptr<const ParsedProfile> LoadProfile(const std::string& fileName) {
  if (fileName.empty()) return ParsedProfile::Empty();
  const ::HANDLE file = ::CreateFileA(fileName.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ParsedProfile::Empty();
  std::shared_ptr<const ParsedProfile> profile = ParsedProfile::Empty();
  LARGE_INTEGER size{};
  if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) &&
      size.QuadPart <= kMaxProfileBytes) {
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    ::DWORD done = 0;
    if (::ReadFile(file, bytes.data(), static_cast<::DWORD>(bytes.size()), &done, nullptr)) {
      bytes.resize(done);
      profile = ParsedProfile::Parse(std::move(bytes));
    }
  }
  ::CloseHandle(file);
  return profile;
}

}  // namespace

// Through the W function, then cut to the caller's buffer under the A contract (Wine's A function
// ends a cut list with one NUL, Windows with two). Texts cross in the system's own code page, in
// which the system also reads the file's bytes: a prefix language cannot change that. A nameless
// key ("=v") is left out of key lists, as the POSIX reader leaves it out: its empty name would
// end the list early for every caller.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  const std::wstring sectionW = Wide(section), keyW = Wide(key), fileW = Wide(fileName);
  const bool list = section == nullptr || key == nullptr;
  auto ask = [&](const char* fallback) {
    const std::wstring fallbackW = Wide(fallback);
    std::wstring answer(std::max<DWORD>(size, 256), L'\0');
    for (;;) {
      const ::DWORD capacity = static_cast<::DWORD>(answer.size());
      const ::DWORD length = ::GetPrivateProfileStringW(
          section ? sectionW.c_str() : nullptr, key ? keyW.c_str() : nullptr,
          fallback ? fallbackW.c_str() : nullptr, answer.data(), capacity,
          fileName ? fileW.c_str() : nullptr);
      const bool cut = length + (list ? 2 : 1) >= capacity;
      if (!cut || capacity >= kMaxProfileBytes) {
        answer.resize(length);
        return answer;
      }
      answer.resize(answer.size() * 4);
    }
  };
  if (!list) return posix::CopyProfileValue(Narrow(ask(defaultValue)), buffer, size);
  std::vector<std::string> names;
  const std::wstring answer = ask("");
  for (std::size_t start = 0; start < answer.size();) {
    const std::size_t end = std::min(answer.find(L'\0', start), answer.size());
    if (end > start) names.push_back(Narrow(answer.substr(start, end - start)));
    start = end + 1;
  }
  // No names: the default, as the system gives it (without its trailing spaces).
  const std::string fallback = names.empty() && defaultValue ? Narrow(ask(defaultValue)) : "";
  return posix::CopyProfileList(std::vector<std::string_view>(names.begin(), names.end()),
                                fallback, buffer, size);
}

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  char buffer[2048];
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                                buffer, sizeof buffer, fileName.c_str());
  return std::string(buffer, length);
}

std::vector<std::string> ReadProfileKeys(const std::string& fileName, const std::string& section,
                                         DWORD bufferSize) {
  std::vector<std::string> keys;
  if (bufferSize == 0) return keys;
  std::string buffer(bufferSize, '\0');
  const DWORD length = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                                bufferSize, fileName.c_str());
  // NUL-separated names; a cut list still ends in two NULs.
  for (std::size_t start = 0; start < length;) {
    const std::size_t end = buffer.find('\0', start);
    if (end == start || end == std::string::npos) break;
    keys.emplace_back(buffer, start, end - start);
    start = end + 1;
  }
  return keys;
}

ProfileView OpenProfileFile(const std::string& fileName) {
  ProfileView view;
  view.parsed_ = LoadProfile(fileName);
  return view;
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  // Windows would write these, but its reader would read back something else.
  if (section == nullptr || fileName == nullptr || !posix::ValidProfileEdit(section, key, value)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return ::WritePrivateProfileStringA(section, key, value, fileName) != FALSE;
}

}  // namespace platform
