// Where the last finger link, or its fingertip ball, touches the work sphere, and
// the great-circle arcs on which rolled distances on a ball are measured.
#include <cmath>

#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {

void LinkSphereDistanceA(const Model& model, const LinkFrame& Lk, char part, const double c[3],
                         const double Ew[3][3], RimContact& out) {
  const double* o = Lk.o;
  const double(*F)[3] = Lk.F;
  const double lFin = model.lFin, aFin = model.aFin, aSph = model.aSph;
  // the centre in the link frame (e1 = z, e2 = x x z, e3 = x along the link)
  double d[3], cm[3];
  VecSub(c, o, d);
  MatTVec(F, d, cm);
  // the finger's centre of curvature facing the sphere: the foot of the perpendicular
  // on the axis, or the fingertip centre
  const double L = (part == 'T') ? lFin : cm[2];
  const double v[3] = {cm[0], cm[1], cm[2] - L};
  double m[3];  // finger normal towards the sphere, link frame
  VecUnit(v, m);
  out.Lf = L;
  out.fif = std::atan2(m[1], m[0]);
  out.psif = (part == 'T') ? std::atan2(std::hypot(m[0], m[1]), m[2]) : kHalfPiC;
  out.D = VecNorm(v) - aFin - aSph;
  double mA[3], x[3], foot[3];
  MatVec(F, m, mA);
  MatColumn(F, 2, x);
  VecAddScaled(o, L, x, foot);
  VecAddScaled(foot, aFin, mA, out.rfc);
  VecAddScaled(c, -aSph, mA, out.rwc);
  VecNeg(mA, out.N);
  double nWork[3];
  MatTVec(Ew, out.N, nWork);
  ContactPrm p{};
  SphereContactAngles(aSph, nWork, p);
  out.alw = p.alw;
  out.betw = p.betw;
  out.thw = p.thw;
}

void GeodesicEnds(double r, const double a[3], const double b[3], double Ga[3], double Gb[3]) {
  double axb[3];
  VecCross(a, b, axb);
  const double sn = VecNorm(axb), cs = VecDot(a, b);
  const double th = std::atan2(sn, cs);
  // theta/sin(theta), which tends to 1 as the arc shrinks
  const double k = r * (sn > 1e-12 ? th / sn : 1.0);
  for (int i = 0; i < 3; ++i) {
    Ga[i] = k * (b[i] - cs * a[i]);
    Gb[i] = k * (cs * b[i] - a[i]);
  }
}

}  // namespace rg
