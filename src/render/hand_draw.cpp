// Drawing of the hand: palm, joint bodies, links, fingertip balls, joint-axis
// arrows and finger labels, each finger in the pose of the angles it is drawn with.
#include <cassert>
#include <cmath>

#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "record/store.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kLinkColour[4] = {0.0f, 0.5f, 1.0f, 0.3f};  // links and tips, normal drawing
constexpr float kReplayOn[4] = {0.0f, 0.0f, 0.9f, 0.5f};    // replay, finger in contact
constexpr float kReplayOff[4] = {0.5f, 0.0f, 0.0f, 0.0f};   // replay, other fingers
constexpr float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};

bool InReplay(const Sim& s) {
  return s.sgnCAL == 'D' || (s.sgnCAL == 'I' && s.sgnCALold == 'D');
}

// Frame of link j: z along the x axis of joint frame j, x along its z axis.
void LinkFrame(const double EAj[3][3], double Ef[3][3]) {
  double x[3], z[3], y[3];
  MatColumn(EAj, 0, z);
  MatColumn(EAj, 2, x);
  VecCross(z, x, y);  // EA's x cross EA's z: the negative y axis of EA
  for (int i = 0; i < 3; ++i) {
    Ef[i][0] = x[i];
    Ef[i][1] = y[i];
    Ef[i][2] = z[i];
  }
}

// Label "1".."9" just below the first joint of finger kf.
void FingerLabel(const FingerPose& F, int kf) {
  const char label[2] = {DigitChar(kf), '\0'};
  const double* P = F.JA[1];
  DrawText3D(static_cast<float>(ToGL(P[0])), static_cast<float>(ToGL(P[1]) - 0.3),
             static_cast<float>(ToGL(P[2])), OverlayFont(), label);
}

void JointsAndAxes(const Model& m, const FingerPose& F, int n, const float colour[4]) {
  for (int j = 1; j <= n; ++j)
    draw_joint(m.jointType[j], F.JA[j], F.EA[j], m.lRjnt, m.rRjnt, colour);
  for (int j = 1; j <= n; ++j) {
    double e[3];
    MatColumn(F.EA[j], 2, e);
    DrawArrow(F.JA[j], e, kBlack);
  }
}

}  // namespace

void draw_hand(const Sim& s, const double qqf[kSlots][kSlots], const float colour[4]) {
  if (s.HAND1 < 0 || s.HAND1 > 4) return;
  const int n = s.model().nJ;
  for (int kf = 1; kf <= s.model().nF; ++kf) {
    if (InReplay(s)) {
      // a finger lifted off the work at the replayed row is drawn as one that stopped
      const bool on = (s.sgnC[kf] == 'Y' || s.sgnC[kf] == 'L') && TouchingAtRow(s, s.cntRepeat, kf);
      draw_fingerTr(s.model(), s.mount(kf), kf, n, qqf[kf], on ? kReplayOn : kReplayOff);
    } else {
      draw_finger(s.model(), s.mount(kf), kf, n, qqf[kf], colour);
    }
  }
  DrawPalm(s.model(), colour);
}

namespace {

// Finger kf of model m, mounted at f: its label, its two links (the last one
// translucent in the replay), and its joints with their axes. The links take
// linkColour, the joints jointColour.
void DrawFinger(const Model& m, const FingerMount& f, int kf, int n, const double* q,
                const float linkColour[4], const float jointColour[4], bool translucentLast) {
  assert(kf >= 1 && kf <= m.nF && n == m.nJ);
  const FingerPose F = Findirect_kineR(m, f, q);
  FingerLabel(F, kf);
  for (int j = 3; j <= n; ++j) {
    double Ef[3][3];
    LinkFrame(F.EA[j], Ef);
    if (translucentLast && j == n)
      draw_armTr(F.JA[j], Ef, m.aFin, m.lFin, linkColour);
    else
      draw_arm(F.JA[j], Ef, m.aFin, m.lFin, linkColour);
  }
  JointsAndAxes(m, F, n, jointColour);
}

}  // namespace

void draw_finger(const Model& m, const FingerMount& f, int kf, int n, const double* q,
                 const float colour[4]) {
  DrawFinger(m, f, kf, n, q, kLinkColour, colour, false);
}

void draw_fingerTr(const Model& m, const FingerMount& f, int kf, int n, const double* q,
                   const float colour[4]) {
  DrawFinger(m, f, kf, n, q, colour, colour, true);
}

namespace {

// A link from P along the z axis of Ef by L with its ball at the far end; a
// translucent one shows its net.
void Arm(const double P[3], const double Ef[3][3], double a, double L, const float colour[4],
         bool translucent) {
  double rf[3];
  CylinderAlongZ(P, Ef, a, L, colour, translucent, rf);
  if (translucent) CylinderNet(P, Ef, a, L);
  DrawSphere(rf, a, colour);
}

}  // namespace

void draw_arm(const double P[3], const double Ef[3][3], double a, double L, const float colour[4]) {
  Arm(P, Ef, a, L, colour, false);
}

void draw_armTr(const double P[3], const double Ef[3][3], double a, double L,
                const float colour[4]) {
  Arm(P, Ef, a, L, colour, true);
}

void draw_joint(char jtype, const double P[3], const double E[3][3], double lJnt, double rJnt,
                const float colour[4]) {
  (void)jtype;  // every joint type has the same drawn body
  double ex[3], ey[3], e[3], A[3], B[3], zyz[3];
  MatColumn(E, 0, ex);
  MatColumn(E, 1, ey);
  MatColumn(E, 2, e);
  VecAddScaled(P, -lJnt / 2.0, e, A);
  VecAddScaled(P, lJnt / 2.0, e, B);
  usrDrawCylinder(A, B, rJnt, colour);
  FrameToZYZ(ex, ey, e, zyz);
  const double ang[2] = {zyz[0], zyz[1]};
  DrawDisk(ang, A, rJnt, colour);
  DrawDisk(ang, B, rJnt, colour);
}

void DrawArrow(const double P[3], const double dir[3], const float colour[4]) {
  const double h = std::sqrt(20.0);  // head length and base radius
  double T[3], H[3];
  VecAddScaled(P, 20.0, dir, T);
  VecAddScaled(T, -h, dir, H);
  DrawLine(P, T, h, colour);
  DrawCone(H, T, h, colour);
}

void DrawPalm(const Model& m, const float colour[4]) {
  const double bottom[3] = {0.0, -m.hPalm / 2.0, 0.0};
  const double top[3] = {0.0, m.hPalm / 2.0, 0.0};
  usrDrawCylinder(bottom, top, m.rPalm, colour);
}

}  // namespace rg
