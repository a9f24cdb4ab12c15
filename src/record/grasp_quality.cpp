#include "record/grasp_quality.h"

#include <algorithm>
#include <cstring>

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

// The latest contacts of the fingers whose bit is clear in off.
JudgedContacts LatestContacts(const Sim& s, unsigned off) {
  JudgedContacts j;
  j.n = Contacts(s, s.ManipRW2[1], s.ManipEW2[1], s.ManipCPNTA2[1], s.ManipNWA2[1], off, j.c,
                 j.centre, &j.rho);
  return j;
}

QualityResult Judge(const Sim& s, const JudgedContacts& j, QualityMeasures what) {
  return GraspQuality(j.c, j.n, j.centre, j.rho, s.qualitySettings, what);
}

// Bit for bit: a memo answers only for the very numbers it was computed from.
bool SameBits(const void* a, const void* b, size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

bool SameContacts(const JudgedContacts& a, const JudgedContacts& b) {
  return a.n == b.n && SameBits(a.c, b.c, sizeof(QualityContact) * static_cast<size_t>(a.n)) &&
         SameBits(a.centre, b.centre, sizeof a.centre) && SameBits(&a.rho, &b.rho, sizeof a.rho);
}

bool SameSettings(const QualitySettings& a, const QualitySettings& b) {
  return a.model == b.model && SameBits(&a.mu, &b.mu, sizeof a.mu) &&
         SameBits(&a.torsion, &b.torsion, sizeof a.torsion) && a.cone_edges == b.cone_edges;
}

// Whether memo m holds the measures of contacts j under the simulation's settings.
bool Answers(const QualityMemo& m, const Sim& s, const JudgedContacts& j) {
  return m.filled && SameSettings(m.settings, s.qualitySettings) && SameContacts(m.contacts, j);
}

void Remember(QualityMemo& m, const Sim& s, const JudgedContacts& j, const QualityResult& r) {
  m.filled = true;
  m.contacts = j;
  m.settings = s.qualitySettings;
  m.result = r;
}

}  // namespace

int QualityContactsOfRow(const Sim& s, int m, QualityContact* c, double centre[3], double* rho) {
  if (m < 0 || m >= RecordLength(s)) return 0;
  return Contacts(s, s.ManipRW[m], s.ManipEW[m], s.ManipCPNTA[m], s.ManipNWA[m],
                  s.ManipLiftedRow[m], c, centre, rho);
}

namespace {

JudgedContacts ContactsOfRow(const Sim& s, int m) {
  JudgedContacts j;
  j.n = QualityContactsOfRow(s, m, j.c, j.centre, &j.rho);
  return j;
}

}  // namespace

QualityResult GraspQualityOfRow(const Sim& s, int m, QualityMeasures what) {
  if (m < 0 || m >= RecordLength(s)) return QualityResult{};
  const JudgedContacts j = ContactsOfRow(s, m);
  if (what != QualityMeasures::All) return Judge(s, j, what);
  QualityMemo& memo = s.qualityMemos().row[m];
  if (!Answers(memo, s, j)) Remember(memo, s, j, Judge(s, j, what));
  return memo.result;
}

namespace {

// The latest contacts of a complete grasp, without the fingers whose bit is set in off.
QualityResult LatestQuality(const Sim& s, unsigned off, QualityMeasures what) {
  if (s.sgnCALGEnd != 'Y') {
    QualityResult r;
    r.settings = s.qualitySettings;
    return r;
  }
  return Judge(s, LatestContacts(s, off), what);
}

// The same with the volume, remembered: from the latest memo, or from the last row's
// when the latest step is the stored one; otherwise computed once, and kept in the
// last row's memo too when its contacts are the row's.
QualityResult LatestQualityRemembered(const Sim& s, unsigned off) {
  if (s.sgnCALGEnd != 'Y') return LatestQuality(s, off, QualityMeasures::All);
  const JudgedContacts j = LatestContacts(s, off);
  QualityMemos& memos = s.qualityMemos();
  if (Answers(memos.latest, s, j)) return memos.latest.result;
  const int last = RecordLength(s) - 1;
  QualityMemo* row = last >= 0 ? &memos.row[last] : nullptr;
  if (row != nullptr && Answers(*row, s, j)) return row->result;
  const QualityResult r = Judge(s, j, QualityMeasures::All);
  Remember(memos.latest, s, j, r);
  if (row != nullptr && SameContacts(ContactsOfRow(s, last), j)) Remember(*row, s, j, r);
  return r;
}

unsigned LiftedFingers(const Sim& s) {
  unsigned off = 0;
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (s.lifted[kf]) off |= 1u << kf;
  return off;
}

}  // namespace

QualityResult GraspQualityNow(const Sim& s, QualityMeasures what) {
  if (what == QualityMeasures::All) return LatestQualityRemembered(s, LiftedFingers(s));
  return LatestQuality(s, LiftedFingers(s), what);
}

QualityResult GraspQualityWithout(const Sim& s, int kf, QualityMeasures what) {
  return LatestQuality(s, LiftedFingers(s) | (1u << kf), what);
}

}  // namespace rg
