#pragma once
// What the program sets up around its windows: the application title, the platform's hooks into
// Qt (message boxes, the synchronizer's wake-up), the screen-wide pointer and the hint timing.

#include <string>

// The product title: the application title and the launcher's caption.
inline constexpr const char* kProductTitle = "ZelvaFont Orchid Edition";

// Sets the application title, marks the calling thread as the window thread and lets routines
// that other threads hand to it run from the Qt event loop. Needs the QApplication.
void InitialiseApplication();

// Shows the platform's message boxes as Qt message boxes (ANSI texts converted for display).
void InstallQtMessageBoxes();

// The screen-wide pointer: one value for the whole application. Default means no override:
// every control shows its own pointer shape.
enum class ScreenCursor { Default, Hand, Hourglass };
void SetScreenCursor(ScreenCursor cursor);
ScreenCursor CurrentScreenCursor();

// Application-wide hint timing: the pause before a hint shows and the time it stays.
void SetHintTiming(int pauseMs, int hidePauseMs);
int HintPause();
int HintHidePause();
