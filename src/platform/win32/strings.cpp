// The program's string resources: the STRINGTABLE of strings.rc, read with LoadStringW and
// converted to the ANSI code page in force, as LoadStringA converts to the system's.
#include "platform/common/string_resources.h"
#include "platform/text.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {

bool FindStringResource(unsigned id, std::string* ansi) {
  const wchar_t* resource = nullptr;
  // A buffer size of 0 asks for a pointer to the resource itself (not NUL-terminated).
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id,
                                   reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || resource == nullptr) return false;
  *ansi = win32::FromWide(std::wstring_view(resource, static_cast<std::size_t>(length)), GetACP());
  return true;
}

}  // namespace platform
