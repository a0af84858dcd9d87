// The ANSI code page, lead bytes, conversions and double-byte-aware searches.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/prefix.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using platform::GetACP;

// 許 in Big5 is B3 5C: its trail byte is a backslash.
const std::string kXuBig5 = "\xB3\x5C";
const std::string kXuUtf8 = "\xE8\xA8\xB1";
// 內部錯誤. in Big5 and in UTF-8.
const std::string kInternalErrorBig5 = "\xA4\xBA\xB3\xA1\xBF\xF9\xBB\x7E.";
const std::string kInternalErrorUtf8 = "內部錯誤.";

TEST(Text, CodePageFollowsTheSystemLanguage) {
  struct Case {
    unsigned short language;
    unsigned codePage;
  } cases[] = {{1028, 950}, {3076, 950}, {2052, 936}, {1041, 932},
               {1042, 949}, {1033, 1252}, {2057, 1252}, {1031, 1252}};
  testing_support::TempPrefix prefix;
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::SetSystemLanguageSetting(c.language));
    EXPECT_EQ(GetACP(), c.codePage) << "language " << c.language;
  }
}

TEST(Text, LeadBytesPerCodePage) {
  struct Case {
    unsigned codePage;
    unsigned char byte;
    bool lead;
  } cases[] = {
      {950, 0x80, false}, {950, 0x81, true},  {950, 0xB3, true},  {950, 0xFE, true},
      {950, 0xFF, false}, {950, 0x5C, false}, {936, 0x81, true},  {936, 0x7F, false},
      {949, 0xFE, true},  {932, 0x81, true},  {932, 0x9F, true},  {932, 0xA0, false},
      {932, 0xDF, false}, {932, 0xE0, true},  {932, 0xFC, true},  {932, 0xFD, false},
      {1252, 0xB3, false}, {1252, 0x81, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::IsDBCSLeadByteEx(c.codePage, c.byte), c.lead)
        << "code page " << c.codePage << " byte " << int(c.byte);
}

TEST(Text, ConvertsBothWaysInEachCodePage) {
  struct Case {
    unsigned codePage;
    std::string ansi;
    std::string utf8;
  } cases[] = {
      {950, kXuBig5, kXuUtf8},
      {950, kInternalErrorBig5, kInternalErrorUtf8},
      {936, "\xD6\xD0\xCE\xC4", "中文"},
      {932, "\x83\x65\x83\x58\x83\x67", "テスト"},
      {949, "\xC7\xD1\xB1\xDB", "한글"},
      {1252, "caf\xE9 \x80", "café €"},
      {950, "plain ASCII", "plain ASCII"},
      {950, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::AnsiToUtf8(c.ansi, c.codePage), c.utf8) << "code page " << c.codePage;
    EXPECT_EQ(platform::Utf8ToAnsi(c.utf8, c.codePage), c.ansi) << "code page " << c.codePage;
  }
}

TEST(Text, WhatDoesNotConvertBecomesAQuestionMark) {
  // A lone lead byte at the end, a lead byte with an impossible trail (the pair is one
  // character, the blank included, as Windows reads it), a character that Big5 lacks (two, as
  // Windows converts through UTF-16 and this one takes two units there), and bytes that are no
  // UTF-8 at all: each becomes '?', and the text around survives.
  EXPECT_EQ(platform::AnsiToUtf8("ab\xB3", 950), "ab?");
  EXPECT_EQ(platform::AnsiToUtf8("a\x81\x20" "b", 950), "a?b");
  EXPECT_EQ(platform::Utf8ToAnsi("x\xF0\x9F\x98\x80y", 950), "x??y");
  EXPECT_EQ(platform::Utf8ToAnsi("x\xFFy", 950), "x?y");
  EXPECT_EQ(platform::Utf8ToAnsi("x\xE8\xA8", 950), "x?");
}

TEST(Text, ConvertsThroughTheActiveCodePage) {
  testing_support::TempPrefix prefix(1028);
  EXPECT_EQ(platform::AnsiToUtf8(kXuBig5), kXuUtf8);
  ASSERT_TRUE(platform::SetSystemLanguageSetting(1033));
  EXPECT_EQ(platform::Utf8ToAnsi("café"), "caf\xE9");
}

TEST(Text, BackslashSearchStepsOverTrailBytes) {
  struct Case {
    unsigned short language;
    std::string text;
    std::size_t expected;
  } cases[] = {
      {1028, "D:\\" + kXuBig5, 2},
      {1028, kXuBig5, std::string::npos},
      {1028, "D:\\" + kXuBig5 + "\\a", 5},
      {1028, "a\\b\\", 3},
      {1028, "", std::string::npos},
      {1028, "\xB3", std::string::npos},
      {1033, "D:\\" + kXuBig5, 4},  // no double-byte characters in code page 1252
  };
  testing_support::TempPrefix prefix;
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::SetSystemLanguageSetting(c.language));
    EXPECT_EQ(platform::FindLastBackslash(c.text), c.expected)
        << "language " << c.language << " text " << c.text;
  }
}

TEST(Text, SubstringSearchNeverStartsOnATrailByte) {
  struct Case {
    std::string haystack;
    std::string needle;
    std::size_t expected;
  } cases[] = {
      {kXuBig5 + "\\x", "\\", 2},
      {kXuBig5 + "x", "\\x", std::string::npos},
      {"a" + kXuBig5 + "b", kXuBig5, 1},
      {"abc", "", 0},
      {"ab", "abc", std::string::npos},
      {"\xA4\xBA\xB3\xA1", "\xBA\xB3", std::string::npos},
  };
  testing_support::TempPrefix prefix(1028);
  for (const auto& c : cases)
    EXPECT_EQ(platform::FindDbcs(c.haystack, c.needle), c.expected) << c.haystack;
}

TEST(Text, TwoThreadsConvertAtOnce) {
  testing_support::TempPrefix prefix(1028);
  auto work = [](bool* ok) {
    for (int i = 0; i < 2000; ++i) {
      if (platform::AnsiToUtf8(kInternalErrorBig5) != kInternalErrorUtf8 ||
          platform::Utf8ToAnsi(kXuUtf8) != kXuBig5) {
        *ok = false;
        return;
      }
    }
  };
  bool okA = true, okB = true;
  std::thread a(work, &okA), b(work, &okB);
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
}

}  // namespace
