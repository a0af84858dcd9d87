// LoadStringA's buffer contract over the backend's string resources, the same on every backend.
#include "platform/strings.h"

#include <algorithm>

#include "platform/common/string_resources.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr DWORD kErrorResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND

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
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string ansi;
  if (!FindStringResource(id, &ansi)) {
    buffer[0] = '\0';
    SetLastError(kErrorResourceNameNotFound);
    return 0;
  }
  const std::size_t length = CutLength(ansi, static_cast<std::size_t>(size) - 1);
  std::copy_n(ansi.data(), length, buffer);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

std::string LoadResourceString(unsigned id) {
  std::string ansi;
  return FindStringResource(id, &ansi) ? ansi : std::string();
}

}  // namespace platform
