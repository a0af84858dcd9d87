// The string table: the texts in the ANSI code page of the system language, and the buffer
// contract of LoadStringA.
#include "platform/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/text.h"
#include "support/test_support.h"

namespace {

using platform::LoadResourceString;
using platform::LoadStringA;

struct TextCase {
  unsigned id;
  const char* utf8;
};

const TextCase kTexts[] = {
    {30010, "Internal error."},
    {30011, "內部錯誤."},
    {30015, "ZlevaDoc 4.25 can't run on the Vista or Longhorn platform."},
    {30016, "ZelvaDoc 產品無法在 Vista 或 Longhorn 平台下運作."},
};

TEST(Strings, TextsComeBackExactlyOnATraditionalChineseSystem) {
  for (unsigned short language : {1028, 3076}) {
    testing_support::TempPrefix prefix(language);
    for (const TextCase& c : kTexts) {
      SCOPED_TRACE(testing::Message() << language << " / " << c.id);
      std::string ansi = LoadResourceString(c.id);
      EXPECT_EQ(platform::AnsiToUtf8(ansi), c.utf8);
      char buffer[256];
      EXPECT_EQ(LoadStringA(c.id, buffer, sizeof buffer), static_cast<int>(ansi.size()));
      EXPECT_EQ(std::string(buffer), ansi);
    }
  }
}

TEST(Strings, ChineseTextIsBig5OnCodePage950) {
  testing_support::TempPrefix prefix(1028);
  EXPECT_EQ(LoadResourceString(30011), "\xA4\xBA\xB3\xA1\xBF\xF9\xBB\x7E.");
  EXPECT_EQ(LoadResourceString(30016).substr(0, 13), "ZelvaDoc \xB2\xA3\xAB\x7E");
}

TEST(Strings, EnglishTextsAreTheSameOnAWesternSystem) {
  testing_support::TempPrefix prefix(1033);
  EXPECT_EQ(LoadResourceString(30010), "Internal error.");
  EXPECT_EQ(LoadResourceString(30015), "ZlevaDoc 4.25 can't run on the Vista or Longhorn platform.");
}

TEST(Strings, LoadStringKeepsTheBufferContract) {
  testing_support::TempPrefix prefix(1028);
  struct Case {
    unsigned id;
    int size;
    int length;
    std::string text;
  };
  const Case cases[] = {
      {30010, 64, 15, "Internal error."},
      {30010, 16, 15, "Internal error."},
      {30010, 15, 14, "Internal error"},
      {30010, 5, 4, "Inte"},
      {30010, 1, 0, ""},
      // A cut never leaves the lead byte of a Big5 character without its trail byte.
      {30011, 4, 2, "\xA4\xBA"},
      {30011, 5, 4, "\xA4\xBA\xB3\xA1"},
      {30011, 9, 8, "\xA4\xBA\xB3\xA1\xBF\xF9\xBB\x7E"},
      {12345, 64, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " in " << c.size);
    char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(LoadStringA(c.id, buffer, c.size), c.length);
    EXPECT_EQ(std::string(buffer), c.text);
  }
  char untouched = 'x';
  EXPECT_EQ(LoadStringA(30010, &untouched, 0), 0);
  EXPECT_EQ(untouched, 'x');
  EXPECT_EQ(LoadStringA(30010, nullptr, 10), 0);
  EXPECT_EQ(LoadResourceString(12345), "");
}

}  // namespace
