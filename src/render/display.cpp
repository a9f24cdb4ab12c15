// One frame of the scene: camera and light, the user's view transform, axes, the
// work, the hand in the pose that the mode shows, the contact markers, the replay
// frame, the contacts made visible (F3), and the text overlay on top.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "render/draw.h"

namespace rg {
namespace {

constexpr float kHandColour[4] = {0.0f, 0.0f, 1.0f, 1.0f};
constexpr float kMarkerColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kWorkColour[4] = {0.5f, 0.0f, 0.0f, 0.0f};

const double kEye[3] = {14.0 * std::cos(0.2), 14.0 * std::sin(0.2), 8.0};

void LookAt() { gluLookAt(kEye[0], kEye[1], kEye[2], 0.0, 0.0, 0.0, 0.0, 0.0, 1.0); }

void ViewTransform(const Sim& s) {
  glRotated(s.rot[0], 1.0, 0.0, 0.0);
  glRotated(s.rot[1], 0.0, 1.0, 0.0);
  glRotated(s.rot[2], 0.0, 0.0, 1.0);
  glTranslated(s.trans[0], s.trans[1], s.trans[2]);
}

// The mouse camera in eye space, between the perspective and the fixed camera:
// a pan across the view, then an orbit about the scene centre (the point the
// fixed camera and the view of mode 'I' put at eye position c).
void MouseCamera(const Sim& s, const Camera& cam, double fovyDeg) {
  double m[16];
  glPushMatrix();
  glLoadIdentity();
  LookAt();
  ViewTransform(s);
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  glPopMatrix();
  const double* p = kSceneCentre;
  double c[3];
  for (int i = 0; i < 3; ++i) c[i] = m[i] * p[0] + m[4 + i] * p[1] + m[8 + i] * p[2] + m[12 + i];
  // one view height at the depth of the centre, for the pan
  const double height = 2.0 * std::fabs(c[2]) * std::tan(fovyDeg * 3.14159265358979323846 / 360.0);
  glTranslated(cam.panX * height, cam.panY * height, 0.0);
  glTranslated(c[0], c[1], c[2]);
  glRotated(cam.pitch, 1.0, 0.0, 0.0);
  glRotated(cam.yaw, 0.0, 1.0, 0.0);
  glTranslated(-c[0], -c[1], -c[2]);
}

// Perspective and camera go on the model-view matrix (the projection stays the
// identity), so lighting is computed in the space that includes the perspective.
void FrameSetUp(const Sim& s, const WindowView& v) {
  GLint vp[4] = {0, 0, 600, 600};
  glGetIntegerv(GL_VIEWPORT, vp);
  double fovy = 30.0, aspect = 1.0;
  Perspective(vp[2], vp[3], v.cam.zoom, &fovy, &aspect);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluPerspective(fovy, aspect, 1.0, 100.0);
  if (!CameraIsHome(v.cam)) MouseCamera(s, v.cam, fovy);
  LookAt();
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

// The axes reach far across the window; they stop at the text panels, so that
// no axis line crosses the text over them.
void Axes(const std::vector<WindowRect>& text) {
  glDisable(GL_LIGHTING);
  glLineWidth(2.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  const double o[3] = {0, 0, 0};
  const double ends[3][3] = {{10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
  for (const auto& e : ends) DrawLineAround(o, e, text);
  glEnable(GL_LIGHTING);
}

void HandAndMarkers(const Sim& s) {
  draw_hand(s, s.qqa2[1], kHandColour);
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (ContactShown(s, kf))
      draw_ContactMark(kf, s.ManipCPNTA2[1][kf], s.ManipNWA2[1][kf], kMarkerColour);
}

}  // namespace

void Reshape(int w, int h) {
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void DrawFrame(const Sim& s, const WindowView& v) {
  FrameSetUp(s, v);
  ViewTransform(s);
  // the text lines made once: their panels keep the lines of the scene clear of them
  OverlayText lines;
  WindowLines(s, v, lines);
  const std::vector<WindowRect> text = OverlayPanels(lines);
  Axes(text);
  const SceneParts p = WhatToDraw(s, v);
  if (p.work) draw_work(s.model(), s.WORK1, s.RWW, s.EWW, kWorkColour);
  if (p.initialHand) draw_hand(s, s.qq0, kHandColour);
  if (p.computedHand) HandAndMarkers(s);
  if (p.replay) PSeries(s, s.cntRepeat);
  DrawGoal(s);
  DrawContacts(s, v, p, text);
  DrawOverlay(lines);
}

void DrawFrame(const Sim& s) { DrawFrame(s, WindowView{}); }

}  // namespace rg
