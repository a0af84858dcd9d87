// The ANSI code page, its lead bytes and conversions to UTF-8 over the system's own tables
// (MultiByteToWideChar, WideCharToMultiByte, IsDBCSLeadByteEx).
#include "platform/text.h"

#include <string>

#include "platform/common/code_pages.h"
#include "platform/language.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {
namespace win32 {

std::wstring ToWide(std::string_view text, unsigned codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  int wide = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(wide > 0 ? wide : 0), L'\0');
  if (wide > 0) ::MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), wide);
  return out;
}

// Characters the code page lacks become its default character ('?'). No best-fit mapping: a
// text that does not convert must not turn into another text ("café" is not "cafe").
std::string FromWide(std::wstring_view wide, unsigned codePage) {
  if (wide.empty()) return {};
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length = static_cast<int>(wide.size());
  int bytes = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, out.data(), bytes, nullptr,
                          nullptr);
  return out;
}

}  // namespace win32

using win32::FromWide;
using win32::ToWide;

unsigned GetACP() {
  const LANGID language = win32::CurrentSettings().language;
  return language != 0 ? CodePageOfLanguage(language) : ::GetACP();
}

bool IsDBCSLeadByteEx(unsigned codePage, unsigned char c) {
  return ::IsDBCSLeadByteEx(codePage, c) != FALSE;
}

bool IsDBCSLeadByte(unsigned char c) { return IsDBCSLeadByteEx(GetACP(), c); }

std::string AnsiToUtf8(std::string_view ansi, unsigned codePage) {
  return FromWide(ToWide(ansi, codePage), CP_UTF8);
}

std::string Utf8ToAnsi(std::string_view utf8, unsigned codePage) {
  return FromWide(ToWide(utf8, CP_UTF8), codePage);
}

std::string AnsiToUtf8(std::string_view ansi) { return AnsiToUtf8(ansi, GetACP()); }
std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToAnsi(utf8, GetACP()); }

// The console's output code page; a process without a console writes in the ANSI code page.
std::string HostCodeset() {
  const unsigned codePage = ::GetConsoleOutputCP();
  if (codePage == CP_UTF8) return "UTF-8";
  return "CP" + std::to_string(codePage != 0 ? codePage : GetACP());
}

namespace {

// The code page a character set's name stands for; 0 when it names none.
unsigned CodePageOfCharset(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
  if (upper == "BIG5") return 950;
  if (upper.rfind("CP", 0) == 0 && upper.size() > 2 &&
      upper.find_first_not_of("0123456789", 2) == std::string::npos)
    return static_cast<unsigned>(std::stoul(upper.substr(2)));
  return 0;
}

}  // namespace

std::string ConvertCharset(std::string_view text, const std::string& from, const std::string& to) {
  const unsigned source = CodePageOfCharset(from), target = CodePageOfCharset(to);
  if (source == 0 || target == 0) return std::string(text);
  return FromWide(ToWide(text, source), target);
}

}  // namespace platform
