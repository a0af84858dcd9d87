#pragma once
// The ANSI code page of a system language, as Windows sets it up for that language.

#include "platform/types.h"

namespace platform {

// 1028, 3076, 5124 -> 950 (Big5); 2052, 4100 -> 936; 1041 -> 932; 1042 -> 949; else 1252.
unsigned CodePageOfLanguage(LANGID language);

}  // namespace platform
