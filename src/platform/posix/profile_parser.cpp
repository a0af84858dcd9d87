// Parsing profile (INI) bytes and answering GetPrivateProfileStringA from the parsed form.
#include "platform/posix/profile_parser.h"

#include <algorithm>
#include <cstring>

namespace platform::posix {
namespace {

// CR and ^Z count as blanks: files copied from DOS tools and CD-ROMs carry them.
bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

std::string_view TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && IsBlank(static_cast<unsigned char>(s[n - 1]))) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The last ']' that is a character of its own, not the trail byte of a double-byte character.
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

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Windows drops the trailing spaces of a default, not its other blanks.
std::string_view TrimmedDefault(std::string_view value) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return value;
}

DWORD CopyValue(std::string_view value, char* buffer, DWORD size) {
  std::size_t n = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

// The names that a list buffer of size (at least 2) characters holds: each name NUL-terminated,
// then a second NUL. A list that does not fit, or fits only exactly, is cut to size - 2
// characters, which may leave the last name it reaches cut short; room is then size - 2.
struct CutList {
  std::vector<std::string_view> names;
  std::size_t room = 0;
};

CutList CutNames(std::vector<std::string_view> names, DWORD size) {
  std::size_t total = 0;
  for (auto name : names) total += name.size() + 1;
  if (total + 2 <= size) return CutList{std::move(names), total};
  const std::size_t room = size - 2;
  std::size_t at = 0, kept = 0;
  for (; kept < names.size() && at < room; ++kept) {
    names[kept] = names[kept].substr(0, room - at);
    at += names[kept].size();
    if (at < room) ++at;
  }
  names.resize(kept);
  return CutList{std::move(names), room};
}

// The result of a cut list is size - 2, which is how a caller learns that it may have lost
// names.
DWORD CopyList(std::vector<std::string_view> names, std::string_view defaultValue, char* buffer,
               DWORD size) {
  if (names.empty()) {
    DWORD n = CopyValue(defaultValue, buffer, size);
    if (n + 1 < size) buffer[n + 1] = '\0';
    return n;
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  CutList list = CutNames(std::move(names), size);
  std::size_t at = 0;
  for (auto name : list.names) {
    std::memcpy(buffer + at, name.data(), name.size());
    at += name.size();
    if (at < list.room) buffer[at++] = '\0';
  }
  buffer[list.room] = '\0';
  if (list.room + 1 < size) buffer[list.room + 1] = '\0';
  return static_cast<DWORD>(list.room);
}

// The key names of a section, uncut, in file order with repeats; empty for a missing section.
std::vector<std::string_view> SectionKeyNames(const ParsedProfile& profile,
                                              std::string_view section) {
  std::vector<std::string_view> names;
  if (const ProfileSection* found = profile.FindSection(section)) {
    names.reserve(found->keys.size());
    for (const auto& k : found->keys)
      if (k.listed) names.push_back(k.name);
  }
  return names;
}

// The lines of bytes as the parser sees them: CR and LF each end a line.
template <typename Visit>
void ForEachLine(std::string_view data, Visit visit) {
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t end = pos;
    while (end < data.size() && !IsLineEnd(data[end])) ++end;
    std::size_t next = end;
    if (next < data.size()) {
      next += (data[next] == '\r' && next + 1 < data.size() && data[next + 1] == '\n') ? 2 : 1;
    }
    visit(pos, end, next);
    pos = next;
  }
}

std::string_view WithoutTrailingNuls(std::string_view data) {
  while (!data.empty() && data.back() == '\0') data.remove_suffix(1);
  return data;
}

std::size_t BomLength(std::string_view data) {
  return data.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

}  // namespace

// The hash folds every ASCII capital, trail bytes included: names that compare equal still hash
// equal, and eight bytes are folded at a time.
std::size_t ProfileNameHash::operator()(std::string_view name) const noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ name.size();
  const char* p = name.data();
  std::size_t left = name.size();
  while (left > 0) {
    std::uint64_t chunk = 0;
    std::size_t n = left < 8 ? left : 8;
    std::memcpy(&chunk, p, n);
    std::uint64_t low = chunk & ~kHigh;
    std::uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
    std::uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
    chunk |= (atLeastA & ~aboveZ & ~chunk & kHigh) >> 2;
    h = (h ^ chunk) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
    p += n;
    left -= n;
  }
  return static_cast<std::size_t>(h);
}

bool ProfileNameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  if (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0) return true;  // "" may be null
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

std::string_view TrimProfileBlanks(std::string_view s) { return Trim(s); }

ProfileLine ClassifyProfileLine(std::string_view raw) {
  ProfileLine line;
  std::string_view text = Trim(raw);
  if (text.empty()) return line;
  if (text.front() == '[') {
    std::size_t close = FindClosingBracket(text);
    if (close == std::string_view::npos) {
      line.kind = ProfileLine::Kind::BadSection;
      return line;
    }
    line.kind = ProfileLine::Kind::Section;
    line.name = Trim(text.substr(1, close - 1));
    return line;
  }
  const bool comment = text.front() == ';';
  line.kind = comment ? ProfileLine::Kind::Comment : ProfileLine::Kind::Other;
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return line;
  line.name = TrimRight(text.substr(0, eq));
  line.value = StripQuotes(TrimLeft(text.substr(eq + 1)));
  if (!comment) line.kind = ProfileLine::Kind::Key;
  return line;
}

namespace {

std::uint64_t SlotHash(std::uint32_t owner, std::string_view name) {
  std::uint64_t h = ProfileNameHash()(name) + owner * 0x9E3779B97F4A7C15ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}

}  // namespace

std::string_view ParsedProfile::NameAt(std::uint32_t owner, std::uint32_t item) const {
  return owner == kSections ? sections_[item].name : sections_[owner].keys[item].name;
}

std::uint32_t ParsedProfile::Find(std::uint32_t owner, std::string_view name) const {
  if (index_.empty()) return kNone;
  const std::uint64_t hash = SlotHash(owner, name);
  const std::size_t mask = index_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const IndexSlot& slot = index_[i];
    if (slot.item == kNone) return kNone;
    if (slot.hash == hash && slot.owner == owner &&
        ProfileNameEqual()(NameAt(owner, slot.item), name))
      return slot.item;
  }
}

bool ParsedProfile::Insert(std::uint32_t owner, std::string_view name, std::uint32_t item) {
  if ((indexUsed_ + 1) * 2 > index_.size()) Grow();
  const std::uint64_t hash = SlotHash(owner, name);
  const std::size_t mask = index_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    IndexSlot& slot = index_[i];
    if (slot.item == kNone) {
      slot = IndexSlot{hash, owner, item};
      ++indexUsed_;
      return true;
    }
    if (slot.hash == hash && slot.owner == owner &&
        ProfileNameEqual()(NameAt(owner, slot.item), name))
      return false;
  }
}

void ParsedProfile::Grow() {
  std::vector<IndexSlot> old = std::move(index_);
  index_.assign(old.empty() ? 64 : old.size() * 2, IndexSlot{});
  const std::size_t mask = index_.size() - 1;
  for (const IndexSlot& slot : old) {
    if (slot.item == kNone) continue;
    std::size_t i = slot.hash & mask;
    while (index_[i].item != kNone) i = (i + 1) & mask;
    index_[i] = slot;
  }
}

std::shared_ptr<const ParsedProfile> ParsedProfile::Parse(std::string bytes) {
  std::shared_ptr<ParsedProfile> profile(new ParsedProfile);
  profile->bytes_ = std::move(bytes);
  profile->Load();
  return profile;
}

std::shared_ptr<const ParsedProfile> ParsedProfile::Empty() {
  static const std::shared_ptr<const ParsedProfile> empty(new ParsedProfile);
  return empty;
}

void ParsedProfile::Load() {
  std::string_view data = WithoutTrailingNuls(bytes_);
  if (data.find('\0') != std::string_view::npos) {
    bytes_.clear();
    return;
  }
  data.remove_prefix(BomLength(data));

  // The first of two sections of one name wins; the later one is never read, so it is neither
  // indexed nor listed. Keys are kept as Windows keeps them: the key list shows a repeated name
  // each time, while a lookup finds its first line. The keys before the first header form the
  // section with the empty name; the lines after a broken or nameless header belong to no
  // section rather than to the section before it.
  std::uint32_t current = kNone;
  bool headerSeen = false;
  ForEachLine(data, [&](std::size_t begin, std::size_t end, std::size_t) {
    ProfileLine line = ClassifyProfileLine(data.substr(begin, end - begin));
    switch (line.kind) {
      case ProfileLine::Kind::Section: {
        headerSeen = true;
        current = kNone;
        if (line.name.empty()) break;
        auto index = static_cast<std::uint32_t>(sections_.size());
        sections_.push_back(ProfileSection{line.name, {}});
        if (Insert(kSections, line.name, index)) {
          current = index;
        } else {
          sections_.pop_back();
        }
        break;
      }
      case ProfileLine::Kind::BadSection:
        headerSeen = true;
        current = kNone;
        break;
      case ProfileLine::Kind::Comment:
        if (line.name.empty()) break;  // no '=': nothing to look up
        [[fallthrough]];
      case ProfileLine::Kind::Key: {
        if (!headerSeen && current == kNone) {
          current = static_cast<std::uint32_t>(sections_.size());
          sections_.push_back(ProfileSection{{}, {}});
          Insert(kSections, {}, current);
        }
        if (current == kNone) break;
        auto& keys = sections_[current].keys;
        const bool listed = line.kind == ProfileLine::Kind::Key && !line.name.empty();
        const bool first = Insert(current, line.name, static_cast<std::uint32_t>(keys.size()));
        keys.push_back(ProfileKey{line.name, line.value, first, listed});
        break;
      }
      default:
        break;
    }
  });
}

const ProfileSection* ParsedProfile::FindSection(std::string_view name) const {
  std::uint32_t section = Find(kSections, Trim(name));
  return section == kNone ? nullptr : &sections_[section];
}

const ProfileKey* ParsedProfile::FindKey(std::string_view section, std::string_view key) const {
  std::uint32_t owner = Find(kSections, Trim(section));
  if (owner == kNone) return nullptr;
  std::uint32_t item = Find(owner, Trim(key));
  return item == kNone ? nullptr : &sections_[owner].keys[item];
}

DWORD CopyProfileValue(std::string_view value, char* buffer, DWORD size) {
  return CopyValue(value, buffer, size);
}

DWORD CopyProfileList(std::vector<std::string_view> names, std::string_view defaultValue,
                      char* buffer, DWORD size) {
  return CopyList(std::move(names), defaultValue, buffer, size);
}

DWORD CopyProfileString(const ParsedProfile& profile, const char* section, const char* key,
                        const char* defaultValue, char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view fallback = TrimmedDefault(defaultValue ? defaultValue : "");
  std::vector<std::string_view> names;
  if (section == nullptr) {
    for (const auto& s : profile.sections())
      if (!s.name.empty()) names.push_back(s.name);  // the keys before any header have none
    return CopyList(names, fallback, buffer, size);
  }
  if (key == nullptr) return CopyList(SectionKeyNames(profile, section), fallback, buffer, size);
  const ProfileKey* found = profile.FindKey(section, key);
  return CopyValue(found ? found->value : fallback, buffer, size);
}

std::string ProfileValue(const ParsedProfile& profile, std::string_view section,
                         std::string_view key, std::string_view defaultValue, DWORD bufferSize) {
  if (bufferSize == 0) return {};
  const ProfileKey* found = profile.FindKey(section, key);
  std::string_view value = found ? found->value : TrimmedDefault(defaultValue);
  return std::string(value.substr(0, bufferSize - 1));
}

std::vector<std::string_view> ProfileKeyNames(const ParsedProfile& profile,
                                              std::string_view section, DWORD bufferSize) {
  // The section name reaches the reader as a C string.
  section = section.substr(0, section.find('\0'));
  std::vector<std::string_view> names = SectionKeyNames(profile, section);
  if (names.empty() || bufferSize < 2) return {};
  return CutNames(std::move(names), bufferSize).names;
}

std::vector<std::string> ProfileKeys(const ParsedProfile& profile, std::string_view section,
                                     DWORD bufferSize) {
  std::vector<std::string> keys;
  for (std::string_view name : ProfileKeyNames(profile, section, bufferSize))
    keys.emplace_back(name);
  return keys;
}

std::vector<long long> ProfileNumberedKeys(const ParsedProfile& profile, std::string_view section,
                                           std::string_view prefix) {
  std::vector<long long> numbers;
  const ProfileSection* found = profile.FindSection(section);
  if (found == nullptr) return numbers;
  for (const ProfileKey& key : found->keys) {
    if (!key.first) continue;
    if (key.name.size() <= prefix.size() || key.name.size() - prefix.size() > 18) continue;
    if (!ProfileNameEqual()(key.name.substr(0, prefix.size()), prefix)) continue;
    std::string_view digits = key.name.substr(prefix.size());
    if (digits.front() == '0') continue;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    long long n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    numbers.push_back(n);
  }
  return numbers;
}

bool EditProfileBytes(std::string& bytes, std::string_view section, const char* key,
                      const char* value) {
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  const std::size_t start = BomLength(bytes);
  std::string_view data = std::string_view(bytes).substr(start);
  section = Trim(section);

  // Where the reader's section lies: its header line, its lines, and the first line that holds
  // the key; every position is an offset into data.
  bool inSection = false, sectionDone = false;
  std::size_t headerBegin = 0, bodyEnd = data.size();
  std::size_t lastContentEnd = std::string_view::npos;  // end of the last non-blank body line
  bool lastContentTerminated = true;
  std::size_t keyBegin = 0, keyEnd = 0, keyNext = 0;
  std::string_view keyName;
  bool keyFound = false;
  ForEachLine(data, [&](std::size_t begin, std::size_t end, std::size_t next) {
    if (sectionDone) return;
    ProfileLine line = ClassifyProfileLine(data.substr(begin, end - begin));
    bool header = line.kind == ProfileLine::Kind::Section ||
                  line.kind == ProfileLine::Kind::BadSection;
    if (inSection) {
      if (header) {
        bodyEnd = begin;
        sectionDone = true;
        return;
      }
      if (line.kind != ProfileLine::Kind::Blank) {
        lastContentEnd = next;
        lastContentTerminated = next > end;
      }
      if (!keyFound && key && line.kind == ProfileLine::Kind::Key &&
          ProfileNameEqual()(line.name, Trim(key))) {
        keyFound = true;
        keyBegin = begin;
        keyEnd = end;
        keyNext = next;
        keyName = line.name;
      }
      return;
    }
    if (line.kind == ProfileLine::Kind::Section && !line.name.empty() &&
        ProfileNameEqual()(line.name, section)) {
      inSection = true;
      headerBegin = begin;
      lastContentEnd = next;
      lastContentTerminated = next > end;
    }
  });

  auto absolute = [start](std::size_t offset) { return start + offset; };
  if (key == nullptr) {
    if (!inSection) return false;
    bytes.erase(absolute(headerBegin), bodyEnd - headerBegin);
    return true;
  }
  if (value == nullptr) {
    if (!keyFound) return false;
    bytes.erase(absolute(keyBegin), keyNext - keyBegin);
    return true;
  }
  if (keyFound) {
    std::string line = std::string(keyName) + "=" + value;
    if (data.substr(keyBegin, keyEnd - keyBegin) == line) return false;
    bytes.replace(absolute(keyBegin), keyEnd - keyBegin, line);
    return true;
  }
  std::string line = std::string(Trim(key)) + "=" + value + "\r\n";
  if (inSection) {
    if (!lastContentTerminated) line.insert(0, "\r\n");
    bytes.insert(absolute(lastContentEnd), line);
    return true;
  }
  if (!bytes.empty() && !IsLineEnd(bytes.back())) bytes += "\r\n";
  bytes += "[" + std::string(section) + "]\r\n" + line;
  return true;
}

namespace {

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool ValidProfileEdit(const char* section, const char* key, const char* value) {
  std::string_view s = section;
  if (HasLineBreak(s) || s.find(']') != std::string_view::npos) return false;
  if (s.find_first_not_of(" \t") == std::string_view::npos) return false;
  if (key) {
    std::string_view k = key;
    std::size_t first = k.find_first_not_of(" \t");
    if (first == std::string_view::npos || HasLineBreak(k) || k.find('=') != k.npos) return false;
    if (k[first] == ';' || k[first] == '[') return false;
  }
  return value == nullptr || !HasLineBreak(value);
}

}  // namespace platform::posix
