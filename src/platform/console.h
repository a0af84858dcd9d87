#pragma once
// The console that standard error writes to, for output that redraws a line in place.

namespace platform {

// True when standard error is a console (a terminal), not a file or a pipe, that redraws a line
// in place: a carriage return and the erase-to-end-of-line sequence (ESC [ K). On Windows the
// console is switched to take such sequences; one that cannot be counts as no console.
bool StandardErrorIsConsole();
// The width of that console in columns; 0 when standard error is no console or its width is
// unknown.
int StandardErrorColumns();

}  // namespace platform
