// What makes the rolling visible (on by default, F3 hides it): the work's own
// frame axes, large contact markers, and the contact traces of every finger on
// the work (magenta) and on its last link (green), in the grasp and the
// manipulation and for the replayed row. A contact lies between the link and the
// rim, where either body hides it, so the traces and the large markers are drawn
// over the scene (no depth test), the traces lifted a little off their surface.
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "app/traces.h"
#include "record/store.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kWorkTrace[4] = {1.0f, 0.0f, 1.0f, 1.0f};
constexpr float kLinkTrace[4] = {0.0f, 0.7f, 0.0f, 1.0f};
// the path of the contact point through the hand frame: the rolling seen from
// outside, several times longer than the traces on the bodies
constexpr float kPathTrace[4] = {1.0f, 0.5f, 0.0f, 1.0f};
constexpr double kLift = 2.0;      // model units off the surface
constexpr double kAxisLength = 140.0;  // out of the cylinder on every axis
constexpr double kLargeMarker = 3.0;
constexpr double kMarkerRim = 1.2;  // the dark ring around a large marker
constexpr float kMarkerColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kRimColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kTraceWidth = 5.0f;  // pixels
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
  if (pts.size() < 2) return;  // one point is no trace yet: the marker shows it
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4fv(colour);
  glLineWidth(kTraceWidth);
  glBegin(GL_LINE_STRIP);
  for (const Point3& p : pts) {
    double q[3];
    if (o != nullptr)
      Lift(p.p, o, a, q);
    else
      VecCopy(p.p, q);  // a path through space: on no surface
    glVertex3d(ToGL(q[0]), ToGL(q[1]), ToGL(q[2]));
  }
  glEnd();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
}

// The contact points of stored rows 0..n of finger kf in the hand frame.
void ContactPath(const Sim& s, int n, int kf, std::vector<Point3>& out) {
  out.clear();
  for (int m = 0; m <= n; ++m) {
    Point3 q;
    ManipCPNTW(s, m, m, kf, q.p);
    out.push_back(q);
  }
}

// The direction the work's traces are lifted from: away from the cylinder's
// axis, or (a zero axis) away from the sphere's centre.
void WorkLiftAxis(const Sim& s, const double Ew[3][3], double a[3]) {
  if (s.WORK1 == '1')
    VecSet(0.0, 0.0, 0.0, a);
  else
    MatColumn(Ew, 2, a);
}

}  // namespace

void DrawTraces(const Sim& s) {
  if (RecordLength(s) == 0) return;  // no record of the current grasp
  std::vector<Point3> pts;
  double wz[3];
  WorkLiftAxis(s, s.EWW, wz);
  for (int kf = 1; kf <= s.nF(); ++kf) {
    ContactPath(s, RecordLength(s) - 1, kf, pts);
    pts.push_back(Point3{{s.ManipCPNTA2[1][kf][0], s.ManipCPNTA2[1][kf][1], s.ManipCPNTA2[1][kf][2]}});
    Strip(pts, nullptr, nullptr, kPathTrace);
    WorkTrace(s, kf, pts);
    Strip(pts, s.RWW, wz, kWorkTrace);
    LinkTrace(s, kf, pts);
    if (s.nJ() < 1 || s.nJ() > kSlots - 2) continue;
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.qqa2[1][kf]);
    double lx[3];
    MatColumn(P.EA[s.nJ()], 0, lx);  // the last link's axis
    Strip(pts, P.JA[s.nJ()], lx, kLinkTrace);
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
  // a dark ball first and the coloured one over it: a ring that keeps the
  // marker apart from a yellow-lit or white background
  // Unlit: a flat disc of the full colour, whatever the light
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor4fv(kRimColour);
  DrawSphere(P, kLargeMarker + kMarkerRim, kRimColour);
  glColor4fv(colour);
  DrawSphere(P, kLargeMarker, colour);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
}

void DrawContacts(const Sim& s, const WindowView& v, const SceneParts& p) {
  if (!v.traces) return;
  bool any = false;
  if (p.computedHand)
    for (int kf = 1; kf <= s.nF(); ++kf)
      if (ContactShown(s, kf)) {
        DrawLargeMarker(s.ManipCPNTA2[1][kf], kMarkerColour);
        any = true;
      }
  // the work's axes once a finger touches it: its turn is what the contacts make
  if (any && p.work && s.WORK1 == '2') DrawWorkAxes(s.RWW, s.EWW);
  if (p.traces) DrawTraces(s);
  if (p.replay) DrawReplayContacts(s, s.cntRepeat);
}

void DrawReplayContacts(const Sim& s, int m) {
  if (m < 0 || m >= RecordLength(s) || s.HAND1 < 0 || s.HAND1 > 4) return;
  const int f = s.model().nF, n = s.model().nJ;
  if (n < 1 || n > kSlots - 2) return;
  double trail[kRows][3];  // rows 0..m filled, for one finger and side at a time
  std::vector<Point3> pts;
  auto toPoints = [&pts, &trail](int count) {
    pts.clear();
    for (int i = 0; i < count; ++i) {
      Point3 q;
      VecCopy(trail[i], q.p);
      pts.push_back(q);
    }
  };
  // the contacts of row m, with the traces over them as in the manipulation
  for (int kf = 1; kf <= f && kf < kSlots; ++kf) {
    if (!TouchingAtRow(s, m, kf)) continue;  // lifted off the work at that row
    double c[3];
    ManipCPNTW(s, m, m, kf, c);
    DrawLargeMarker(c, kMarkerColour);
  }
  double wz[3];
  WorkLiftAxis(s, s.ManipEW[m], wz);
  for (int kf = 1; kf <= f && kf < kSlots; ++kf) {
    ContactPath(s, m, kf, pts);
    Strip(pts, nullptr, nullptr, kPathTrace);
    // the traces of rows 0..m on the work and on the link in their poses of row m
    ManipCPNTWTrail(s, m, kf, trail);
    toPoints(m + 1);
    Strip(pts, s.ManipRW[m], wz, kWorkTrace);
    ManipCPNTFTrail(s, m, kf, trail);
    toPoints(m + 1);
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[m][kf]);
    double lx[3];
    MatColumn(P.EA[n], 0, lx);
    Strip(pts, P.JA[n], lx, kLinkTrace);
  }
}

}  // namespace rg
