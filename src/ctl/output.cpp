// The terminal's encoding and the JSON writer of zelvafont-ctl.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "ctl/ctl.h"
#include "platform/text.h"

namespace ctl {
namespace {

bool IsUtf8Codeset(std::string codeset) {
  for (auto& c : codeset) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return codeset == "UTF-8" || codeset == "UTF8";
}

// Decodes one UTF-8 character at s[i]; U+FFFD for a broken sequence (one byte consumed).
char32_t DecodeUtf8(std::string_view s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (length == 0 || i + length > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = length == 1 ? c : c & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += length;
  return cp;
}

}  // namespace

Terminal::Terminal(std::string argumentCodeset) : argumentCodeset_(std::move(argumentCodeset)) {
  // The locale's name still says UTF-8 when that locale is not generated on the machine.
  codeset_ = platform::HostCodeset();
  utf8_ = IsUtf8Codeset(codeset_);
}

std::string Terminal::FromUtf8(std::string_view utf8) const {
  if (utf8_) return std::string(utf8);
  return platform::ConvertCharset(utf8, "UTF-8", codeset_);
}

std::string Terminal::ToUtf8(std::string_view text) const {
  if (IsUtf8Codeset(argumentCodeset_)) return std::string(text);
  return platform::ConvertCharset(text, argumentCodeset_, "UTF-8");
}

std::string Terminal::FromAnsi(std::string_view ansi) const {
  return FromUtf8(platform::AnsiToUtf8(ansi));
}

std::string Terminal::ToAnsi(std::string_view text) const {
  std::string utf8 = ToUtf8(text);
  std::string ansi = platform::Utf8ToAnsi(utf8);
  // The converter writes '?' for what the code page lacks; storing or looking up such a text
  // would silently use another one.
  if (std::count(ansi.begin(), ansi.end(), '?') != std::count(utf8.begin(), utf8.end(), '?'))
    throw CtlError(kExitUsage, "'" + std::string(text) + "' cannot be written in code page " +
                                   std::to_string(platform::GetACP()) +
                                   " (the system language's)");
  return ansi;
}

std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  char escape[16];
  auto unit = [&](unsigned u) {
    std::snprintf(escape, sizeof escape, "\\u%04x", u);
    out += escape;
  };
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = DecodeUtf8(utf8, i);
    switch (cp) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (cp < 0x20 || cp == 0x7F) {
      unit(cp);
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x10000) {
      unit(cp);
    } else {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    }
  }
  out += '"';
  return out;
}

void Json::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

Json& Json::BeginObject() {
  Separate();
  out_ += '{';
  first_.push_back(true);
  return *this;
}

Json& Json::EndObject() {
  out_ += '}';
  first_.pop_back();
  return *this;
}

Json& Json::BeginArray() {
  Separate();
  out_ += '[';
  first_.push_back(true);
  return *this;
}

Json& Json::EndArray() {
  out_ += ']';
  first_.pop_back();
  return *this;
}

Json& Json::Key(std::string_view name) {
  Separate();
  out_ += JsonQuote(name);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

Json& Json::String(std::string_view utf8) {
  Separate();
  out_ += JsonQuote(utf8);
  return *this;
}

Json& Json::Number(double value) {
  Separate();
  if (!std::isfinite(value)) {
    out_ += "null";
    return *this;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  out_ += buffer;
  return *this;
}

Json& Json::Integer(std::int64_t value) {
  Separate();
  out_ += std::to_string(value);
  return *this;
}

Json& Json::Bool(bool value) {
  Separate();
  out_ += value ? "true" : "false";
  return *this;
}

Json& Json::Null() {
  Separate();
  out_ += "null";
  return *this;
}

}  // namespace ctl
