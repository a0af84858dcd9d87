// The terminal's character set from the locale (the POSIX backend's source of it).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace {

TEST(Text, TerminalCodesetComesFromTheLocaleNameWhenTheLocaleIsMissing) {
  struct Case {
    const char* lcAll;
    const char* lcCtype;
    const char* lang;
    const char* expected;
  } cases[] = {
      {"", "", "xx_XX.UTF-8", "UTF-8"},  // named, but not generated here
      {"", "", "xx_XX.ISO-8859-15@euro", "ISO-8859-15"},
      {"", "xx_XX.GB18030", "xx_XX.UTF-8", "GB18030"},
      {"xx_XX.BIG5", "", "xx_XX.UTF-8", "BIG5"},
      {"C", "", "xx_XX.UTF-8", "ANSI_X3.4-1968"},
      {"", "", "xx_XX", "ANSI_X3.4-1968"},
      {"", "", "", "ANSI_X3.4-1968"},
      {"", "", "C.UTF-8", "UTF-8"},  // generated: the library's own answer
  };
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    had[i] = value != nullptr;
    if (value) saved[i] = value;
  }
  for (const Case& c : cases) {
    const char* values[] = {c.lcAll, c.lcCtype, c.lang};
    for (int i = 0; i < 3; ++i) setenv(names[i], values[i], 1);
    std::setlocale(LC_ALL, "");
    EXPECT_EQ(platform::HostCodeset(), c.expected) << c.lcAll << "|" << c.lcCtype << "|" << c.lang;
  }
  for (int i = 0; i < 3; ++i) had[i] ? setenv(names[i], saved[i].c_str(), 1) : unsetenv(names[i]);
  std::setlocale(LC_ALL, "C");
}

}  // namespace
