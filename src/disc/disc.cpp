// Finding the product disc by its volume label, the Traditional Chinese test, the language map
// and the localised string pairs.
#include "disc/disc.h"

#include <cctype>
#include <exception>

#include "platform/drives.h"
#include "platform/language.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace disc {
namespace {

constexpr platform::DWORD kDriveListSize = 32;
constexpr platform::DWORD kLabelSize = 128;

bool IsProductLabel(const char* label) {
  const char* product = kProductLabel;
  for (; *label && *product; ++label, ++product)
    if (std::toupper(static_cast<unsigned char>(*label)) != *product) return false;
  return *label == '\0' && *product == '\0';
}

std::string SearchDrives() {
  char drives[kDriveListSize] = {};
  // Not cleared between drives: a drive whose label cannot be read leaves the previous one,
  // which did not match either.
  char label[kLabelSize] = {};
  char fileSystem[kLabelSize] = {};
  if (platform::GetLogicalDriveStringsA(kDriveListSize, drives) == 0) return "0";
  for (const char* root = drives; root < drives + kDriveListSize && *root; root += 4) {
    if (platform::GetDriveTypeA(root) != platform::DRIVE_CDROM) continue;
    platform::DWORD maxComponent = 0, flags = 0;
    platform::GetVolumeInformationA(root, label, kLabelSize, nullptr, &maxComponent, &flags,
                                    fileSystem, kLabelSize);
    label[kLabelSize - 1] = '\0';
    if (IsProductLabel(label)) return root;
  }
  return "0";
}

}  // namespace

std::string FindProductDisc() {
  try {
    return SearchDrives();
  } catch (const std::exception&) {
    return "0";
  }
}

bool IsTraditionalChinese() {
  platform::LANGID language = platform::GetSystemDefaultLangID();
  return language == 1028 || language == 3076;
}

std::string ReadLanguageSuffix(const std::string& folder) {
  std::string key = std::to_string(platform::GetSystemDefaultLangID());
  return platform::ReadProfileString(folder + "tmp\\Info\\LangMap", "Lang", key, "");
}

std::string PickLocalizedString(unsigned n) {
  return platform::LoadResourceString(IsTraditionalChinese() ? n + 1 : n);
}

}  // namespace disc
