// One frame of the scene: camera and light, text overlay, the user's view
// transform, axes, the work, the hand in the pose that the mode shows, the
// contact markers, and the replay frame.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "render/draw.h"

namespace rg {
namespace {

constexpr float kHandColour[4] = {0.0f, 0.0f, 1.0f, 1.0f};
constexpr float kMarkerColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kWorkColour[4] = {0.5f, 0.0f, 0.0f, 0.0f};

// Perspective and camera go on the model-view matrix (the projection stays the
// identity), so lighting is computed in the space that includes the perspective.
void FrameSetUp() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluPerspective(30.0, 1.0, 1.0, 100.0);
  gluLookAt(14.0 * std::cos(0.2), 14.0 * std::sin(0.2), 8.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
  const float position[4] = {4.0f, 0.0f, 4.0f, 0.5f};
  const float ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  const float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const float specular[4] = {0.7f, 0.7f, 0.7f, 1.0f};
  glEnable(GL_LIGHTING);
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glEnable(GL_LIGHT0);
  glEnable(GL_DEPTH_TEST);
  // The perspective on the model-view matrix changes the length of transformed
  // normals; renormalised, every lit surface keeps its shading instead of
  // saturating to white.
  glEnable(GL_NORMALIZE);
}

void Axes() {
  glDisable(GL_LIGHTING);
  glLineWidth(2.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINES);
  glVertex3d(0, 0, 0);
  glVertex3d(10, 0, 0);
  glVertex3d(0, 0, 0);
  glVertex3d(0, 10, 0);
  glVertex3d(0, 0, 0);
  glVertex3d(0, 0, 10);
  glEnd();
  glEnable(GL_LIGHTING);
}

void HandAndMarkers(const Sim& s) {
  draw_hand(s, s.qqa2[1], kHandColour);
  for (int kf = 1; kf <= s.nF && kf < kSlots; ++kf)
    draw_ContactMark(kf, s.ManipCPNTA2[1][kf], s.ManipNWA2[1][kf], kMarkerColour);
}

}  // namespace

void Reshape(int w, int h) {
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void DrawFrame(const Sim& s) {
  FrameSetUp();
  DrawOverlay(s);
  glRotated(s.rot[0], 1.0, 0.0, 0.0);
  glRotated(s.rot[1], 0.0, 1.0, 0.0);
  glRotated(s.rot[2], 0.0, 0.0, 1.0);
  glTranslated(s.trans[0], s.trans[1], s.trans[2]);
  Axes();
  const bool fromI = s.sgnCAL == 'I';
  if (s.sgnCAL != 'D') draw_work(s.WORK, s.RWW, s.EWW, kWorkColour);
  if (s.sgnCALS == 'S') draw_hand(s, s.qq0, kHandColour);
  if ((s.sgnCAL == 'G' || (fromI && s.sgnCALold == 'G')) && s.sgnCALS != 'S') HandAndMarkers(s);
  if (s.sgnCAL == 'A' || (fromI && s.sgnCALold == 'A')) HandAndMarkers(s);
  if (s.sgnCAL == 'D' || (fromI && s.sgnCALold == 'D')) PSeries(s, s.cntRepeat);
}

}  // namespace rg
