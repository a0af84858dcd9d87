#pragma once
// The command line, and the console that standard error writes to, for output that redraws a
// line in place.

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The program's arguments (without its name) as text in the character set named alongside: on
// POSIX argv itself, in the terminal's character set; on Windows the Unicode command line in
// the ANSI code page. An argument that character set cannot hold is nullopt: Windows' own ANSI
// argv would have put '?' in place of what the code page lacks, unseen.
struct CommandLine {
  std::vector<std::optional<std::string>> args;
  std::string codeset;
};
CommandLine ReadCommandLine(int argc, char** argv);

// True when standard error is a console (a terminal), not a file or a pipe, that redraws a line
// in place: a carriage return and the erase-to-end-of-line sequence (ESC [ K). On Windows the
// console is switched to take such sequences; one that cannot be counts as no console.
bool StandardErrorIsConsole();
// The width of that console in columns; 0 when standard error is no console or its width is
// unknown.
int StandardErrorColumns();

}  // namespace platform
