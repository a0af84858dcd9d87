#pragma once
// The registry: raw calls with Windows error codes over the prefix's SQLite store, and the small
// helper class whose failures carry the texts that the program shows.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The raw calls. Key paths and value names are ANSI byte strings compared without regard to
// (ASCII) case; values enumerate in the order they were first created. Every write is one
// transaction; a store that is read-only makes writes fail with ERROR_ACCESS_DENIED; a store
// file that is not a registry store makes every call fail with ERROR_BADDB and is never
// overwritten. A handle opened without KEY_SET_VALUE refuses writes with ERROR_ACCESS_DENIED.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD samDesired, HKEY* result);
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* className,
                     DWORD options, DWORD samDesired, const void* security, HKEY* result,
                     DWORD* disposition);
// name/nameSize in characters (nameSize in: buffer size incl. NUL; out: length without NUL).
// data may be null to ask only for the type and size.
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize);
// dataSize in: buffer size; out: the size of the data (ERROR_MORE_DATA when it did not fit).
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueA(HKEY key, const char* valueName);
LONG RegCloseKey(HKEY key);

// One change of a set that is made as a whole: a value set (created with its keys when
// missing), or deleted when data is empty (std::nullopt; a missing value is no failure).
struct RegistryChange {
  HKEY root = HKEY_LOCAL_MACHINE;
  std::string subKey;
  std::string name;
  std::optional<std::string> data;  // the bytes as stored (a REG_SZ with its NUL)
  DWORD type = REG_SZ;
};
// Makes every change or none (one transaction of the store), so that what the changes say
// together, such as an entry and the note that a run is under way, is never half written. On
// Windows, whose registry has no transactions, a failure undoes what was made, but a process
// killed half way leaves the first changes made, in the order given: put last what marks the set
// as done.
LONG RegApplyChanges(const std::vector<RegistryChange>& changes);

// Convenience over the raw calls: every value name of a key, in enumeration order (empty when
// the key cannot be opened).
std::vector<std::string> ListRegistryValueNames(HKEY root, const std::string& subKey);
// The same list without copying it, for callers that list a large key again and again: shared
// with the registry's own snapshot of the key and unchanged while held; null when the key cannot
// be opened.
std::shared_ptr<const std::vector<std::string>> ShareRegistryValueNames(HKEY root,
                                                                        const std::string& subKey);
// The names and, side by side, the data of the values (as stored: a REG_SZ with its NUL), from
// one look at the key; both null when the key cannot be opened.
struct SharedRegistryValues {
  std::shared_ptr<const std::vector<std::string>> names;
  std::shared_ptr<const std::vector<std::string>> data;
};
SharedRegistryValues ShareRegistryValues(HKEY root, const std::string& subKey);

// A failure of the helper class; what() is the text shown to the user.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The helper class: one open key at a time under a root key, as the program's start-up and
// the engine use it. Throws RegistryError with these texts (placeholder replaced):
//   "Failed to create key %s"        CreateKey failed (the key path)
//   "Failed to set data for '%s'"    a write failed, also when no key is open (the value name)
//   "Failed to get data for '%s'"    a read failed or the data did not fit (the value name)
//   "Invalid data type for '%s'"     the value is not of the type asked for (the value name)
class Registry {
 public:
  explicit Registry(DWORD access = KEY_ALL_ACCESS);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  void SetRootKey(HKEY root);
  HKEY RootKey() const { return root_; }
  HKEY CurrentKey() const { return current_; }

  bool KeyExists(const std::string& key);
  void CreateKey(const std::string& key);  // throws "Failed to create key %s"
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();

  bool ValueExists(const std::string& name);
  std::int32_t ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, std::int32_t value);
  std::string ReadString(const std::string& name);  // "" when the value does not exist
  void WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);
  std::vector<std::string> GetValueNames();

 private:
  DWORD access_;
  HKEY root_ = HKEY_CURRENT_USER;
  HKEY current_ = 0;
};

}  // namespace platform
