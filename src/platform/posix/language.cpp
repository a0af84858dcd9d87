// The system language (the prefix's setting or the locale) and the version record.
#include "platform/language.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/posix/backend.h"

namespace platform {
namespace {

constexpr DWORD kErrorInsufficientBuffer = 122;

struct LocaleLanguage {
  const char* name;  // "zh_TW", or a bare language that stands for its main country
  LANGID id;
};

// Full names first: a bare language is the fallback for countries not listed.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_MO", 5124}, {"zh_CN", 2052}, {"zh_SG", 2052},
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en_NZ", 5129},
    {"en_IE", 6153}, {"fr_CA", 3084}, {"fr_BE", 2060}, {"fr_CH", 4108}, {"de_AT", 3079},
    {"de_CH", 2055}, {"es_MX", 2058}, {"pt_BR", 1046}, {"pt_PT", 2070}, {"nl_BE", 2067},
    {"zh", 2052},    {"ja", 1041},    {"ko", 1042},    {"en", 1033},    {"de", 1031},
    {"fr", 1036},    {"es", 3082},    {"it", 1040},    {"nl", 1043},    {"pt", 2070},
    {"ru", 1049},    {"pl", 1045},    {"sv", 1053},    {"da", 1030},    {"nb", 1044},
    {"fi", 1035},    {"cs", 1029},    {"hu", 1038},    {"tr", 1055},    {"el", 1032},
    {"th", 1054},    {"vi", 1066},
};

// "zh_TW.UTF-8@mod" -> "zh_TW"
std::string_view LocaleName(std::string_view locale) {
  return locale.substr(0, locale.find_first_of(".@"));
}

LANGID LanguageOfLocale() {
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) {
      locale = value;
      break;
    }
  }
  if (!locale) return 1033;
  std::string_view name = LocaleName(locale);
  std::string_view language = name.substr(0, name.find('_'));
  for (const auto& entry : kLocaleLanguages)
    if (name == entry.name) return entry.id;
  for (const auto& entry : kLocaleLanguages)
    if (language == entry.name) return entry.id;
  return 1033;
}

DWORD BuildNumberOf(DWORD major, DWORD minor) {
  if (major == 10) return 19045;
  if (major == 6 && minor == 0) return 6002;
  if (major == 6 && minor == 1) return 7601;
  if (major == 5 && minor == 1) return 2600;
  return 0;
}

}  // namespace

LANGID GetSystemDefaultLangID() {
  // Asked for every byte of a double-byte scan: remembered per prefix generation, packed as
  // generation << 16 | language so that one atomic holds both.
  static std::atomic<std::uint64_t> cached{0};
  std::uint64_t generation = posix::PrefixGeneration();
  std::uint64_t packed = cached.load(std::memory_order_acquire);
  if (packed != 0 && (packed >> 16) == generation) return static_cast<LANGID>(packed & 0xFFFF);
  LANGID language = posix::CurrentSettings().language;
  if (language == 0) language = LanguageOfLocale();
  cached.store(generation << 16 | language, std::memory_order_release);
  return language;
}

bool GetVersionExA(OSVERSIONINFOA* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(info ? kErrorInsufficientBuffer : ERROR_INVALID_PARAMETER);
    return false;
  }
  posix::Settings settings = posix::CurrentSettings();
  if (settings.versionFails) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  info->dwMajorVersion = settings.versionMajor;
  info->dwMinorVersion = settings.versionMinor;
  info->dwBuildNumber = BuildNumberOf(settings.versionMajor, settings.versionMinor);
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return true;
}

}  // namespace platform
