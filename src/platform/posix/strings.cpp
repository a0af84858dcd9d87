// The program's string table: UTF-8 texts compiled in, converted to the ANSI code page when they
// are loaded, as LoadStringA converts Windows' UTF-16 resources.
#include "platform/common/string_resources.h"

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

}  // namespace

bool FindStringResource(unsigned id, std::string* ansi) {
  const StringResource* resource = FindResource(id);
  if (!resource) return false;
  *ansi = Utf8ToAnsi(resource->text);
  return true;
}

}  // namespace platform
