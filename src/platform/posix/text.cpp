// The ANSI code page of the system language, its lead bytes, and iconv conversions to UTF-8.
#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "platform/common/code_pages.h"
#include "platform/language.h"
#include "platform/posix/host.h"

namespace platform {
namespace {

// The iconv names of a code page, the Microsoft name first: glibc's CP950 carries the Windows
// additions that plain BIG5 lacks.
std::pair<const char*, const char*> IconvNames(unsigned codePage) {
  switch (codePage) {
    case 950: return {"CP950", "BIG5"};
    case 936: return {"CP936", "GBK"};
    case 932: return {"CP932", "SHIFT_JIS"};
    case 949: return {"CP949", "UHC"};
    default: return {"CP1252", "WINDOWS-1252"};
  }
}

enum class Direction { ToUtf8, ToAnsi };

// iconv descriptors keep state, so each thread keeps its own.
class Converters {
 public:
  ~Converters() {
    for (auto& [key, cd] : open_)
      if (cd != kNone) iconv_close(cd);
  }

  iconv_t Get(unsigned codePage, Direction direction) {
    auto key = std::make_pair(codePage, direction);
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    iconv_t cd = kNone;
    auto [preferred, alternative] = IconvNames(codePage);
    for (const char* name : {preferred, alternative}) {
      cd = direction == Direction::ToUtf8 ? iconv_open("UTF-8", name) : iconv_open(name, "UTF-8");
      if (cd != kNone) break;
    }
    open_.emplace(key, cd);
    return cd;
  }

  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  std::map<std::pair<unsigned, Direction>, iconv_t> open_;
};

Converters& ThreadConverters() {
  thread_local Converters converters;
  return converters;
}

// The length of the UTF-8 sequence that starts with c (1 for a stray byte).
std::size_t Utf8Length(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF4) return 4;
  if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
  if (c >= 0xC2) return 2;
  return 1;
}

// How many bytes of in make up the character that did not convert, so that it becomes '?'.
std::size_t UnconvertedLength(std::string_view in, unsigned codePage, Direction direction) {
  std::size_t n = 1;
  if (direction == Direction::ToAnsi)
    n = Utf8Length(static_cast<unsigned char>(in[0]));
  else if (IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(in[0])) && in.size() > 1)
    n = 2;  // a pair, as Windows and the lead-byte scans elsewhere see it, whatever its trail
  return std::min(n, in.size());
}

// How many '?' stand for the unconverted character: Windows converts through UTF-16, so a
// character beyond the Basic Multilingual Plane (a complete four-byte UTF-8 sequence, two UTF-16
// units) becomes two.
std::size_t ReplacementCount(std::string_view character, Direction direction) {
  if (direction != Direction::ToAnsi || character.size() != 4) return 1;
  for (char c : character.substr(1))
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) return 1;
  return 2;
}

// Converts in; failed tells whether any character was replaced by '?'. With strict set, stops at
// the first such character.
std::string Convert(std::string_view in, unsigned codePage, Direction direction, bool strict,
                    bool* failed) {
  *failed = false;
  std::string out;
  if (in.empty()) return out;
  iconv_t cd = ThreadConverters().Get(codePage, direction);
  if (cd == Converters::kNone) {
    *failed = true;
    return std::string(in);
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(in.size() * 3 + 16);
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  std::size_t used = 0;
  while (inLeft > 0) {
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int error = errno;
    used = out.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) break;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ (no such character) or EINVAL (cut short at the end).
    *failed = true;
    if (strict) return {};
    std::size_t skip = UnconvertedLength(std::string_view(inPtr, inLeft), codePage, direction);
    std::size_t marks = ReplacementCount(std::string_view(inPtr, skip), direction);
    inPtr += skip;
    inLeft -= skip;
    if (used + marks > out.size()) out.resize(out.size() * 2);
    out.replace(used, marks, marks, '?');
    used += marks;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
  return out;
}

}  // namespace

unsigned GetACP() { return CodePageOfLanguage(GetSystemDefaultLangID()); }

bool IsDBCSLeadByteEx(unsigned codePage, unsigned char c) {
  switch (codePage) {
    case 950:
    case 936:
    case 949:
      return c >= 0x81 && c <= 0xFE;
    case 932:
      return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    default:
      return false;
  }
}

bool IsDBCSLeadByte(unsigned char c) { return IsDBCSLeadByteEx(GetACP(), c); }

std::string AnsiToUtf8(std::string_view ansi, unsigned codePage) {
  bool failed;
  return Convert(ansi, codePage, Direction::ToUtf8, false, &failed);
}

std::string Utf8ToAnsi(std::string_view utf8, unsigned codePage) {
  bool failed;
  return Convert(utf8, codePage, Direction::ToAnsi, false, &failed);
}

std::string AnsiToUtf8(std::string_view ansi) { return AnsiToUtf8(ansi, GetACP()); }
std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToAnsi(utf8, GetACP()); }

std::string HostCodeset() {
  const char* library = nl_langinfo(CODESET);
  std::string codeset = library && *library ? library : "ANSI_X3.4-1968";
  const char* active = std::setlocale(LC_CTYPE, nullptr);
  if (!active || (std::strcmp(active, "C") != 0 && std::strcmp(active, "POSIX") != 0)) return codeset;
  // The C library fell back on "C": the name the user chose still says what the terminal shows.
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string_view name = value;
    std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) return codeset;
    std::string_view named = name.substr(dot + 1, name.find('@', dot) - dot - 1);
    return named.empty() ? codeset : std::string(named);
  }
  return codeset;
}

namespace posix {

std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8) {
  bool failed;
  std::string out = Convert(utf8, GetACP(), Direction::ToAnsi, true, &failed);
  if (failed) return std::nullopt;
  return out;
}

std::optional<std::string> AnsiToUtf8Strict(std::string_view ansi) {
  bool failed;
  std::string out = Convert(ansi, GetACP(), Direction::ToUtf8, true, &failed);
  if (failed) return std::nullopt;
  return out;
}

}  // namespace posix
std::string ConvertCharset(std::string_view text, const std::string& from, const std::string& to) {
  // Transliteration first: a terminal without a character still gets a readable stand-in.
  iconv_t cd = iconv_open((to + "//TRANSLIT").c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  std::string input(text);
  char* in = input.data();
  size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    if (result == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An unconvertible or broken sequence: skip one input byte (a UTF-8 character as a
      // whole) and mark it.
      size_t skip = 1;
      if (from == "UTF-8") {
        while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
      }
      in += skip;
      inLeft -= skip;
      out += '?';
    }
  }
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, outPtr - buffer);
  iconv_close(cd);
  return out;
}

}  // namespace platform
