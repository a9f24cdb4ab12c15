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
// A default run rolls each contact 3 to 16 length units (4 to 22 pixels in the
// start-up view) over the work and the link: the marker is kept smaller than
// that (7 pixels across with its ring), and the traces go over it.
constexpr double kLargeMarker = 1.8;
constexpr double kMarkerRim = 0.7;  // the dark ring around a large marker
constexpr float kMarkerColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kRimColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
// Widths in pixels: the traces (the path through the hand frame, longer, under
// the traces on the bodies where they meet), and a dark edge of kEdge pixels
// on each side of every trace so that it reads on the yellow marker, the pink
// work and the pale blue link alike.
constexpr float kTraceWidth = 5.0f;
constexpr float kEdge = 1.0f;
constexpr float kEdgeColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
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
           const float colour[4], float width) {
  if (pts.size() < 2) return;  // one point is no trace yet: the marker shows it
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4fv(colour);
  glLineWidth(width);
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

// The three traces of one finger, as points: the path through the hand frame
// (on no surface), the trace on the work lifted off the axis or centre wo, wa,
// and the trace on the last link lifted off its axis lo, la.
struct FingerTraces {
  std::vector<Point3> path, work, link;
  const double* wo = nullptr;
  double wa[3] = {0, 0, 0};
  double lo[3] = {0, 0, 0}, la[3] = {0, 0, 0};
};

// Every finger's traces: first all dark edges, then the colours (the path,
// the work's, the link's), so that the edges outline the traces together and
// never cut one trace where another crosses it.
void DrawFingerTraces(const std::vector<FingerTraces>& all) {
  const float edge = kTraceWidth + 2 * kEdge;
  for (const FingerTraces& t : all) {
    Strip(t.path, nullptr, nullptr, kEdgeColour, edge);
    Strip(t.work, t.wo, t.wa, kEdgeColour, edge);
    Strip(t.link, t.lo, t.la, kEdgeColour, edge);
  }
  for (const FingerTraces& t : all) {
    Strip(t.path, nullptr, nullptr, kPathTrace, kTraceWidth);
    Strip(t.work, t.wo, t.wa, kWorkTrace, kTraceWidth);
    Strip(t.link, t.lo, t.la, kLinkTrace, kTraceWidth);
  }
}

}  // namespace

void DrawTraces(const Sim& s) {
  if (RecordLength(s) == 0) return;  // no record of the current grasp
  if (s.nJ() < 1 || s.nJ() > kSlots - 2) return;
  std::vector<FingerTraces> all;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    FingerTraces t;
    ContactPath(s, RecordLength(s) - 1, kf, t.path);
    t.path.push_back(Point3{{s.ManipCPNTA2[1][kf][0], s.ManipCPNTA2[1][kf][1], s.ManipCPNTA2[1][kf][2]}});
    WorkTrace(s, kf, t.work);
    t.wo = s.RWW;
    WorkLiftAxis(s, s.EWW, t.wa);
    LinkTrace(s, kf, t.link);
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.qqa2[1][kf]);
    VecCopy(P.JA[s.nJ()], t.lo);
    MatColumn(P.EA[s.nJ()], 0, t.la);  // the last link's axis
    all.push_back(std::move(t));
  }
  DrawFingerTraces(all);
}

void DrawWorkAxes(const double rw[3], const double Ew[3][3], const std::vector<WindowRect>& keepOut) {
  static const float kColours[3][4] = {{0.9f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.6f, 0.0f, 1.0f},
                                       {0.0f, 0.0f, 0.9f, 1.0f}};
  for (int k = 0; k < 3; ++k) {
    double e[3], tip[3];
    MatColumn(Ew, k, e);
    VecAddScaled(rw, kAxisLength, e, tip);
    glDisable(GL_LIGHTING);
    glColor4fv(kColours[k]);
    glLineWidth(4.0f);
    const double from[3] = {ToGL(rw[0]), ToGL(rw[1]), ToGL(rw[2])};
    const double to[3] = {ToGL(tip[0]), ToGL(tip[1]), ToGL(tip[2])};
    DrawLineAround(from, to, keepOut);
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

void DrawContacts(const Sim& s, const WindowView& v, const SceneParts& p,
                  const std::vector<WindowRect>& keepOut) {
  if (!v.traces) return;
  bool any = false;
  if (p.computedHand)
    for (int kf = 1; kf <= s.nF(); ++kf)
      if (ContactShown(s, kf)) {
        DrawLargeMarker(s.ManipCPNTA2[1][kf], kMarkerColour);
        any = true;
      }
  // the work's axes once a finger touches it: its turn is what the contacts make
  if (any && p.work && s.WORK1 == '2') DrawWorkAxes(s.RWW, s.EWW, keepOut);
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
  std::vector<FingerTraces> all;
  for (int kf = 1; kf <= f && kf < kSlots; ++kf) {
    FingerTraces t;
    ContactPath(s, m, kf, t.path);
    // the traces of rows 0..m on the work and on the link in their poses of row m
    ManipCPNTWTrail(s, m, kf, trail);
    toPoints(m + 1);
    t.work = pts;
    t.wo = s.ManipRW[m];
    WorkLiftAxis(s, s.ManipEW[m], t.wa);
    ManipCPNTFTrail(s, m, kf, trail);
    toPoints(m + 1);
    t.link = pts;
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[m][kf]);
    VecCopy(P.JA[n], t.lo);
    MatColumn(P.EA[n], 0, t.la);
    all.push_back(std::move(t));
  }
  DrawFingerTraces(all);
}

}  // namespace rg
