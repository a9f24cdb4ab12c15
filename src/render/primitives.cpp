// Drawing primitives in OpenGL 1.1 immediate mode. Every primitive takes model
// units and scales them itself; lit primitives take their colour as the front
// ambient material, unlit ones (lines, circles) as the current colour.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

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

// The segment's points are a + t (b - a), t in [0, 1]. Under the current
// matrices (the projection is the identity, or any) a point's clip coordinates
// are linear in t, and so is every condition "the point lies on the inner side
// of one edge of a window rectangle" once multiplied by the clip w: each
// rectangle takes one interval of t out of the segment (Liang-Barsky on
// homogeneous coordinates).
void DrawLineAround(const double a[3], const double b[3], const std::vector<WindowRect>& keepOut) {
  double mv[16], pr[16];
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  // clip coordinates (x, y, w) of a and of b
  auto clip = [&](const double p[3], double c[3]) {
    double e[4];
    for (int i = 0; i < 4; ++i) e[i] = mv[i] * p[0] + mv[4 + i] * p[1] + mv[8 + i] * p[2] + mv[12 + i];
    const int rows[3] = {0, 1, 3};
    for (int k = 0; k < 3; ++k) {
      const int i = rows[k];
      c[k] = pr[i] * e[0] + pr[4 + i] * e[1] + pr[8 + i] * e[2] + pr[12 + i] * e[3];
    }
  };
  if (vp[2] <= 0 || vp[3] <= 0) return;
  double ca[3], cb[3];
  clip(a, ca);
  clip(b, cb);
  // a wide line reaches half its width beyond its ends, and a pixel more where
  // the rasteriser rounds
  GLfloat width = 1.0f;
  glGetFloatv(GL_LINE_WIDTH, &width);
  const double m = 0.5 * width + 1.0;
  std::vector<std::pair<double, double>> cut;
  for (const WindowRect& r : keepOut) {
    // the rectangle's edges in normalised device coordinates
    const double nx0 = 2.0 * (r.x0 - m - vp[0]) / vp[2] - 1.0, nx1 = 2.0 * (r.x1 + m - vp[0]) / vp[2] - 1.0;
    const double ny0 = 2.0 * (r.y0 - m - vp[1]) / vp[3] - 1.0, ny1 = 2.0 * (r.y1 + m - vp[1]) / vp[3] - 1.0;
    // inside: f0 + t (f1 - f0) >= 0 for x - nx0 w, nx1 w - x, y - ny0 w, ny1 w - y and w
    const double f[5][2] = {{ca[0] - nx0 * ca[2], cb[0] - nx0 * cb[2]},
                            {nx1 * ca[2] - ca[0], nx1 * cb[2] - cb[0]},
                            {ca[1] - ny0 * ca[2], cb[1] - ny0 * cb[2]},
                            {ny1 * ca[2] - ca[1], ny1 * cb[2] - cb[1]},
                            {ca[2], cb[2]}};
    double t0 = 0.0, t1 = 1.0;
    for (const auto& g : f) {
      const double d = g[1] - g[0];
      if (d == 0.0) {
        if (g[0] < 0.0) t0 = 2.0;  // wholly outside this edge
        continue;
      }
      const double t = -g[0] / d;
      if (d > 0.0)
        t0 = std::max(t0, t);
      else
        t1 = std::min(t1, t);
    }
    if (t0 < t1) cut.emplace_back(t0, t1);
  }
  std::sort(cut.begin(), cut.end());
  auto vertex = [&](double t) {
    glVertex3d(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2]));
  };
  glBegin(GL_LINES);
  double from = 0.0;
  for (const auto& c : cut) {
    if (c.first > from) {
      vertex(from);
      vertex(c.first);
    }
    from = std::max(from, c.second);
  }
  if (from < 1.0) {
    vertex(from);
    vertex(1.0);
  }
  glEnd();
}

}  // namespace rg
