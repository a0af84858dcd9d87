#pragma once
// What the shared shell handlers ask of a backend: the system's own message box, shown when no
// handler is installed.

#include <string>

#include "platform/types.h"

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, DWORD type);

}  // namespace platform
