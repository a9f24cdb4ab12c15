// Drawing primitives in OpenGL 1.1 immediate mode. Every primitive takes model
// units and scales them itself; lit primitives take their colour as the front
// ambient material, unlit ones (lines, circles) as the current colour.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>

#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr int kSeg = 50;                                  // segments around
constexpr double kStep = 2.0 * 3.1415926536 / kSeg;       // angle step
constexpr double kRadPerDeg = 0.01745329252;              // radians -> degrees divisor
constexpr float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
// GL's default front diffuse material; the translucent primitives only swap its
// alpha, because the alpha of a lit vertex is the alpha of the diffuse material.
constexpr float kDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};

// Azimuth (about Z) and elevation (about Y) that turn +Z onto d, in radians.
void AxisAngles(const double d[3], double ang[2]) {
  ang[0] = std::atan2(d[1], d[0]);
  ang[1] = std::atan2(std::sqrt(d[0] * d[0] + d[1] * d[1]), d[2]);
}

void ToGLv(const double p[3], double g[3]) {
  for (int i = 0; i < 3; ++i) g[i] = ToGL(p[i]);
}

void TranslateRotate(const double centre[3], const double ang[2]) {
  double g[3];
  ToGLv(centre, g);
  glTranslated(g[0], g[1], g[2]);
  glRotated(ang[0] / kRadPerDeg, 0.0, 0.0, 1.0);
  glRotated(ang[1] / kRadPerDeg, 0.0, 1.0, 0.0);
}

// The kSeg points of a circle of radius ga (drawing units) about the local z axis.
void CircleVertices(double ga) {
  for (int i = 0; i < kSeg; ++i) {
    const double th = i * kStep;
    glVertex3d(ga * std::cos(th), ga * std::sin(th), 0.0);
  }
}

void SetAmbient(const float colour[4]) { glMaterialfv(GL_FRONT, GL_AMBIENT, colour); }

// Blending on and depth writes off for a translucent primitive.
void BeginTranslucent(const float colour[4]) {
  const float diffuse[4] = {kDiffuse[0], kDiffuse[1], kDiffuse[2], colour[3]};
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
}

void EndTranslucent() {
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, kDiffuse);
}

// A solid of radius a from p0 to p1 in drawing units, and the angles that turn +Z
// onto its axis.
struct Span {
  double ang[2], ga, gL;
};

Span SpanOf(const double p0[3], const double p1[3], double a) {
  Span sp;
  double d[3];
  VecSub(p1, p0, d);
  AxisAngles(d, sp.ang);
  sp.ga = ToGL(a);
  sp.gL = ToGL(VecNorm(d));
  return sp;
}

// Side surface of a cylinder from r0 to rf, then both end disks.
void CylinderSurface(const double r0[3], const double rf[3], double a, const float colour[4]) {
  const Span sp = SpanOf(r0, rf, a);
  const double ga = sp.ga, gL = sp.gL;
  const double* ang = sp.ang;
  SetAmbient(colour);
  glPushMatrix();
  TranslateRotate(r0, ang);
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= kSeg; ++i) {
    const double th = i * kStep;
    const double c = std::cos(th), sn = std::sin(th);
    glNormal3d(c, sn, 0.0);
    glVertex3d(ga * c, ga * sn, 0.0);
    glVertex3d(ga * c, ga * sn, gL);
  }
  glEnd();
  glPopMatrix();
  DrawDisk(ang, r0, a, colour);
  DrawDisk(ang, rf, a, colour);
}

}  // namespace

void CylinderAlongZ(const double P[3], const double E[3][3], double a, double L,
                    const float colour[4], bool translucent, double rf[3]) {
  double ez[3];
  MatColumn(E, 2, ez);
  VecAddScaled(P, L, ez, rf);
  if (translucent)
    usrDrawCylinderTr(P, rf, a, colour);
  else
    usrDrawCylinder(P, rf, a, colour);
}

double ToGL(double x) { return x * 300.0 / 15000.0; }

void usrDrawCylinder(const double r0[3], const double rf[3], double a, const float colour[4]) {
  CylinderSurface(r0, rf, a, colour);
  glEnable(GL_LIGHTING);
}

void usrDrawCylinderTr(const double r0[3], const double rf[3], double a, const float colour[4]) {
  BeginTranslucent(colour);
  CylinderSurface(r0, rf, a, colour);
  EndTranslucent();
  glEnable(GL_LIGHTING);
}

void DrawDisk(const double angles[2], const double centre[3], double a, const float colour[4]) {
  const double ga = ToGL(a);
  SetAmbient(colour);
  glPushMatrix();
  TranslateRotate(centre, angles);
  glNormal3d(0.0, 0.0, 1.0);
  glBegin(GL_POLYGON);
  CircleVertices(ga);
  glEnd();
  glPopMatrix();
}

void usrDrawWireCircle3d(const double angles[2], const double centre[3], double a,
                         const float colour[4]) {
  const double ga = ToGL(a);
  glDisable(GL_LIGHTING);
  glColor4fv(colour);
  glLineWidth(2.0f);
  glPushMatrix();
  TranslateRotate(centre, angles);
  glBegin(GL_LINE_LOOP);
  CircleVertices(ga);
  glEnd();
  glPopMatrix();
  glEnable(GL_LIGHTING);
}

void DrawCone(const double p0[3], const double p1[3], double a, const float colour[4]) {
  const Span sp = SpanOf(p0, p1, a);
  const double ga = sp.ga, gL = sp.gL;
  const double* ang = sp.ang;
  // outward normal of the slanted surface at angle th: (gL cos th, gL sin th, ga)
  const double nl = std::sqrt(gL * gL + ga * ga);
  const double nr = nl > 0.0 ? gL / nl : 0.0, nz = nl > 0.0 ? ga / nl : 1.0;
  SetAmbient(colour);
  glPushMatrix();
  TranslateRotate(p0, ang);
  glBegin(GL_TRIANGLE_STRIP);
  double prevC = 1.0, prevS = 0.0;
  for (int i = 0; i <= kSeg; ++i) {
    const double th = i * kStep;
    const double c = std::cos(th), sn = std::sin(th);
    glNormal3d(nr * prevC, nr * prevS, nz);
    glVertex3d(ga * prevC, ga * prevS, 0.0);
    glNormal3d(nr * c, nr * sn, nz);
    glVertex3d(ga * c, ga * sn, 0.0);
    glVertex3d(0.0, 0.0, gL);
    prevC = c;
    prevS = sn;
  }
  glEnd();
  glPopMatrix();
  DrawDisk(ang, p0, a, colour);
}

void DrawSphere(const double centre[3], double a, const float colour[4]) {
  double g[3];
  ToGLv(centre, g);
  SetAmbient(colour);
  glPushMatrix();
  glTranslated(g[0], g[1], g[2]);
  glutSolidSphere(ToGL(a), 20, 20);
  glPopMatrix();
}

void DrawSphereTr(const double centre[3], double a, const float colour[4]) {
  BeginTranslucent(colour);
  DrawSphere(centre, a, colour);
  EndTranslucent();
}

void DrawLine(const double p0[3], const double p1[3], double w, const float colour[4]) {
  double g0[3], g1[3];
  ToGLv(p0, g0);
  ToGLv(p1, g1);
  glDisable(GL_LIGHTING);
  glColor4fv(colour);
  glLineWidth(static_cast<float>(ToGL(w)));  // below one pixel: the minimum width
  glBegin(GL_LINES);
  glVertex3dv(g0);
  glVertex3dv(g1);
  glEnd();
  glEnable(GL_LIGHTING);
}

void CylinderNet(const double r0[3], const double E[3][3], double a, double L) {
  const double ra = a + 0.1, h = L + 0.1;
  double ex[3], ey[3], ez[3], zyz[3];
  MatColumn(E, 0, ex);
  MatColumn(E, 1, ey);
  MatColumn(E, 2, ez);
  // The end circles lie in the planes normal to the cylinder axis (E's z column).
  FrameToZYZ(ex, ey, ez, zyz);
  const double ang[2] = {zyz[0], zyz[1]};
  double top[3], topH[3];
  VecAddScaled(r0, L, ez, top);
  VecAddScaled(r0, h, ez, topH);
  usrDrawWireCircle3d(ang, r0, ra, kBlack);
  usrDrawWireCircle3d(ang, top, ra, kBlack);
  for (int i = 0; i < 12; ++i) {
    const double phi = i * 2.0 * 3.1415926536 / 12.0;
    const double lb[3] = {ra * std::cos(phi), ra * std::sin(phi), 0.0};
    const double lt[3] = {lb[0], lb[1], h};
    double B[3], T[3], t[3];
    MatVec(E, lb, t);
    VecAdd(r0, t, B);
    MatVec(E, lt, t);
    VecAdd(r0, t, T);
    DrawLine(B, T, 0.05, kBlack);
    DrawLine(r0, B, 0.05, kBlack);
    DrawLine(topH, T, 0.05, kBlack);
  }
}

}  // namespace rg
