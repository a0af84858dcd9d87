#pragma once
// What each backend gives the shared LoadStringA: the text of one string resource.

#include <string>

namespace platform {

// The text of string resource id in the ANSI code page in force; false when there is none.
bool FindStringResource(unsigned id, std::string* ansi);

}  // namespace platform
