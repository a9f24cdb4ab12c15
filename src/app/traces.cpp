#include "app/traces.h"

#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "record/store.h"

namespace rg {
namespace {

bool TraceDefined(const Sim& s, int kf) {
  return kf >= 1 && kf <= s.nF() && RecordLength(s) > 0;
}

}  // namespace

void WorkTrace(const Sim& s, int kf, std::vector<Point3>& out) {
  out.clear();
  if (!TraceDefined(s, kf)) return;
  const int n = RecordLength(s) - 1;
  // the record gives the points in the work pose of row n; the drawn pose may be
  // another one (a new grasp or a work move), so go through the work's own frame
  for (int m = 0; m <= n; ++m) {
    double p[3], d[3], local[3], t[3];
    ManipCPNTW(s, n, m, kf, p);
    VecSub(p, s.ManipRW[n], d);
    MatTVec(s.ManipEW[n], d, local);
    MatVec(s.EWW, local, t);
    Point3 q;
    VecAdd(s.RWW, t, q.p);
    out.push_back(q);
  }
  double d[3], local[3], t[3];
  VecSub(s.ManipCPNTA2[1][kf], s.ManipRW2[1], d);
  MatTVec(s.ManipEW2[1], d, local);
  MatVec(s.EWW, local, t);
  Point3 q;
  VecAdd(s.RWW, t, q.p);
  out.push_back(q);
}

void LinkTrace(const Sim& s, int kf, std::vector<Point3>& out) {
  out.clear();
  if (!TraceDefined(s, kf) || s.nJ() < 1 || s.nJ() > kSlots - 2) return;
  const int n = RecordLength(s) - 1;
  double trail[kRows][3];  // rows 0..n filled (19 kB on the stack, the caller's own)
  ManipCPNTFTrail(s, n, kf, trail);
  // from the last link in its pose of row n to the same link in the latest pose
  const FingerPose then = Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[n][kf]);
  const FingerPose now = Findirect_kineR(s.model(), s.mount(kf), s.qqa2[1][kf]);
  const double* o0 = then.JA[s.nJ()];
  const double* o1 = now.JA[s.nJ()];
  for (int m = 0; m <= n; ++m) {
    double d[3], local[3], t[3];
    VecSub(trail[m], o0, d);
    MatTVec(then.EA[s.nJ()], d, local);
    MatVec(now.EA[s.nJ()], local, t);
    Point3 q;
    VecAdd(o1, t, q.p);
    out.push_back(q);
  }
  Point3 q;
  VecCopy(s.ManipCPNTA2[1][kf], q.p);
  out.push_back(q);
}

}  // namespace rg
