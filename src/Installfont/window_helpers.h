#pragma once
// Small helpers of the font window: the screen's pointer shape, which the window sets for all
// of the application, and labels that size themselves to their text.

class QLabel;

enum class Pointer { Default, Hourglass, Hand };

// Default removes every override; the other shapes replace the current one.
void SetPointer(Pointer shape);

// Labels size themselves to their text (12 pixels high), keeping the edge the layout anchors them
// by: the left edge, or the right edge held in their "rightEdge" property.
void FitLabel(QLabel* label);
