// zelvafont-ctl registry: lists, reads, writes and deletes values in the prefix's registry.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "ctl/ctl.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace ctl {
namespace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::LONG;

struct KeyPath {
  HKEY root = 0;
  std::string rootName;  // "HKLM"
  std::string subKey;    // ANSI, may be empty (the root key itself)
};

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

KeyPath ParseKeyPath(const Context& context, const std::string& text) {
  std::string ansi = context.terminal.ToAnsi(text);
  size_t slash = ansi.find('\\');
  std::string root = Upper(ansi.substr(0, slash));
  KeyPath path;
  if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
    path.root = platform::HKEY_LOCAL_MACHINE;
    path.rootName = "HKLM";
  } else if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
    path.root = platform::HKEY_CURRENT_USER;
    path.rootName = "HKCU";
  } else {
    throw CtlError(kExitUsage, "registry key '" + text + "' must begin with HKLM\\ or HKCU\\");
  }
  if (slash != std::string::npos) path.subKey = ansi.substr(slash + 1);
  while (!path.subKey.empty() && path.subKey.back() == '\\') path.subKey.pop_back();
  return path;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case platform::REG_NONE: return "REG_NONE";
    case platform::REG_SZ: return "REG_SZ";
    case platform::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case platform::REG_BINARY: return "REG_BINARY";
    case platform::REG_DWORD: return "REG_DWORD";
    case platform::REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "REG_" + std::to_string(type);
  }
}

// String data without its terminating NULs.
std::string StringData(const std::vector<BYTE>& data) {
  std::string s(data.begin(), data.end());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::vector<std::string> MultiStrings(const std::vector<BYTE>& data) {
  std::vector<std::string> strings;
  std::string current;
  for (BYTE b : data) {
    if (b == 0) {
      if (current.empty()) break;
      strings.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(b);
    }
  }
  if (!current.empty()) strings.push_back(current);
  return strings;
}

std::string Hex(const std::vector<BYTE>& data) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    if (i) out += ' ';
    out += byte;
  }
  return out;
}

DWORD DwordOf(const std::vector<BYTE>& data) {
  DWORD value = 0;
  for (size_t i = 0; i < 4 && i < data.size(); ++i) value |= DWORD(data[i]) << (8 * i);
  return value;
}

// The data as one line of text in the terminal's encoding.
std::string DataText(const Context& context, DWORD type, const std::vector<BYTE>& data) {
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ:
      return context.terminal.FromAnsi(StringData(data));
    case platform::REG_DWORD:
      return std::to_string(DwordOf(data));
    case platform::REG_MULTI_SZ: {
      std::string out;
      for (const auto& s : MultiStrings(data))
        out += (out.empty() ? "" : "; ") + context.terminal.FromAnsi(s);
      return out;
    }
    default:
      return Hex(data);
  }
}

void WriteDataJson(Json& json, DWORD type, const std::vector<BYTE>& data) {
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ:
      json.String(platform::AnsiToUtf8(StringData(data)));
      break;
    case platform::REG_DWORD:
      json.Integer(DwordOf(data));
      break;
    case platform::REG_MULTI_SZ:
      json.BeginArray();
      for (const auto& s : MultiStrings(data)) json.String(platform::AnsiToUtf8(s));
      json.EndArray();
      break;
    default:
      json.String(Hex(data));
  }
}

std::string Shown(const Context& context, const KeyPath& path) {
  return path.rootName + (path.subKey.empty() ? "" : "\\" + context.terminal.FromAnsi(path.subKey));
}

// An open key that closes itself.
struct OpenKey {
  HKEY handle = 0;
  ~OpenKey() {
    if (handle) platform::RegCloseKey(handle);
  }
};

void Open(const Context& context, const KeyPath& path, DWORD access, OpenKey& key) {
  LONG error = platform::RegOpenKeyExA(path.root, path.subKey.c_str(), 0, access, &key.handle);
  if (error != platform::ERROR_SUCCESS) {
    key.handle = 0;
    throw CtlError(kExitFailed, error == platform::ERROR_FILE_NOT_FOUND
                                    ? "no registry key " + Shown(context, path)
                                    : "cannot open registry key " + Shown(context, path) +
                                          " (error " + std::to_string(error) + ")");
  }
}

struct Value {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::vector<Value> ListValues(HKEY key) {
  std::vector<Value> values;
  for (DWORD index = 0;; ++index) {
    std::vector<char> name(16384);
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD type = 0, dataSize = 0;
    LONG error = platform::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                         nullptr, &dataSize);
    if (error != platform::ERROR_SUCCESS) break;
    Value value;
    value.name.assign(name.data(), nameSize);
    value.type = type;
    value.data.resize(dataSize);
    if (dataSize > 0) {
      nameSize = static_cast<DWORD>(name.size());
      error = platform::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                      value.data.data(), &dataSize);
      if (error != platform::ERROR_SUCCESS) value.data.clear();
      value.data.resize(std::min<size_t>(dataSize, value.data.size()));
    }
    values.push_back(std::move(value));
  }
  return values;
}

int CommandList(Context& context, const KeyPath& path) {
  OpenKey key;
  Open(context, path, platform::KEY_READ, key);
  std::vector<Value> values = ListValues(key.handle);
  if (context.options.json) {
    std::string keyName = path.rootName;
    if (!path.subKey.empty()) keyName += "\\" + platform::AnsiToUtf8(path.subKey);
    Json json;
    json.BeginObject().Key("key").String(keyName).Key("values").BeginArray();
    for (const auto& value : values) {
      json.BeginObject()
          .Key("name").String(platform::AnsiToUtf8(value.name))
          .Key("type").String(TypeName(value.type))
          .Key("data");
      WriteDataJson(json, value.type, value.data);
      json.EndObject();
    }
    std::cout << json.EndArray().EndObject().str() << "\n";
    return kExitOk;
  }
  for (const auto& value : values) {
    std::cout << (value.name.empty() ? "(Default)" : context.terminal.FromAnsi(value.name)) << "\t"
              << TypeName(value.type) << "\t" << DataText(context, value.type, value.data) << "\n";
  }
  return kExitOk;
}

int CommandGet(Context& context, const KeyPath& path, const std::string& valueName) {
  OpenKey key;
  Open(context, path, platform::KEY_READ, key);
  std::string name = context.terminal.ToAnsi(valueName);
  DWORD type = 0, size = 0;
  LONG error = platform::RegQueryValueExA(key.handle, name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size);
  if (error == platform::ERROR_SUCCESS && size > 0)
    error =
        platform::RegQueryValueExA(key.handle, name.c_str(), nullptr, &type, data.data(), &size);
  if (error != platform::ERROR_SUCCESS)
    throw CtlError(kExitFailed, error == platform::ERROR_FILE_NOT_FOUND
                                    ? "no value '" + valueName + "' in " + Shown(context, path)
                                    : "cannot read '" + valueName + "' (error " +
                                          std::to_string(error) + ")");
  data.resize(std::min<size_t>(size, data.size()));
  if (context.options.json) {
    Json json;
    json.BeginObject()
        .Key("name").String(platform::AnsiToUtf8(name))
        .Key("type").String(TypeName(type))
        .Key("data");
    WriteDataJson(json, type, data);
    std::cout << json.EndObject().str() << "\n";
  } else {
    std::cout << DataText(context, type, data) << "\n";
  }
  return kExitOk;
}

DWORD ParseDword(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  bool negative = !text.empty() && text[0] == '-';
  long long value = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || errno == ERANGE || value > 0xFFFFFFFFLL ||
      value < INT32_MIN || (negative && value > 0))
    throw CtlError(kExitUsage, "'" + text + "' is not a 32-bit number");
  return static_cast<DWORD>(value);
}

int CommandSet(Context& context, const KeyPath& path, const std::string& valueName,
               const std::string& dataText) {
  std::string name = context.terminal.ToAnsi(valueName);
  DWORD number = context.options.dword ? ParseDword(dataText) : 0;
  platform::Registry registry(platform::KEY_ALL_ACCESS);
  registry.SetRootKey(path.root);
  if (!registry.OpenKey(path.subKey, true))
    throw CtlError(kExitFailed, "cannot create registry key " + Shown(context, path));
  try {
    if (context.options.dword)
      registry.WriteInteger(name, static_cast<std::int32_t>(number));
    else
      registry.WriteString(name, context.terminal.ToAnsi(dataText));
  } catch (const platform::RegistryError& e) {
    throw CtlError(kExitFailed, context.terminal.FromAnsi(e.what()));
  }
  registry.CloseKey();
  if (context.options.json)
    std::cout << Json().BeginObject().Key("ok").Bool(true).EndObject().str() << "\n";
  return kExitOk;
}

int CommandDelete(Context& context, const KeyPath& path, const std::string& valueName) {
  OpenKey key;
  Open(context, path, platform::KEY_READ | platform::KEY_SET_VALUE, key);
  std::string name = context.terminal.ToAnsi(valueName);
  LONG error = platform::RegDeleteValueA(key.handle, name.c_str());
  if (error != platform::ERROR_SUCCESS)
    throw CtlError(kExitFailed, error == platform::ERROR_FILE_NOT_FOUND
                                    ? "no value '" + valueName + "' in " + Shown(context, path)
                                    : "cannot delete '" + valueName + "' (error " +
                                          std::to_string(error) + ")");
  if (context.options.json)
    std::cout << Json().BeginObject().Key("ok").Bool(true).EndObject().str() << "\n";
  return kExitOk;
}

}  // namespace

int RunRegistryCommand(Context& context) {
  const auto& args = context.options.args;  // "registry", action, KEY, ...
  if (args.size() < 3)
    throw CtlError(kExitUsage, "usage: registry list|get|set|delete KEY [VALUE [DATA]]");
  const std::string& action = args[1];
  struct Arity {
    const char* action;
    size_t operands;
  };
  static constexpr Arity kArity[] = {{"list", 1}, {"get", 2}, {"set", 3}, {"delete", 2}};
  const Arity* arity = nullptr;
  for (const auto& a : kArity)
    if (action == a.action) arity = &a;
  if (!arity)
    throw CtlError(kExitUsage, "unknown registry action '" + action + "' (list, get, set, delete)");
  if (args.size() != 2 + arity->operands) {
    static const char* kForms[] = {"list KEY", "get KEY VALUE", "set KEY VALUE DATA",
                                   "delete KEY VALUE"};
    throw CtlError(kExitUsage, std::string("usage: registry ") + kForms[arity - kArity]);
  }
  if (context.options.dword && action != "set")
    throw CtlError(kExitUsage, "--dword is for registry set");
  KeyPath path = ParseKeyPath(context, args[2]);
  if (action == "list") return CommandList(context, path);
  if (action == "get") return CommandGet(context, path, args[3]);
  if (action == "set") return CommandSet(context, path, args[3], args[4]);
  return CommandDelete(context, path, args[3]);
}

}  // namespace ctl
