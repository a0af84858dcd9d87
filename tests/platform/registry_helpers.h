#pragma once
// What the registry tests share: the raw calls wrapped for brevity.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace registry_test {

using namespace platform;

constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

inline HKEY Create(HKEY root, const char* path, DWORD access = KEY_ALL_ACCESS) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

inline LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

inline std::optional<std::string> Query(HKEY key, const char* name, DWORD* type = nullptr) {
  BYTE buffer[512];
  DWORD size = sizeof buffer, valueType = 0;
  if (RegQueryValueExA(key, name, nullptr, &valueType, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type) *type = valueType;
  return std::string(reinterpret_cast<char*>(buffer), size);
}

inline std::vector<std::string> EnumNames(HKEY key) {
  std::vector<std::string> names;
  char name[512];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG rc = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return names;
    if (rc != ERROR_SUCCESS) {
      ADD_FAILURE() << "RegEnumValueA(" << i << ") = " << rc;
      return names;
    }
    names.emplace_back(name, size);
  }
}

}  // namespace registry_test
