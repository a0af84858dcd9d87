#pragma once
// The screen's pointer shape, as the font window sets it for all of the application.

enum class Pointer { Default, Hourglass, Hand };

// Default removes every override; the other shapes replace the current one.
void SetPointer(Pointer shape);
