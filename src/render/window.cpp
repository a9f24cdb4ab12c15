// The window: GLUT set-up, the display, reshape and keyboard callbacks, and the
// event loop. GLUT callbacks carry no user pointer, so the simulation shown is
// held in one module-level pointer.
#include "render/window.h"

#include <GL/freeglut.h>

#include <cstdlib>

#include "core/console.h"
#include "app/keyboard.h"
#include "render/draw.h"

namespace rg {
namespace {

Sim* gSim = nullptr;

void Display() {
  if (gSim == nullptr) return;
  DrawFrame(*gSim);
  glFlush();
  glutSwapBuffers();
  // no idle processing is ever active
  if (!glutLayerGet(GLUT_NORMAL_DAMAGED)) glutIdleFunc(nullptr);
}

void Keyboard(unsigned char key, int x, int y) {
  if (gSim == nullptr) return;
  if (keyboard(*gSim, key, x, y)) {
    gSim->con.Flush();
    std::exit(0);
  }
  gSim->con.Flush();
}

}  // namespace

int WindowRun(Sim& s, int argc, char** argv) {
  gSim = &s;
  s.redraw = [] { Display(); };
  glutInitWindowSize(kWindowSize, kWindowSize);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(kWindowTitle);
  glutDisplayFunc(Display);
  glutReshapeFunc(Reshape);
  glutKeyboardFunc(Keyboard);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glutMainLoop();
  return 0;
}

}  // namespace rg
