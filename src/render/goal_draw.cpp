// The goal ghost and the planned path. The ghost is the work at the goal pose,
// unlit and translucent in green, with dark green edges and marks that show its
// turn about its own axis; the path is the work's mid-point after each step,
// drawn over everything (it runs inside the work): the part already followed in
// thick purple, the rest in thinner teal (colours no other part of the scene uses:
// the contacts' traces are orange, magenta and green, the work's axes red, green
// and blue).
#include <GL/gl.h>

#include <cmath>

#include "app/goal_view.h"
#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kGhost[4] = {0.1f, 0.8f, 0.3f, 0.4f};
constexpr float kGhostEdge[4] = {0.0f, 0.45f, 0.15f, 1.0f};
constexpr float kFollowed[4] = {0.5f, 0.0f, 0.5f, 1.0f};
constexpr float kAhead[4] = {0.0f, 0.5f, 0.5f, 1.0f};
constexpr double kEdgeWidth = 100.0;  // model units: 2 pixels

// Azimuth and elevation that turn +Z onto the direction n (a circle's normal).
void NormalAngles(const double n[3], double ang[2]) {
  ang[0] = std::atan2(n[1], n[0]);
  ang[1] = std::atan2(std::sqrt(n[0] * n[0] + n[1] * n[1]), n[2]);
}

// Blending on, depth writes off, lighting off: the surfaces take kGhost as it is.
// Pushed back a little in depth, so that where the work stands at the goal the
// work is seen, not a mottle of both.
void BeginGhost() {
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1.0f, 4.0f);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glColor4fv(kGhost);
}

void EndGhost() {
  glDisable(GL_POLYGON_OFFSET_FILL);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
}

void CylinderGhost(const double mid[3], const double Ew[3][3], double aCyl, double hCyl) {
  double ex[3], ez[3], r0[3], rf[3], ang[2];
  MatColumn(Ew, 0, ex);
  MatColumn(Ew, 2, ez);
  VecAddScaled(mid, -0.5 * hCyl, ez, r0);
  VecAddScaled(mid, 0.5 * hCyl, ez, rf);
  BeginGhost();
  usrDrawCylinder(r0, rf, aCyl, kGhost);  // unlit: drawn in the current colour
  EndGhost();
  // the end circles, and on the side and both ends a mark along the work's x axis
  NormalAngles(ez, ang);
  usrDrawWireCircle3d(ang, r0, aCyl, kGhostEdge);
  usrDrawWireCircle3d(ang, rf, aCyl, kGhostEdge);
  double b[3], t[3];
  VecAddScaled(r0, aCyl, ex, b);
  VecAddScaled(rf, aCyl, ex, t);
  DrawLine(b, t, kEdgeWidth, kGhostEdge);
  DrawLine(r0, b, kEdgeWidth, kGhostEdge);
  DrawLine(rf, t, kEdgeWidth, kGhostEdge);
}

void SphereGhost(const double mid[3], const double Ew[3][3], double aSph) {
  BeginGhost();
  DrawSphere(mid, aSph, kGhost);
  EndGhost();
  // three great circles about the work's own axes
  for (int axis = 0; axis < 3; ++axis) {
    double n[3], ang[2];
    MatColumn(Ew, axis, n);
    NormalAngles(n, ang);
    usrDrawWireCircle3d(ang, mid, aSph, kGhostEdge);
  }
}

void Polyline(const std::vector<std::array<double, 3>>& pts, size_t from, size_t to, float width,
              const float colour[4]) {
  if (to <= from) return;
  glLineWidth(width);
  glColor4fv(colour);
  glBegin(GL_LINE_STRIP);
  for (size_t i = from; i <= to; ++i)
    glVertex3d(ToGL(pts[i][0]), ToGL(pts[i][1]), ToGL(pts[i][2]));
  glEnd();
}

void PathLine(const Sim& s) {
  const auto& c = s.plan.centres;
  const size_t last = c.size() - 1;
  const size_t done = s.plan.next < last ? s.plan.next : last;
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  Polyline(c, done, last, 3.0f, kAhead);
  Polyline(c, 0, done, 5.0f, kFollowed);
  glPopAttrib();
}

}  // namespace

void DrawGoal(const Sim& s) {
  const GoalParts p = WhatGoalToDraw(s);
  if (p.ghost) {
    double mid[3], Ew[3][3];
    GoalPoseToDraw(s, mid, Ew);
    if (s.WORK1 == '1')
      SphereGhost(mid, Ew, s.model().aSph);
    else
      CylinderGhost(mid, Ew, s.model().aCyl, s.model().hCyl);
  }
  if (p.path) PathLine(s);
}

}  // namespace rg
