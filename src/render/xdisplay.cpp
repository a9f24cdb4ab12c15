// Display check before GLUT starts: freeglut ends the process when it cannot
// open the display, so the programs ask Xlib first and explain what is missing.
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "render/window.h"

namespace rg {

bool DisplayAvailable(std::string* why) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    *why = "no X display (DISPLAY is not set)";
    return false;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (dpy == nullptr) {
    *why = std::string("cannot open the X display \"") + name + "\"";
    return false;
  }
  int errorBase = 0, eventBase = 0;
  if (!glXQueryExtension(dpy, &errorBase, &eventBase)) {
    XCloseDisplay(dpy);
    *why = std::string("the X display \"") + name + "\" has no OpenGL (GLX)";
    return false;
  }
  // The connection stays open for the life of the process: an X server that
  // resets when its last client leaves (a bare Xvfb) would otherwise be
  // resetting just when GLUT connects, and GLUT would fail to open it.
  static Display* keep = nullptr;
  if (keep == nullptr) {
    keep = dpy;
  } else {
    XCloseDisplay(dpy);
  }
  return true;
}

}  // namespace rg
