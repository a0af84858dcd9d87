// The program's string resources: the STRINGTABLE of strings.rc, read with LoadStringW and
// converted to the ANSI code page in force, as LoadStringA converts to the system's.
#include "platform/strings.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {
namespace {

// The resource in the ANSI code page in force; false when there is none.
bool FindResourceText(unsigned id, std::string* text) {
  const wchar_t* resource = nullptr;
  // A buffer size of 0 asks for a pointer to the resource itself (not NUL-terminated).
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id,
                                   reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || resource == nullptr) return false;
  *text = win32::FromWide(std::wstring_view(resource, static_cast<std::size_t>(length)), GetACP());
  return true;
}

// The longest prefix of text within limit bytes that does not end inside a double-byte
// character, so a cut text never carries half a Big5 character.
std::size_t CutLength(const std::string& text, std::size_t limit) {
  const unsigned codePage = GetACP();
  std::size_t i = 0;
  while (i < text.size()) {
    const bool lead = IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(text[i]));
    const std::size_t width = lead && i + 1 < text.size() ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  return i;
}

}  // namespace

int LoadStringA(unsigned id, char* buffer, int size) {
  if (!buffer || size <= 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string ansi;
  if (!FindResourceText(id, &ansi)) {
    buffer[0] = '\0';
    ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const std::size_t length = CutLength(ansi, static_cast<std::size_t>(size) - 1);
  std::copy_n(ansi.data(), length, buffer);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

std::string LoadResourceString(unsigned id) {
  std::string ansi;
  return FindResourceText(id, &ansi) ? ansi : std::string();
}

}  // namespace platform
