#pragma once
// Texts: the ANSI code page of the running system, its double-byte lead bytes, and conversion at
// the host boundary (file names, the registry store, what the windows show).

#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// The active ANSI code page: follows the system language (1028, 3076 -> 950; 2052 -> 936;
// 1041 -> 932; 1042 -> 949; else 1252).
unsigned GetACP();

// True when c starts a double-byte character in the code page (950: 0x81..0xFE).
bool IsDBCSLeadByteEx(unsigned codePage, unsigned char c);
bool IsDBCSLeadByte(unsigned char c);  // in the active code page

// Conversions between the active ANSI code page and UTF-8. Bytes that do not convert become '?'
// (to UTF-8) or '?' (to ANSI); never throws.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi, unsigned codePage);
std::string Utf8ToAnsi(std::string_view utf8, unsigned codePage);

// The character set of the user's terminal: the C library's, once setlocale(LC_ALL, "") found
// the locale that the environment names; when that locale is not generated on the machine, the
// codeset written in its name (LC_ALL, LC_CTYPE, LANG: "en_US.UTF-8" still means UTF-8).
// "ANSI_X3.4-1968" (ASCII) when nothing names one.
std::string HostCodeset();

// Converts text between two character sets named as HostCodeset names them ("UTF-8", "BIG5",
// "CP950"). What the target cannot hold, and a broken sequence of the source, become '?'. The
// text comes back unchanged when either set is unknown.
std::string ConvertCharset(std::string_view text, const std::string& from, const std::string& to);

// Position of the last backslash of s that is a character of its own, not the trail byte of a
// double-byte character (Big5 0xB3 0x5C is one character); std::string_view::npos when none.
std::size_t FindLastBackslash(std::string_view s);

// Finds needle in haystack, stepping over double-byte characters so that a match never starts
// on a trail byte; case-sensitive. npos when not found.
std::size_t FindDbcs(std::string_view haystack, std::string_view needle);

}  // namespace platform
