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
    *rho = aSph;
    return;
  }
  for (int i = 0; i < 3; ++i) c[i] = rw[i] + 0.5 * hCyl * Ew[i][2];
  *rho = aCyl;
}

// Quality of the contacts p[kf], work normals nw[kf] (from the work towards the finger).
QualityResult Judge(const Sim& s, const double rw[3], const double Ew[3][3],
                    const double (*p)[3], const double (*nw)[3], QualityMeasures what) {
  QualityContact c[kSlots];
  int n = 0;
  for (int kf = 1; kf <= s.nF && n < kMaxQualityContacts; ++kf, ++n) {
    VecCopy(p[kf], c[n].p);
    VecNeg(nw[kf], c[n].n);  // the finger pushes into the work
  }
  double centre[3], rho;
  WorkCentre(s, rw, Ew, centre, &rho);
  return GraspQuality(c, n, centre, rho, s.qualitySettings, what);
}

}  // namespace

QualityResult GraspQualityOfRow(const Sim& s, int m, QualityMeasures what) {
  if (m < 0 || m > s.cntMainip1 || m >= kRows) return QualityResult{};
  return Judge(s, s.ManipRW[m], s.ManipEW[m], s.ManipCPNTA[m], s.ManipNWA[m], what);
}

QualityResult GraspQualityNow(const Sim& s, QualityMeasures what) {
  if (s.sgnCALGEnd != 'Y') {
    QualityResult r;
    r.settings = s.qualitySettings;
    return r;
  }
  return Judge(s, s.ManipRW2[1], s.ManipEW2[1], s.ManipCPNTA2[1], s.ManipNWA2[1], what);
}

}  // namespace rg
