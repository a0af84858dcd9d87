// Parsing a catalogue file once, with the rules of the platform's INI reader.
#include "engine/catalogue_file.h"

#include <algorithm>

#include "platform/files.h"

namespace engine {

namespace {

// The INI reader compares names as Windows does on a double-byte code page: a byte 0x81..0xFE
// starts a character whose trail byte (an ASCII letter, perhaps, in Big5) is compared exactly.
bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Blanks as the INI reader sees them; a CD-ROM's ^Z end-of-file mark counts as one.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

// The last ']' that is a character of its own.
std::size_t FindClosingBracket(std::string_view line) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 1; i < line.size(); ++i) {
    auto c = static_cast<unsigned char>(line[i]);
    if (IsLeadByte(c)) {
      ++i;
    } else if (c == ']') {
      found = i;
    }
  }
  return found;
}

std::string CleanValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > kValueLimit) value = value.substr(0, kValueLimit);
  return std::string(value);
}

// The key list as the reader copies it into its buffer: names each followed by a NUL and the
// list by a second NUL; a list that does not fit is cut to the buffer less two characters,
// which may leave the last name it reaches cut short.
std::vector<std::string> CutKeyList(std::vector<std::string> names) {
  std::size_t total = 0;
  for (const auto& name : names) total += name.size() + 1;
  if (total + 2 <= kKeyListBuffer) return names;
  const std::size_t room = kKeyListBuffer - 2;
  std::vector<std::string> kept;
  std::size_t at = 0;
  for (auto& name : names) {
    if (at >= room) break;
    const std::size_t n = std::min(name.size(), room - at);
    name.resize(n);
    kept.push_back(std::move(name));
    at += n;
    if (at < room) ++at;
  }
  return kept;
}

}  // namespace

std::size_t NameHash::operator()(std::string_view name) const {
  name = Trim(name);
  std::size_t h = 14695981039346656037ull;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c) && i + 1 < name.size()) {
      h = (h ^ c) * 1099511628211ull;
      c = static_cast<unsigned char>(name[++i]);
    } else {
      c = FoldAscii(c);
    }
    h = (h ^ c) * 1099511628211ull;
  }
  return h;
}

bool NameEqual::operator()(std::string_view a, std::string_view b) const {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (IsLeadByte(ca) && i + 1 < a.size()) {
      if (ca != cb || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (FoldAscii(ca) != FoldAscii(cb)) {
      return false;
    }
  }
  return true;
}

std::shared_ptr<const CatalogueFile> CatalogueFile::Parse(std::string_view bytes) {
  auto file = std::make_shared<CatalogueFile>();
  while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
  if (bytes.find('\0') != std::string_view::npos) return file;  // binary: reads as empty
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);

  // Lines before the first header, after a broken or nameless header, and in a repeated
  // section belong to no section that can be read. The first of two equal keys wins.
  Section* section = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = Trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      section = nullptr;
      const std::size_t close = FindClosingBracket(line);
      if (close == std::string_view::npos) continue;
      std::string_view name = Trim(line.substr(1, close - 1));
      if (name.empty()) continue;
      auto [it, inserted] = file->sections.try_emplace(std::string(name));
      if (inserted) section = &it->second;
      continue;
    }
    if (!section) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = TrimRight(line.substr(0, equals));
    if (key.empty()) continue;
    if (section->values.try_emplace(std::string(key), CleanValue(TrimLeft(line.substr(equals + 1))))
            .second) {
      section->keys.emplace_back(key);
    }
  }
  for (auto& [name, s] : file->sections) s.keys = CutKeyList(std::move(s.keys));
  return file;
}

std::shared_ptr<const CatalogueFile> CatalogueFile::Load(const std::string& path) {
  std::optional<std::string> bytes = platform::ReadWholeFile(path);
  return Parse(bytes ? std::string_view(*bytes) : std::string_view());
}

std::string_view CatalogueFile::Value(std::string_view section, std::string_view key) const {
  auto s = sections.find(section);
  if (s == sections.end()) return {};
  auto v = s->second.values.find(key);
  if (v == s->second.values.end()) return {};
  return v->second;
}

const std::vector<std::string>& CatalogueFile::Keys(std::string_view section) const {
  static const std::vector<std::string> none;
  auto s = sections.find(section);
  return s == sections.end() ? none : s->second.keys;
}

std::vector<long long> CatalogueFile::NumberedKeys(std::string_view section,
                                                  std::string_view prefix) const {
  std::vector<long long> numbers;
  auto s = sections.find(section);
  if (s == sections.end()) return numbers;
  for (const auto& [key, value] : s->second.values) {
    if (key.size() <= prefix.size() || key.size() - prefix.size() > 18) continue;
    if (!NameEqual{}(std::string_view(key).substr(0, prefix.size()), prefix)) continue;
    std::string_view digits = std::string_view(key).substr(prefix.size());
    if (digits.front() == '0') continue;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    long long n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    numbers.push_back(n);
  }
  return numbers;
}

}  // namespace engine
