// The registry's helper class over the raw calls: one open key at a time, and failures that
// carry the texts the program shows. The same on every backend.
#include "platform/registry.h"

namespace platform {

std::vector<std::string> ListRegistryValueNames(HKEY root, const std::string& subKey) {
  auto names = ShareRegistryValueNames(root, subKey);
  return names ? *names : std::vector<std::string>{};
}

namespace {

std::string Format(const char* pattern, const std::string& argument) {
  std::string text = pattern;
  text.replace(text.find("%s"), 2, argument);
  return text;
}

[[noreturn]] void Fail(const char* pattern, const std::string& argument) {
  throw RegistryError(Format(pattern, argument));
}

// A path that starts with a backslash is taken from the root key, any other from the open key
// (or the root key when none is open).
HKEY BaseKey(HKEY root, HKEY current, const std::string& key, std::string* path) {
  bool absolute = !key.empty() && key[0] == '\\';
  *path = absolute ? key.substr(1) : key;
  return (absolute || current == 0) ? root : current;
}

}  // namespace

Registry::Registry(DWORD access) : access_(access) {}

Registry::~Registry() { CloseKey(); }

void Registry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

bool Registry::KeyExists(const std::string& key) {
  std::string path;
  HKEY base = BaseKey(root_, current_, key, &path);
  HKEY opened = 0;
  if (RegOpenKeyExA(base, path.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

void Registry::CreateKey(const std::string& key) {
  std::string path;
  HKEY base = BaseKey(root_, current_, key, &path);
  HKEY created = 0;
  DWORD disposition = 0;
  if (RegCreateKeyExA(base, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                      &disposition) != ERROR_SUCCESS)
    Fail("Failed to create key %s", key);
  RegCloseKey(created);
}

bool Registry::OpenKey(const std::string& key, bool canCreate) {
  std::string path;
  HKEY base = BaseKey(root_, current_, key, &path);
  HKEY opened = 0;
  LONG rc = canCreate ? RegCreateKeyExA(base, path.c_str(), 0, nullptr, 0, access_, nullptr,
                                        &opened, nullptr)
                      : RegOpenKeyExA(base, path.c_str(), 0, access_, &opened);
  if (rc != ERROR_SUCCESS) return false;
  CloseKey();
  current_ = opened;
  return true;
}

bool Registry::OpenKeyReadOnly(const std::string& key) {
  std::string path;
  HKEY base = BaseKey(root_, current_, key, &path);
  HKEY opened = 0;
  if (RegOpenKeyExA(base, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  CloseKey();
  current_ = opened;
  return true;
}

void Registry::CloseKey() {
  if (current_) RegCloseKey(current_);
  current_ = 0;
}

bool Registry::ValueExists(const std::string& name) {
  DWORD type = 0, size = 0;
  return RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

std::int32_t Registry::ReadInteger(const std::string& name) {
  BYTE buffer[4] = {};
  DWORD type = REG_NONE, size = sizeof buffer;
  if (RegQueryValueExA(current_, name.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS)
    Fail("Failed to get data for '%s'", name);
  if (type != REG_DWORD) Fail("Invalid data type for '%s'", name);
  return static_cast<std::int32_t>(buffer[0] | buffer[1] << 8 | buffer[2] << 16 |
                                   static_cast<std::uint32_t>(buffer[3]) << 24);
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  const BYTE bytes[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                         static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)};
  if (RegSetValueExA(current_, name.c_str(), 0, REG_DWORD, bytes, sizeof bytes) != ERROR_SUCCESS)
    Fail("Failed to set data for '%s'", name);
}

std::string Registry::ReadString(const std::string& name) {
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0)
    return "";
  std::string value;
  LONG rc = ERROR_MORE_DATA;
  // The value may grow between asking for its size and reading it (another process writes).
  for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
    value.resize(size);
    rc = RegQueryValueExA(current_, name.c_str(), nullptr, &type,
                          reinterpret_cast<BYTE*>(value.data()), &size);
  }
  if (rc != ERROR_SUCCESS) Fail("Failed to get data for '%s'", name);
  if (type != REG_SZ && type != REG_EXPAND_SZ) Fail("Invalid data type for '%s'", name);
  value.resize(size);
  if (auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  return value;
}

void Registry::WriteString(const std::string& name, const std::string& value) {
  if (RegSetValueExA(current_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    Fail("Failed to set data for '%s'", name);
}

bool Registry::DeleteValue(const std::string& name) {
  return RegDeleteValueA(current_, name.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> Registry::GetValueNames() {
  std::vector<std::string> names;
  if (!current_) return names;
  std::string name(16384, '\0');  // the longest value name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    if (RegEnumValueA(current_, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name.data(), size);
  }
  return names;
}

}  // namespace platform
