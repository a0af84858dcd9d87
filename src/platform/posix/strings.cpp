// The program's string table: UTF-8 texts compiled in, converted to the ANSI code page when they
// are loaded, as LoadStringA hands them out on Windows.
#include "platform/strings.h"

#include <algorithm>
#include <string_view>

#include "platform/text.h"

namespace platform {
namespace {

struct StringResource {
  unsigned id;
  std::string_view text;  // UTF-8
};

// English under n, Chinese under n + 1. "ZlevaDoc" in 30015 is the product's own spelling.
constexpr StringResource kStringTable[] = {
    {30010, "Internal error."},
    {30011, "內部錯誤."},
    {30015, "ZlevaDoc 4.25 can't run on the Vista or Longhorn platform."},
    {30016, "ZelvaDoc 產品無法在 Vista 或 Longhorn 平台下運作."},
};

const StringResource* FindResource(unsigned id) {
  auto it = std::find_if(std::begin(kStringTable), std::end(kStringTable),
                         [id](const StringResource& r) { return r.id == id; });
  return it == std::end(kStringTable) ? nullptr : it;
}

// The longest prefix of text within limit bytes that does not end inside a double-byte
// character, so a cut text never carries half a Big5 character.
std::size_t CutLength(const std::string& text, std::size_t limit) {
  const unsigned codePage = GetACP();
  std::size_t i = 0;
  while (i < text.size()) {
    bool lead = IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(text[i]));
    std::size_t width = lead && i + 1 < text.size() ? 2 : 1;
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
  const StringResource* resource = FindResource(id);
  if (!resource) {
    buffer[0] = '\0';
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  std::string ansi = Utf8ToAnsi(resource->text);
  std::size_t length = CutLength(ansi, static_cast<std::size_t>(size) - 1);
  std::copy_n(ansi.data(), length, buffer);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

std::string LoadResourceString(unsigned id) {
  const StringResource* resource = FindResource(id);
  return resource ? Utf8ToAnsi(resource->text) : std::string();
}

}  // namespace platform
