// The text of the window overlay, decided from the state alone: the fixed help
// table, and the hand, work, velocity and mode-panel lines with their positions
// in the 600 x 600 layout space. The window draws exactly these lines.
#pragma once

#include "core/state.h"

namespace rg {

// Help table drawn at the top, one row every 20 units from y = 580 down.
extern const char HelpText[11][100];

// One line of window text at (x, y); every text ends with '\n'.
struct TextLine {
  float x = 0.0f, y = 0.0f;
  char text[48] = {};
};

struct OverlayText {
  int n = 0;
  TextLine line[16];
};

// The hand, work and velocity lines and the mode panel for the state.
void OverlayLines(const Sim& s, OverlayText& out);

// A count as its decimal digits written over "    \n" (most significant first);
// a value that does not fit in four characters shows as "****".
void CountField(int n, char out[6]);

}  // namespace rg
