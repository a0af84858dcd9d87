// The registry's raw calls over advapi32. Names and string data cross in the ANSI code page in
// force (GetACP): the calls go to the W functions with that code page's conversion, which is
// what the A functions do with the system's code page. So a prefix set to Traditional Chinese
// keys Big5 names as a Big5 system does, and without a prefix language the two are the same.
#include "platform/registry.h"

#include <cstring>

#include "platform/text.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {
namespace {

// The predefined keys are 32-bit values that Windows sign-extends into its 64-bit handles.
bool IsPredefined(HKEY key) { return key >= 0x80000000u && key <= 0x8000000Fu; }

::HKEY Native(HKEY key) {
  if (IsPredefined(key))
    return reinterpret_cast<::HKEY>(static_cast<LONG_PTR>(static_cast<std::int32_t>(key)));
  return reinterpret_cast<::HKEY>(key);
}

HKEY Ours(::HKEY key) { return reinterpret_cast<HKEY>(key); }

std::wstring Wide(const char* text) { return text ? win32::ToWide(text, GetACP()) : L""; }
const wchar_t* OrNull(const char* text, const std::wstring& wide) {
  return text ? wide.c_str() : nullptr;
}

bool IsString(::DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Data as the A functions hand it out: strings in the ANSI code page (an odd trailing byte of a
// broken UTF-16 string dropped), everything else as stored.
std::string AnsiData(::DWORD type, const std::string& stored) {
  if (!IsString(type)) return stored;
  std::wstring_view wide(reinterpret_cast<const wchar_t*>(stored.data()), stored.size() / 2);
  return win32::FromWide(wide, GetACP());
}

// Data as stored: strings as UTF-16, their NULs included.
std::string StoredData(::DWORD type, const BYTE* data, DWORD size) {
  std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  if (!IsString(type)) return bytes;
  const std::wstring wide = win32::ToWide(bytes, GetACP());
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// Copies value data under the buffer contract of RegQueryValueExA and RegEnumValueA.
LONG CopyData(const std::string& value, BYTE* data, DWORD* dataSize) {
  if (!dataSize) return ERROR_SUCCESS;
  const DWORD size = static_cast<DWORD>(value.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, value.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

// The whole of a value as stored; the buffer grows until the value fits.
LONG ReadStored(::HKEY key, const wchar_t* name, ::DWORD* type, std::string* stored) {
  ::DWORD size = 256;
  for (;;) {
    stored->resize(size);
    LONG rc = ::RegQueryValueExW(key, name, nullptr, type,
                                 reinterpret_cast<BYTE*>(stored->data()), &size);
    if (rc == ERROR_SUCCESS) {
      stored->resize(size);
      return rc;
    }
    if (rc != ERROR_MORE_DATA) return rc;
  }
}

// Value index of key: its name and whole data, as stored.
LONG EnumStored(::HKEY key, DWORD index, std::wstring* name, ::DWORD* type, std::string* stored) {
  ::DWORD maxName = 0, maxData = 0;
  LONG rc = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &maxName, &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  for (int attempt = 0; attempt < 4; ++attempt) {
    ::DWORD nameSize = maxName + 1, dataSize = maxData;
    name->resize(nameSize);
    stored->resize(dataSize);
    rc = ::RegEnumValueW(key, index, name->data(), &nameSize, nullptr, type,
                         reinterpret_cast<BYTE*>(stored->data()), &dataSize);
    if (rc != ERROR_MORE_DATA) {
      name->resize(rc == ERROR_SUCCESS ? nameSize : 0);
      stored->resize(rc == ERROR_SUCCESS ? dataSize : 0);
      return rc;
    }
    maxName = maxName * 2 + 256;  // grew meanwhile
    maxData = maxData * 2 + 256;
  }
  return rc;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD samDesired, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  ::HKEY opened = nullptr;
  const std::wstring path = Wide(subKey);
  const LONG rc =
      ::RegOpenKeyExW(Native(key), OrNull(subKey, path), options, samDesired, &opened);
  *result = rc == ERROR_SUCCESS ? Ours(opened) : 0;
  return rc;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* className,
                     DWORD options, DWORD samDesired, const void* /*security*/, HKEY* result,
                     DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  ::HKEY created = nullptr;
  ::DWORD how = 0;
  const std::wstring path = Wide(subKey), classWide = Wide(className);
  // No security descriptor: the interface has none to give.
  const LONG rc = ::RegCreateKeyExW(Native(key), OrNull(subKey, path), reserved,
                                    const_cast<wchar_t*>(OrNull(className, classWide)), options,
                                    samDesired, nullptr, &created, &how);
  *result = rc == ERROR_SUCCESS ? Ours(created) : 0;
  if (rc == ERROR_SUCCESS && disposition) *disposition = how;
  return rc;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize) {
  if (!name || !nameSize || reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  std::wstring wideName;
  ::DWORD valueType = REG_NONE;
  std::string stored;
  if (LONG rc = EnumStored(Native(key), index, &wideName, &valueType, &stored)) return rc;
  const std::string ansiName = win32::FromWide(wideName, GetACP());
  if (*nameSize <= ansiName.size()) return ERROR_MORE_DATA;  // nameSize stays as it was
  std::memcpy(name, ansiName.c_str(), ansiName.size() + 1);
  *nameSize = static_cast<DWORD>(ansiName.size());
  if (type) *type = valueType;
  return CopyData(AnsiData(valueType, stored), data, dataSize);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  const std::wstring name = Wide(valueName);
  ::DWORD valueType = REG_NONE;
  std::string stored;
  if (LONG rc = ReadStored(Native(key), OrNull(valueName, name), &valueType, &stored))
    return rc;
  if (type) *type = valueType;
  return CopyData(AnsiData(valueType, stored), data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  const std::wstring name = Wide(valueName);
  const std::string stored = StoredData(type, data, dataSize);
  return ::RegSetValueExW(Native(key), OrNull(valueName, name), reserved, type,
                          reinterpret_cast<const BYTE*>(stored.data()),
                          static_cast<::DWORD>(stored.size()));
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  const std::wstring name = Wide(valueName);
  return ::RegDeleteValueW(Native(key), OrNull(valueName, name));
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(Native(key)); }

namespace {

// What one value was before a change: its stored bytes and type, or missing.
struct Previous {
  ::HKEY key = nullptr;
  std::wstring name;
  bool existed = false;
  ::DWORD type = REG_NONE;
  std::string stored;
};

void Restore(const Previous& previous) {
  if (previous.existed)
    ::RegSetValueExW(previous.key, previous.name.c_str(), 0, previous.type,
                     reinterpret_cast<const BYTE*>(previous.stored.data()),
                     static_cast<::DWORD>(previous.stored.size()));
  else
    ::RegDeleteValueW(previous.key, previous.name.c_str());
}

}  // namespace

// The registry API has no transactions short of the Kernel Transaction Manager, which Microsoft
// has deprecated and Wine does not implement. So the changes are made one by one, each value's
// old state read first, and a failure puts back every value already changed before it returns:
// every change or none as far as failures go. A reader in between may see part of the set, and
// a process killed half way leaves it half made, in the order given (callers put what marks the
// set as done last); keys created on the way are left in place.
LONG RegApplyChanges(const std::vector<RegistryChange>& changes) {
  for (const RegistryChange& change : changes)
    if (!IsPredefined(change.root)) return ERROR_INVALID_HANDLE;
  std::vector<::HKEY> opened;
  std::vector<Previous> done;
  LONG rc = ERROR_SUCCESS;
  for (const RegistryChange& change : changes) {
    const std::wstring path = Wide(change.subKey.c_str());
    ::HKEY key = nullptr;
    rc = change.data ? ::RegCreateKeyExW(Native(change.root), path.c_str(), 0, nullptr, 0,
                                         KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr)
                     : ::RegOpenKeyExW(Native(change.root), path.c_str(), 0,
                                       KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (!change.data && rc == ERROR_FILE_NOT_FOUND) {  // nothing to delete
      rc = ERROR_SUCCESS;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    opened.push_back(key);
    Previous previous;
    previous.key = key;
    previous.name = Wide(change.name.c_str());
    rc = ReadStored(key, previous.name.c_str(), &previous.type, &previous.stored);
    previous.existed = rc == ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) break;
    if (change.data) {
      rc = RegSetValueExA(Ours(key), change.name.c_str(), 0, change.type,
                          reinterpret_cast<const BYTE*>(change.data->data()),
                          static_cast<DWORD>(change.data->size()));
    } else {
      rc = previous.existed ? ::RegDeleteValueW(key, previous.name.c_str()) : ERROR_SUCCESS;
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
SharedRegistryValues ShareRegistryValues(HKEY root, const std::string& subKey) {
  HKEY key = 0;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  auto names = std::make_shared<std::vector<std::string>>();
  auto data = std::make_shared<std::vector<std::string>>();
  std::wstring name;
  ::DWORD type = 0;
  std::string stored;
  for (DWORD index = 0; EnumStored(Native(key), index, &name, &type, &stored) == ERROR_SUCCESS;
       ++index) {
    names->push_back(win32::FromWide(name, GetACP()));
    // The data as the ANSI calls hand it out (strings in the ANSI code page, with their NUL).
    DWORD size = 0;
    std::string bytes;
    if (RegQueryValueExA(key, names->back().c_str(), nullptr, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
      bytes.resize(size);
      if (RegQueryValueExA(key, names->back().c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS)
        size = 0;
      bytes.resize(size);
    }
    data->push_back(std::move(bytes));
  }
  RegCloseKey(key);
  return {std::move(names), std::move(data)};
}

std::shared_ptr<const std::vector<std::string>> ShareRegistryValueNames(HKEY root,
                                                                        const std::string& subKey) {
  return ShareRegistryValues(root, subKey).names;
}

}  // namespace platform
