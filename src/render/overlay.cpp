// The text overlay: the help table at the top, the mode panel in the middle, the
// hand, work and velocity lines at the bottom, all in a fixed 600 x 600 layout
// space whatever the window size; and text at a point of the 3-D scene. Which
// lines are shown is decided by OverlayLines; this file only draws them.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include "app/overlay_text.h"
#include "render/draw.h"

namespace rg {
namespace {

// Characters of one line: up to its '\n'. A missing '\n' ends at the zero, so a
// malformed text never runs past its buffer.
void DrawChars(void* font, const char* text, char stop) {
  for (const char* c = text; *c != '\0' && *c != stop; ++c)
    glutBitmapCharacter(font, static_cast<unsigned char>(*c));
}

// Window-space drawing: own 0..600 orthographic mapping on the model-view
// matrix (the projection is the identity), black, no depth test, no lighting.
void BeginText2D() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(0.0, 600.0, 0.0, 600.0);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
}

void EndText2D() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glPopAttrib();
  glPopMatrix();
}

}  // namespace

void* OverlayFont() { return GLUT_BITMAP_HELVETICA_18; }

void DrawText2D(float x, float y, void* font, const char* text) {
  BeginText2D();
  glRasterPos2f(x, y);
  DrawChars(font, text, '\n');
  EndText2D();
}

void DrawTextLines(float x, float y, int n, float dy, void* font, const char rows[][100]) {
  BeginText2D();
  for (int i = 0; i < n; ++i) {
    glRasterPos2f(x, y + i * dy);
    // a row without '\n' ends at its zero or at the end of its 100 characters
    for (int c = 0; c < 100 && rows[i][c] != '\0' && rows[i][c] != '\n'; ++c)
      glutBitmapCharacter(font, static_cast<unsigned char>(rows[i][c]));
  }
  EndText2D();
}

void DrawText3D(float x, float y, float z, void* font, const char* text) {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glRasterPos3f(x, y, z);
  DrawChars(font, text, '\0');
  glEnable(GL_LIGHTING);
  glPopAttrib();
}

void DrawOverlay(const Sim& s) {
  DrawTextLines(5.0f, 580.0f, 11, -20.0f, OverlayFont(), HelpText);
  OverlayText lines;
  OverlayLines(s, lines);
  for (int i = 0; i < lines.n; ++i)
    DrawText2D(lines.line[i].x, lines.line[i].y, OverlayFont(), lines.line[i].text);
}

}  // namespace rg
