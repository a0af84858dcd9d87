// The registry's raw calls over advapi32, and a set of changes made as a whole as far as the
// registry API allows.
#include "platform/registry.h"

#include <cstring>

#include <windows.h>

namespace platform {
namespace {

// The predefined keys are 32-bit values that Windows sign-extends into its 64-bit handles.
::HKEY Native(HKEY key) {
  if (key >= 0x80000000u && key <= 0x8000000Fu)
    return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(key)))));
  return reinterpret_cast<::HKEY>(key);
}

HKEY Ours(::HKEY key) { return reinterpret_cast<HKEY>(key); }

// Copies a DWORD in and out of the API's own DWORD (unsigned long) around a call.
class DwordArg {
 public:
  explicit DwordArg(DWORD* ours) : ours_(ours), value_(ours ? *ours : 0) {}
  ~DwordArg() {
    if (ours_) *ours_ = static_cast<DWORD>(value_);
  }
  ::DWORD* get() { return ours_ ? &value_ : nullptr; }

 private:
  DWORD* ours_;
  ::DWORD value_;
};

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD samDesired, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  ::HKEY opened = nullptr;
  const LONG rc = ::RegOpenKeyExA(Native(key), subKey, options, samDesired, &opened);
  *result = rc == ERROR_SUCCESS ? Ours(opened) : 0;
  return rc;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* className,
                     DWORD options, DWORD samDesired, const void* /*security*/, HKEY* result,
                     DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  ::HKEY created = nullptr;
  DwordArg how(disposition);
  // No security descriptor: the interface has none to give.
  const LONG rc = ::RegCreateKeyExA(Native(key), subKey, reserved, const_cast<char*>(className),
                                    options, samDesired, nullptr, &created, how.get());
  *result = rc == ERROR_SUCCESS ? Ours(created) : 0;
  return rc;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize) {
  DwordArg nameArg(nameSize), reservedArg(reserved), typeArg(type), dataArg(dataSize);
  return ::RegEnumValueA(Native(key), index, name, nameArg.get(), reservedArg.get(),
                         typeArg.get(), data, dataArg.get());
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  DwordArg reservedArg(reserved), typeArg(type), dataArg(dataSize);
  return ::RegQueryValueExA(Native(key), valueName, reservedArg.get(), typeArg.get(), data,
                            dataArg.get());
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  return ::RegSetValueExA(Native(key), valueName, reserved, type, data, dataSize);
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  return ::RegDeleteValueA(Native(key), valueName);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(Native(key)); }

namespace {

// What one value was before a change: its bytes and type, or missing.
struct Previous {
  ::HKEY key = nullptr;
  std::string name;
  bool existed = false;
  ::DWORD type = REG_NONE;
  std::string data;
};

LONG ReadPrevious(::HKEY key, const std::string& name, Previous* previous) {
  previous->key = key;
  previous->name = name;
  ::DWORD size = 0;
  LONG rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &previous->type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  for (int attempt = 0; attempt < 4 && rc == ERROR_SUCCESS; ++attempt) {
    previous->data.resize(size);
    rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &previous->type,
                            reinterpret_cast<BYTE*>(previous->data.data()), &size);
    if (rc == ERROR_SUCCESS) {
      previous->data.resize(size);
      previous->existed = true;
      return ERROR_SUCCESS;
    }
    if (rc == ERROR_MORE_DATA) rc = ERROR_SUCCESS;  // it grew meanwhile: ask again
  }
  return rc;
}

void Restore(const Previous& previous) {
  if (previous.existed)
    ::RegSetValueExA(previous.key, previous.name.c_str(), 0, previous.type,
                     reinterpret_cast<const BYTE*>(previous.data.data()),
                     static_cast<::DWORD>(previous.data.size()));
  else
    ::RegDeleteValueA(previous.key, previous.name.c_str());
}

}  // namespace

// The registry API has no transactions short of the Kernel Transaction Manager, which Microsoft
// has deprecated and Wine does not implement. So the changes are made one by one, each value's
// old state read first, and a failure puts back every value already changed before it returns:
// every change or none as far as failures go. A reader in between may see part of the set, and
// a process killed half way leaves it half made; keys created on the way are left in place.
LONG RegApplyChanges(const std::vector<RegistryChange>& changes) {
  for (const RegistryChange& change : changes)
    if (change.root < 0x80000000u || change.root > 0x8000000Fu) return ERROR_INVALID_HANDLE;
  std::vector<::HKEY> opened;
  std::vector<Previous> done;
  LONG rc = ERROR_SUCCESS;
  for (const RegistryChange& change : changes) {
    ::HKEY key = nullptr;
    rc = change.data ? ::RegCreateKeyExA(Native(change.root), change.subKey.c_str(), 0, nullptr,
                                         0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                                         nullptr)
                     : ::RegOpenKeyExA(Native(change.root), change.subKey.c_str(), 0,
                                       KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (!change.data && rc == ERROR_FILE_NOT_FOUND) {  // nothing to delete
      rc = ERROR_SUCCESS;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    opened.push_back(key);
    Previous previous;
    if ((rc = ReadPrevious(key, change.name, &previous)) != ERROR_SUCCESS) break;
    if (change.data) {
      rc = ::RegSetValueExA(key, change.name.c_str(), 0, change.type,
                            reinterpret_cast<const BYTE*>(change.data->data()),
                            static_cast<::DWORD>(change.data->size()));
    } else if (previous.existed) {
      rc = ::RegDeleteValueA(key, change.name.c_str());
    }
    if (rc != ERROR_SUCCESS) break;
    done.push_back(std::move(previous));
  }
  if (rc != ERROR_SUCCESS)
    for (auto it = done.rbegin(); it != done.rend(); ++it) Restore(*it);
  for (::HKEY key : opened) ::RegCloseKey(key);
  return rc;
}

// The system keeps no snapshot to share: each call lists the key afresh.
std::shared_ptr<const std::vector<std::string>> ShareRegistryValueNames(HKEY root,
                                                                        const std::string& subKey) {
  ::HKEY key = nullptr;
  if (::RegOpenKeyExA(Native(root), subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return nullptr;
  auto names = std::make_shared<std::vector<std::string>>();
  std::string name(16384, '\0');  // the longest value name Windows allows, and its NUL
  for (::DWORD index = 0;; ++index) {
    ::DWORD size = static_cast<::DWORD>(name.size());
    if (::RegEnumValueA(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names->emplace_back(name.data(), size);
  }
  ::RegCloseKey(key);
  return names;
}

}  // namespace platform
