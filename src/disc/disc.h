#pragma once
// The product disc and the language: finding the disc by its volume label, the Traditional
// Chinese test, the language map of a disc folder and the localised string pairs.

#include <string>

namespace disc {

// The volume label of the product disc.
inline constexpr const char* kProductLabel = "QRTMV";

// The root of the first CD-ROM drive whose volume label is "QRTMV" (compared without regard to
// case), exactly as listed ("E:\"); "0" when there is none or anything fails.
std::string FindProductDisc();

// True when the system default language is exactly 1028 or 3076.
bool IsTraditionalChinese();

// The language name of a disc folder (ending in a backslash): the value of the key named by the
// decimal system language in section Lang of folder + "tmp\Info\LangMap"; empty when missing.
std::string ReadLanguageSuffix(const std::string& folder);

// String resource n + 1 on a Traditional Chinese system, else n; empty when there is none.
std::string PickLocalizedString(unsigned n);

}  // namespace disc
