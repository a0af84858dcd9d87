#pragma once
// The console that standard error writes to, for output that redraws a line in place.

namespace platform {

// True when standard error is a console (a terminal), not a file or a pipe.
bool StandardErrorIsConsole();
// The width of that console in columns; 0 when standard error is no console or its width is
// unknown.
int StandardErrorColumns();

}  // namespace platform
