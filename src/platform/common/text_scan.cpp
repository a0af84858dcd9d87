// The double-byte-aware searches of text.h and the code page of a language: the same on every
// backend, over its lead-byte test.
#include "platform/common/code_pages.h"
#include "platform/text.h"

namespace platform {

unsigned CodePageOfLanguage(LANGID language) {
  switch (language) {
    case 1028:
    case 3076:
    case 5124:  // Chinese (Macao) uses Big5 as well
      return 950;
    case 2052:
    case 4100:
      return 936;
    case 1041: return 932;
    case 1042: return 949;
    default: return 1252;
  }
}

std::size_t FindLastBackslash(std::string_view s) {
  const unsigned codePage = GetACP();
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(s[i])) && i + 1 < s.size())
      ++i;
    else if (s[i] == '\\')
      last = i;
  }
  return last;
}

std::size_t FindDbcs(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  const unsigned codePage = GetACP();
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (haystack.compare(i, needle.size(), needle) == 0) return i;
    if (IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(haystack[i]))) ++i;
  }
  return std::string_view::npos;
}

}  // namespace platform
