// Read-only folders and a read-only installed-font list for the engine's tests on Windows: a
// security descriptor whose first entry denies everyone the writes, the old one put back after.
#include "engine/test_helpers.h"

#include <string>
#include <vector>

#include "engine/engine_fixture.h"

#include <windows.h>
#include <aclapi.h>

namespace engine_test {
namespace {

// The object's DACL with an entry in front that denies everyone the given rights; empty when
// it cannot be made.
std::vector<BYTE> DenyingDescriptor(PACL old, DWORD rights, PACL* made) {
  EXPLICIT_ACCESSW deny{};
  deny.grfAccessPermissions = rights;
  deny.grfAccessMode = DENY_ACCESS;
  deny.grfInheritance = NO_INHERITANCE;
  deny.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  wchar_t everyone[] = L"EVERYONE";
  deny.Trustee.ptstrName = everyone;
  if (::SetEntriesInAclW(1, &deny, old, made) != ERROR_SUCCESS) return {};
  std::vector<BYTE> descriptor(SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (!::InitializeSecurityDescriptor(descriptor.data(), SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(descriptor.data(), TRUE, *made, FALSE))
    return {};
  return descriptor;
}

PACL DaclOf(std::vector<BYTE>& descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ::GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted);
  return present ? dacl : nullptr;
}

constexpr DWORD kFileWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                              FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD;

// Whether a write gets through: a new file inside a folder, or the file opened for writing.
bool WritesGetThrough(const std::filesystem::path& path) {
  if (std::filesystem::is_directory(path)) {
    const std::wstring probe = (path / L"zf-probe.tmp").wstring();
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
  }
  const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

}  // namespace

struct ReadOnlyFolder::Saved {
  std::vector<BYTE> old;
};

ReadOnlyFolder::ReadOnlyFolder(const std::filesystem::path& path)
    : path_(path), saved_(std::make_unique<Saved>()) {
  const std::wstring name = path_.wstring();
  DWORD size = 0;
  ::GetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  saved_->old.resize(size);
  if (size == 0 || !::GetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION,
                                       saved_->old.data(), size, &size)) {
    saved_->old.clear();
    return;
  }
  PACL made = nullptr;
  std::vector<BYTE> denying = DenyingDescriptor(DaclOf(saved_->old), kFileWrites, &made);
  const bool set = !denying.empty() &&
                   ::SetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION, denying.data());
  if (made) ::LocalFree(made);
  if (!set) {
    saved_->old.clear();
    return;
  }
  ok_ = !WritesGetThrough(path_);
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (!saved_->old.empty())
    ::SetFileSecurityW(path_.wstring().c_str(), DACL_SECURITY_INFORMATION, saved_->old.data());
}

struct ReadOnlyRegistry::State {
  HKEY key = nullptr;
  std::vector<BYTE> old;
  bool ok = false;
};

ReadOnlyRegistry::ReadOnlyRegistry(EngineTest& test)
    : test_(test), state_(std::make_unique<State>()) {
  const std::wstring fonts(kNtFontsKey, kNtFontsKey + std::char_traits<char>::length(kNtFontsKey));
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, fonts.c_str(), 0, READ_CONTROL | WRITE_DAC,
                      &state_->key) != ERROR_SUCCESS)
    return;
  DWORD size = 0;
  ::RegGetKeySecurity(state_->key, DACL_SECURITY_INFORMATION, nullptr, &size);
  state_->old.resize(size);
  if (size == 0 || ::RegGetKeySecurity(state_->key, DACL_SECURITY_INFORMATION,
                                       state_->old.data(), &size) != ERROR_SUCCESS) {
    state_->old.clear();
    return;
  }
  PACL made = nullptr;
  std::vector<BYTE> denying =
      DenyingDescriptor(DaclOf(state_->old), KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &made);
  const bool set = !denying.empty() && ::RegSetKeySecurity(state_->key, DACL_SECURITY_INFORMATION,
                                                           denying.data()) == ERROR_SUCCESS;
  if (made) ::LocalFree(made);
  if (!set) {
    state_->old.clear();
    return;
  }
  HKEY probe = nullptr;
  const LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, fonts.c_str(), 0, KEY_SET_VALUE, &probe);
  if (rc == ERROR_SUCCESS) ::RegCloseKey(probe);
  state_->ok = rc == ERROR_ACCESS_DENIED;
}

ReadOnlyRegistry::~ReadOnlyRegistry() {
  if (!state_->old.empty())
    ::RegSetKeySecurity(state_->key, DACL_SECURITY_INFORMATION, state_->old.data());
  if (state_->key) ::RegCloseKey(state_->key);
}

bool ReadOnlyRegistry::ok() const { return state_->ok; }

}  // namespace engine_test
