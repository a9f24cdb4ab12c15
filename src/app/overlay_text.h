// The text of the window overlay, decided from the state alone: the fixed help
// table, and the hand, work, velocity and mode-panel lines with their positions
// in the 600 x 600 layout space. The window draws exactly these lines.
#pragma once

#include "core/state.h"

namespace rg {

// Help table drawn at the top, one row every 20 units from y = 580 down.
extern const char HelpText[11][100];
// What the table leaves out (the window's own keys, the mouse, how to quit),
// drawn with it in the small font under the mode panel, where the information
// panel of F2 goes when that is shown.
constexpr int kHelpMoreRows = 11;
extern const char HelpMore[kHelpMoreRows][100];

// One line of window text at (x, y); every text ends with '\n'. The window draws
// it in its large font (the help, the mode panel and the bottom lines) or in its
// small one (the information panel), and a banner on a box of its own colour.
struct TextLine {
  enum Font : char { Large, Small };
  enum Style : char { Plain, Banner };
  float x = 0.0f, y = 0.0f;
  Font font = Large;
  Style style = Plain;
  char text[100] = {};
};

struct OverlayText {
  int n = 0;
  TextLine line[48];
};

// Appends a line at (x, y) (its text cut to the line's length; nothing once the
// text is full); SetLine puts it in place of the line already at (x, y), or
// appends it where there is none.
void AddLine(OverlayText& o, float x, float y, const char* text,
             TextLine::Font font = TextLine::Large);
void SetLine(OverlayText& o, float x, float y, const char* text, TextLine::Font font);
// The layout y of row r (0 at the top) of the mode panel.
float PanelRowY(int r);

// The hand, work and velocity lines and the mode panel for the state.
void OverlayLines(const Sim& s, OverlayText& out);

// Everything the window writes over the scene: the help table unless F1 hid it,
// the lines of OverlayLines, the play line while space plays, the information
// panel of F2, and the banner of a console wait.
struct WindowView;
void WindowLines(const Sim& s, const WindowView& v, OverlayText& out);

// The lines of the information panel alone (F2): the work pose, each finger's
// joint angles (of the pose drawn) and contact type, the legend of the types,
// the manipulation step and time, and what caused a collision or deadlock.
void InfoLines(const Sim& s, const WindowView& v, OverlayText& out);

// The cause line of the information panel, "" when nothing is to be explained.
void CauseLine(const Sim& s, char out[100]);

// A count as its decimal digits written over "    \n" (most significant first);
// a value that does not fit in four characters shows as "****".
void CountField(int n, char out[6]);

}  // namespace rg
