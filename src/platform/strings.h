#pragma once
// The program's string resources.

#include <string>

#include "platform/types.h"

namespace platform {

// LoadStringA: copies string resource id, converted to the ANSI code page, into buffer (cut to
// size - 1 characters) and returns its length; 0 when there is no such resource.
int LoadStringA(unsigned id, char* buffer, int size);
// The same as a text; empty when there is no such resource.
std::string LoadResourceString(unsigned id);

}  // namespace platform
