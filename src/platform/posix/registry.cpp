// The registry's raw calls over the prefix's store, their handle table, and the helper class.
#include "platform/registry.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/posix/backend.h"
#include "platform/posix/registry_store.h"
#include "platform/text.h"

namespace platform {
namespace posix {
namespace {

// Where a key lives in the store, and what its handle may do.
struct KeyHandle {
  Hive hive = Hive::LocalMachine;
  std::string path;  // components joined by single backslashes
  std::int64_t id = 0;
  DWORD access = 0;
  std::uint64_t epoch = 0;  // the store's epoch when the key was opened
};

// The open keys of the process. Handle values are never handed out twice, so a stale handle
// can never reach another caller's key.
class HandleTable {
 public:
  HKEY Add(KeyHandle handle) {
    std::lock_guard lock(mutex_);
    HKEY key = next_;
    next_ += 4;
    handles_.emplace(key, std::make_shared<const KeyHandle>(std::move(handle)));
    return key;
  }

  std::shared_ptr<const KeyHandle> Find(HKEY key) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : it->second;
  }

  bool Remove(HKEY key) {
    std::lock_guard lock(mutex_);
    bool found = handles_.erase(key) > 0;
    if (found) registryChanges.fetch_add(1, std::memory_order_acq_rel);
    return found;
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    handles_.clear();
    registryChanges.fetch_add(1, std::memory_order_acq_rel);
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<HKEY, std::shared_ptr<const KeyHandle>> handles_;
  HKEY next_ = 0x1000;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // used from any thread until exit
  return *table;
}

bool IsPredefined(HKEY key) {
  return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT;
}

LONG ResolveKey(HKEY key, KeyHandle* out) {
  if (IsPredefined(key)) {
    out->hive = key == HKEY_CURRENT_USER ? Hive::CurrentUser : Hive::LocalMachine;
    out->path = key == HKEY_CLASSES_ROOT ? "Software\\Classes" : "";
    out->access = KEY_ALL_ACCESS;
    if (LONG rc = Store().FindKey(out->hive, out->path, &out->id)) return rc;
    out->epoch = Store().Epoch();
    return ERROR_SUCCESS;
  }
  auto handle = Handles().Find(key);
  if (!handle) return ERROR_INVALID_HANDLE;
  // A handle of a prefix that has since been left names a key of another store.
  if (LONG rc = Store().Ensure()) return rc;
  if (handle->epoch != Store().Epoch()) return ERROR_INVALID_HANDLE;
  *out = *handle;
  return ERROR_SUCCESS;
}

bool Allows(const KeyHandle& key, DWORD needed) { return (key.access & needed) == needed; }

std::string SubKeyPath(const std::string& base, const char* subKey) {
  std::string path = base;
  for (const std::string& component : SplitKeyPath(subKey ? subKey : "", GetACP())) {
    if (!path.empty()) path += '\\';
    path += component;
  }
  return path;
}

// Copies value data under the buffer contract of RegQueryValueExA and RegEnumValueA.
LONG CopyData(std::string_view value, BYTE* data, DWORD* dataSize) {
  if (!dataSize) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(value.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, value.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG SnapshotOf(HKEY key, std::shared_ptr<const ValueSnapshot>* snapshot) {
  KeyHandle handle;
  if (LONG rc = ResolveKey(key, &handle)) return rc;
  if (!Allows(handle, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  return Store().Snapshot(handle.id, snapshot);
}

// The key a thread is enumerating and the snapshot it reads. A pass over the indexes 0, 1, 2 ...
// checks the store once, at index 0, and then reads the snapshot without any lock for as long as
// no handle went away, nothing was written by this process and the prefix was not reopened.
struct EnumCursor {
  HKEY key = 0;
  DWORD next = 0;
  std::uint64_t changes = 0;
  std::uint64_t generation = 0;
  std::shared_ptr<const ValueSnapshot> snapshot;
};

thread_local EnumCursor cursor;

const ValueSnapshot* EnumSnapshot(EnumCursor& current, HKEY key, DWORD index, LONG* rc) {
  if (current.snapshot && current.key == key && index != 0 && index == current.next &&
      current.changes == registryChanges.load(std::memory_order_acquire) &&
      current.generation == PrefixGeneration())
    return current.snapshot.get();
  current.snapshot.reset();
  EnumCursor fresh;
  fresh.key = key;
  fresh.changes = registryChanges.load(std::memory_order_acquire);
  fresh.generation = PrefixGeneration();
  *rc = SnapshotOf(key, &fresh.snapshot);
  if (*rc != ERROR_SUCCESS) return nullptr;
  current = std::move(fresh);
  return current.snapshot.get();
}

}  // namespace

void CloseRegistryStore() {
  Handles().Clear();
  Store().Close();
}

}  // namespace posix

using posix::Hive;
using posix::KeyHandle;
using posix::Store;

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, DWORD samDesired, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = 0;
  KeyHandle handle;
  if (LONG rc = posix::ResolveKey(key, &handle)) return rc;
  handle.path = posix::SubKeyPath(handle.path, subKey);
  if (LONG rc = Store().FindKey(handle.hive, handle.path, &handle.id)) return rc;
  handle.access = samDesired;
  handle.epoch = Store().Epoch();
  *result = posix::Handles().Add(std::move(handle));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, const char*, DWORD, DWORD samDesired,
                     const void*, HKEY* result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = 0;
  KeyHandle handle;
  if (LONG rc = posix::ResolveKey(key, &handle)) return rc;
  handle.path = posix::SubKeyPath(handle.path, subKey);
  bool created = false;
  LONG rc = Store().FindKey(handle.hive, handle.path, &handle.id);
  if (rc == ERROR_FILE_NOT_FOUND) {
    if (!posix::Allows(handle, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    rc = Store().CreateKey(handle.hive, handle.path, &handle.id, &created);
  }
  if (rc != ERROR_SUCCESS) return rc;
  handle.access = samDesired;
  handle.epoch = Store().Epoch();
  *result = posix::Handles().Add(std::move(handle));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize) {
  if (!name || !nameSize || reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  LONG rc = ERROR_SUCCESS;
  posix::EnumCursor& cursor = posix::cursor;
  const posix::ValueSnapshot* snapshot = posix::EnumSnapshot(cursor, key, index, &rc);
  if (!snapshot) return rc;
  cursor.next = index + 1;
  if (index >= snapshot->names.size()) return ERROR_NO_MORE_ITEMS;
  std::uint32_t start = snapshot->nameStarts[index];
  DWORD length = snapshot->nameStarts[index + 1] - start - 1;
  if (*nameSize <= length) return ERROR_MORE_DATA;  // nameSize stays as it was
  std::memcpy(name, snapshot->packedNames.data() + start, length + 1);
  *nameSize = length;
  if (type) *type = snapshot->types[index];
  return posix::CopyData(snapshot->data[index], data, dataSize);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  KeyHandle handle;
  if (LONG rc = posix::ResolveKey(key, &handle)) return rc;
  if (!posix::Allows(handle, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  DWORD valueType = REG_NONE;
  std::string value;
  if (LONG rc = Store().QueryValue(handle.id, valueName ? valueName : "", &valueType, &value))
    return rc;
  if (type) *type = valueType;
  return posix::CopyData(value, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  KeyHandle handle;
  if (LONG rc = posix::ResolveKey(key, &handle)) return rc;
  if (!posix::Allows(handle, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string_view bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
  return Store().SetValue(handle.id, valueName ? valueName : "", type, bytes);
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  KeyHandle handle;
  if (LONG rc = posix::ResolveKey(key, &handle)) return rc;
  if (!posix::Allows(handle, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return Store().DeleteValue(handle.id, valueName ? valueName : "");
}

LONG RegApplyChanges(const std::vector<RegistryChange>& changes) {
  std::vector<posix::RegistryStore::Change> store;
  store.reserve(changes.size());
  for (const RegistryChange& change : changes) {
    KeyHandle root;
    if (!posix::IsPredefined(change.root)) return ERROR_INVALID_HANDLE;
    if (LONG rc = posix::ResolveKey(change.root, &root)) return rc;
    store.push_back({root.hive, posix::SubKeyPath(root.path, change.subKey.c_str()), change.name,
                     change.data ? &*change.data : nullptr, change.type});
  }
  return Store().Apply(store);
}

LONG RegCloseKey(HKEY key) {
  if (posix::IsPredefined(key)) return ERROR_SUCCESS;
  return posix::Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

SharedRegistryValues ShareRegistryValues(HKEY root, const std::string& subKey) {
  // No handle is made: closing one would send every enumerating thread back to the store.
  KeyHandle handle;
  if (posix::ResolveKey(root, &handle) != ERROR_SUCCESS ||
      !posix::Allows(handle, KEY_QUERY_VALUE))
    return {};
  handle.path = posix::SubKeyPath(handle.path, subKey.c_str());
  std::shared_ptr<const posix::ValueSnapshot> snapshot;
  if (Store().FindKey(handle.hive, handle.path, &handle.id) != ERROR_SUCCESS ||
      Store().Snapshot(handle.id, &snapshot) != ERROR_SUCCESS)
    return {};
  return {std::shared_ptr<const std::vector<std::string>>(snapshot, &snapshot->names),
          std::shared_ptr<const std::vector<std::string>>(snapshot, &snapshot->data)};
}

std::shared_ptr<const std::vector<std::string>> ShareRegistryValueNames(HKEY root,
                                                                        const std::string& subKey) {
  return ShareRegistryValues(root, subKey).names;
}

}  // namespace platform
