// What F3 adds to the scene so that the rolling can be seen: the work's own frame
// axes, large contact markers, and the contact traces of every finger on the work
// (magenta) and on its last link (green). A contact lies between the link and the
// rim, where either body hides it, so the traces and the large markers are drawn
// over the scene (no depth test), the traces lifted a little off their surface.
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "app/traces.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kWorkTrace[4] = {1.0f, 0.0f, 1.0f, 1.0f};
constexpr float kLinkTrace[4] = {0.0f, 0.7f, 0.0f, 1.0f};
constexpr double kLift = 2.0;      // model units off the surface
constexpr double kAxisLength = 140.0;  // out of the cylinder on every axis
constexpr double kLargeMarker = 5.0;

// p moved away from the axis through o along unit direction a by kLift.
void Lift(const double p[3], const double o[3], const double a[3], double out[3]) {
  double d[3], along[3], radial[3];
  VecSub(p, o, d);
  VecScale(VecDot(d, a), a, along);
  VecSub(d, along, radial);
  const double r = VecNorm(radial);
  if (r > 0.0) {
    VecAddScaled(p, kLift / r, radial, out);
  } else {
    VecCopy(p, out);
  }
}

void Strip(const std::vector<Point3>& pts, const double o[3], const double a[3],
           const float colour[4]) {
  if (pts.empty()) return;
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4fv(colour);
  glLineWidth(3.0f);
  glPointSize(3.0f);
  glBegin(pts.size() == 1 ? GL_POINTS : GL_LINE_STRIP);
  for (const Point3& p : pts) {
    double q[3];
    Lift(p.p, o, a, q);
    glVertex3d(ToGL(q[0]), ToGL(q[1]), ToGL(q[2]));
  }
  glEnd();
  glPointSize(1.0f);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
}

}  // namespace

void DrawTraces(const Sim& s) {
  std::vector<Point3> pts;
  double wz[3];
  MatColumn(s.EWW, 2, wz);
  for (int kf = 1; kf <= s.nF && kf < kSlots; ++kf) {
    WorkTrace(s, kf, pts);
    Strip(pts, s.RWW, wz, kWorkTrace);
    LinkTrace(s, kf, pts);
    if (s.nJ < 1 || s.nJ > kSlots - 2) continue;
    const FingerPose P = Findirect_kineR(s, kf, s.qqa2[1][kf]);
    double lx[3];
    MatColumn(P.EA[s.nJ], 0, lx);  // the last link's axis
    Strip(pts, P.JA[s.nJ], lx, kLinkTrace);
  }
}

void DrawWorkAxes(const double rw[3], const double Ew[3][3]) {
  static const float kColours[3][4] = {{0.9f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.6f, 0.0f, 1.0f},
                                       {0.0f, 0.0f, 0.9f, 1.0f}};
  for (int k = 0; k < 3; ++k) {
    double e[3], tip[3];
    MatColumn(Ew, k, e);
    VecAddScaled(rw, kAxisLength, e, tip);
    glDisable(GL_LIGHTING);
    glColor4fv(kColours[k]);
    glLineWidth(4.0f);
    glBegin(GL_LINES);
    glVertex3d(ToGL(rw[0]), ToGL(rw[1]), ToGL(rw[2]));
    glVertex3d(ToGL(tip[0]), ToGL(tip[1]), ToGL(tip[2]));
    glEnd();
    glEnable(GL_LIGHTING);
  }
}

void DrawLargeMarker(const double P[3], const float colour[4]) {
  glDisable(GL_DEPTH_TEST);
  DrawSphere(P, kLargeMarker, colour);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace rg
