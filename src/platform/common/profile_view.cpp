// What every backend's profile reader shares: name comparison and the parsed-file view.
#include "platform/profile.h"

#include "platform/posix/profile_parser.h"

namespace platform {

using posix::ParsedProfile;

bool SameProfileName(std::string_view a, std::string_view b) {
  return posix::ProfileNameEqual()(posix::TrimProfileBlanks(a), posix::TrimProfileBlanks(b));
}

namespace {

const ParsedProfile& ParsedOf(const std::shared_ptr<const void>& parsed) {
  return *static_cast<const ParsedProfile*>(parsed.get());
}

}  // namespace

ProfileView::ProfileView() : parsed_(ParsedProfile::Empty()) {}

std::string_view ProfileView::Value(std::string_view section, std::string_view key) const {
  const posix::ProfileKey* found = ParsedOf(parsed_).FindKey(section, key);
  return found ? found->value.substr(0, 2047) : std::string_view();
}

std::vector<std::string_view> ProfileView::Keys(std::string_view section, DWORD bufferSize) const {
  return posix::ProfileKeyNames(ParsedOf(parsed_), section, bufferSize);
}

std::vector<long long> ProfileView::NumberedKeys(std::string_view section,
                                                 std::string_view prefix) const {
  return posix::ProfileNumberedKeys(ParsedOf(parsed_), section, prefix);
}

}  // namespace platform
