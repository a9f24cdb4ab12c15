#include "record/grasp_quality.h"

#include "numerics/vecmat.h"

namespace rg {
namespace {

// The work's centre and radius for the wrenches: the cylinder's mid-point, the
// sphere's centre.
void WorkCentre(const Sim& s, const double rw[3], const double Ew[3][3], double c[3],
                double* rho) {
  if (s.WORK1 == '1') {
    VecCopy(rw, c);
    *rho = s.model().aSph;
    return;
  }
  for (int i = 0; i < 3; ++i) c[i] = rw[i] + 0.5 * s.model().hCyl * Ew[i][2];
  *rho = s.model().aCyl;
}

// The contacts p[kf], work normals nw[kf] (from the work towards the finger), of the
// fingers whose bit is clear in `off` (the lifted ones, and any left out).
int Contacts(const Sim& s, const double rw[3], const double Ew[3][3], const double (*p)[3],
             const double (*nw)[3], unsigned off, QualityContact* c, double centre[3],
             double* rho) {
  int n = 0;
  for (int kf = 1; kf <= s.nF() && n < kMaxQualityContacts; ++kf) {
    if (off & (1u << kf)) continue;
    VecCopy(p[kf], c[n].p);
    VecNeg(nw[kf], c[n].n);  // the finger pushes into the work
    ++n;
  }
  WorkCentre(s, rw, Ew, centre, rho);
  return n;
}

}  // namespace

int QualityContactsOfRow(const Sim& s, int m, QualityContact* c, double centre[3], double* rho) {
  if (m < 0 || m >= RecordLength(s)) return 0;
  return Contacts(s, s.ManipRW[m], s.ManipEW[m], s.ManipCPNTA[m], s.ManipNWA[m],
                  s.ManipLiftedRow[m], c, centre, rho);
}

QualityResult GraspQualityOfRow(const Sim& s, int m, QualityMeasures what) {
  if (m < 0 || m >= RecordLength(s)) return QualityResult{};
  QualityContact c[kMaxQualityContacts];
  double centre[3], rho;
  const int n = QualityContactsOfRow(s, m, c, centre, &rho);
  return GraspQuality(c, n, centre, rho, s.qualitySettings, what);
}

namespace {

// The latest contacts of a complete grasp, without the fingers whose bit is set in off.
QualityResult LatestQuality(const Sim& s, unsigned off, QualityMeasures what) {
  if (s.sgnCALGEnd != 'Y') {
    QualityResult r;
    r.settings = s.qualitySettings;
    return r;
  }
  QualityContact c[kMaxQualityContacts];
  double centre[3], rho;
  const int n = Contacts(s, s.ManipRW2[1], s.ManipEW2[1], s.ManipCPNTA2[1], s.ManipNWA2[1], off,
                         c, centre, &rho);
  return GraspQuality(c, n, centre, rho, s.qualitySettings, what);
}

unsigned LiftedFingers(const Sim& s) {
  unsigned off = 0;
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (s.lifted[kf]) off |= 1u << kf;
  return off;
}

}  // namespace

QualityResult GraspQualityNow(const Sim& s, QualityMeasures what) {
  return LatestQuality(s, LiftedFingers(s), what);
}

QualityResult GraspQualityWithout(const Sim& s, int kf, QualityMeasures what) {
  return LatestQuality(s, LiftedFingers(s) | (1u << kf), what);
}

}  // namespace rg
