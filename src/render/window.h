// The desktop window of the simulator and the check that a display exists.
// No GL types here.
#pragma once

#include <string>

#include "core/state.h"

namespace rg {

constexpr const char* kWindowTitle =
    "F:Robot Choice, O:Obstacle Set, A:Cal.of Goal Pose, B:Path Generation, C:Path Motion";
constexpr int kWindowSize = 600;

// True when the X display named by DISPLAY can be opened and offers OpenGL;
// otherwise false with *why saying what is missing (one phrase, no newline).
bool DisplayAvailable(std::string* why);

// Opens the 600 x 600 window on s, binds s.redraw to a redraw of the window and
// runs the event loop. Returns only if the loop ends without ending the process.
int WindowRun(Sim& s, int argc, char** argv);
// The same, the window starting with the panels of view (--show, --hide).
struct WindowView;
int WindowRun(Sim& s, int argc, char** argv, const WindowView& view);

}  // namespace rg
