// The grasp as the user runs it: the contact-type choice for one finger of a real
// hand, the grasp driver's record and flags over whole hands, and the default
// scenes of the four hands. Every accepted contact is checked against the finger
// pose and the work pose alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>

#include "grasp/grasp.h"
#include "hand/catalogue.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "test_grasp_check.h"
#include "work/work.h"

using namespace rg;

namespace {

// Places a work given in the last joint's frame of finger kf (at its initial
// angles) into the hand frame.
void PlaceWork(Sim& s, int kf, const double rwM[3], const double EwM[3][3], double rwG[3],
               double EwG[3][3]) {
  Findirect_kineR(s, kf, s.nJ, s.qq0[kf]);
  MatVec(s.EAs[kf][s.nJ], rwM, rwG);
  VecAdd(rwG, s.JA[kf][s.nJ], rwG);
  MatMul(s.EAs[kf][s.nJ], EwM, EwG);
}

// Work frames in the last joint's frame, as in the solver tests.
void UprightM(double x, double y, double rwM[3], double EwM[3][3]) {
  VecSet(x, y, -50, rwM);
  MatIdentity(EwM);
}
void FacingYM(double xc, double yc, double rwM[3], double EwM[3][3]) {
  VecSet(xc, yc, 0, rwM);
  const double E[3][3] = {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}};  // x = +x, y = -z, z = +y
  MatCopy(E, EwM);
}

struct Result {
  int sol;
  double qf[kSlots];
  ContactPrm prm;
  double RC[3], NF[3], NW[3];
  char sgnLT;
  char GT[2];
  GraspCandidates G;
};

Result Dispatch(Sim& s, int kf, const double rwG[3], const double EwG[3][3]) {
  Result r{};
  r.sol = FingerCylinderContactA3(s, kf, s.nJ, s.qq0[kf], rwG, EwG, r.qf, r.prm, r.RC, r.NF, r.NW,
                                  r.sgnLT, r.GT, &r.G);
  return r;
}

void ExpectSoundInHand(Sim& s, int kf, const double* qf, const double rwG[3],
                       const double EwG[3][3], const char GT[2], const double RC[3],
                       const double NW[3]) {
  rgtest::Link L = rgtest::LastLink(s, kf, qf);
  rgtest::ExpectSoundContact(L, rgtest::WorkCyl(rwG, EwG), GT, RC, NW);
}

std::string Type(const char GT[2]) { return std::string(GT, 2); }

}  // namespace

// ------------------------------------------------- one finger of a real hand

TEST(ContactChoice, EachContactTypeOnAHandBuiltScene) {
  struct Case {
    const char* name;
    bool upright;
    double x, y;
    const char* type;
    int K;
    char uml;
    double q;  // expected last-joint angle (derived as in the solver tests)
  };
  const double rA = std::sqrt(8900.0), rB = std::sqrt(20800.0), rP = std::sqrt(6100.0),
               rQ = std::sqrt(7400.0);
  const Case cases[] = {
      {"link on side", true, 50, 80, "LL", 1, 'M', std::atan2(80.0, 50.0) - std::asin(72.0 / rA)},
      {"tip on side", true, 120, 80, "TL", 2, 'M',
       std::atan2(80.0, 120.0) - std::acos((6400.0 + 20800.0 - 5184.0) / (160.0 * rB))},
      {"link on rim", false, 0, 50, "LC", 3, 'L', std::atan2(50.0, 60.0) - std::asin(12.0 / rP)},
      {"tip on rim", false, 10, 50, "TC", 4, 'L',
       std::atan2(50.0, 70.0) - std::acos((7400.0 + 6400.0 - 144.0) / (160.0 * rQ))},
      {"tip on disk", false, 60, 40, "TD", 5, 'L', std::asin(28.0 / 80.0)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    auto s = rgtest::StartedSim();
    double rwM[3], EwM[3][3], rwG[3], EwG[3][3];
    if (k.upright)
      UprightM(k.x, k.y, rwM, EwM);
    else
      FacingYM(k.x, k.y, rwM, EwM);
    PlaceWork(*s, 1, rwM, EwM, rwG, EwG);
    Result r = Dispatch(*s, 1, rwG, EwG);
    ASSERT_EQ(r.sol, 1);
    EXPECT_EQ(Type(r.GT), k.type);
    EXPECT_EQ(r.G.K, k.K);
    EXPECT_EQ(s->sgnGRASPM[1], 'Y');
    EXPECT_EQ(s->sgnUML[1], k.uml);
    EXPECT_EQ(r.sgnLT, (k.K == 1 || k.K == 3) ? 'L' : 'T');
    EXPECT_NEAR(r.qf[s->nJ], k.q, 1e-6);
    for (int j = 0; j < s->nJ; ++j) EXPECT_EQ(r.qf[j], s->qq0[1][j]);
    EXPECT_EQ(r.prm.Ltw, aCyl);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.NF[i], -r.NW[i]);
    if (k.upright) {
      // the slab cuts the side only: the rim and disk candidates are not tried
      EXPECT_EQ(r.G.sgnUL, 'M');
      for (int c = 3; c <= 5; ++c) EXPECT_EQ(r.G.solC[c], 'N');
    }
    ExpectSoundInHand(*s, 1, r.qf, rwG, EwG, r.GT, r.RC, r.NW);
  }
}

TEST(ContactChoice, CandidatesOutsideTheRealSurfacesAreNeverTaken) {
  // Rim centre (10, 50, 0): the link would touch the rim beyond its end ('O'), the
  // side tangencies are out of the work's height, the disk is met beyond its rim.
  auto s = rgtest::StartedSim();
  double rwM[3], EwM[3][3], rwG[3], EwG[3][3];
  FacingYM(10, 50, rwM, EwM);
  PlaceWork(*s, 1, rwM, EwM, rwG, EwG);
  Result r = Dispatch(*s, 1, rwG, EwG);
  ASSERT_EQ(r.sol, 1);
  EXPECT_EQ(r.G.sgnUL, 'L');
  EXPECT_EQ(r.G.solC[1], 'O');  // work axis in the link plane
  EXPECT_EQ(r.G.solC[3], 'O');
  EXPECT_EQ(Type(r.G.GTYPE1[3]), "UC");
  EXPECT_EQ(r.G.solC[5], 'O');
  EXPECT_EQ(Type(r.G.GTYPE1[5]), "TU");
  // the disk's face plane is reached first, yet the rim contact is taken
  EXPECT_LT(r.G.qc[5], r.G.qc[4]);
  EXPECT_EQ(r.G.K, 4);
}

TEST(ContactChoice, SelectionRule) {
  const double q[6] = {0, 0.9, 0.5, 0.2, 0.2, 0.1};
  // a link contact on the side wins whatever the other angles
  const char a[6] = {'N', 'Y', 'Y', 'Y', 'Y', 'Y'};
  EXPECT_EQ(SelectContactCandidate(a, q), 1);
  // otherwise the smallest angle; 'O' and 'N' never count
  const char b[6] = {'N', 'O', 'Y', 'Y', 'Y', 'O'};
  EXPECT_EQ(SelectContactCandidate(b, q), 3);  // 3 and 4 tie at 0.2: the lower wins
  const char c[6] = {'N', 'N', 'Y', 'O', 'Y', 'N'};
  EXPECT_EQ(SelectContactCandidate(c, q), 4);
  const char d[6] = {'N', 'O', 'O', 'N', 'O', 'N'};
  EXPECT_EQ(SelectContactCandidate(d, q), 0);
  const double big[6] = {0, 0, 2000, 0, 0, 0};
  const char e[6] = {'N', 'N', 'Y', 'N', 'N', 'N'};
  EXPECT_EQ(SelectContactCandidate(e, big), 0);  // the running minimum starts at 1000
}

TEST(ContactChoice, RimLyingInsideTheLinkSlab) {
  // The bottom face lies parallel to the link plane 5 above it, so the rim crosses
  // none of the planes z = 0, +-aFin. The link meets it with its side where the
  // link axis runs sqrt(12^2 - 5^2) outside the rim.
  auto s = rgtest::StartedSim();
  double rwM[3] = {100, 0, 5}, EwM[3][3], rwG[3], EwG[3][3];
  MatIdentity(EwM);
  PlaceWork(*s, 1, rwM, EwM, rwG, EwG);
  Result r = Dispatch(*s, 1, rwG, EwG);
  EXPECT_EQ(r.G.sgnUL, 'L');
  ASSERT_EQ(r.sol, 1);
  EXPECT_EQ(Type(r.GT), "LC");
  // the link line is tangent to the circle of radius aCyl + sqrt(119) about (100, 0)
  EXPECT_NEAR(std::fabs(r.qf[s->nJ]), std::asin((aCyl + std::sqrt(119.0)) / 100.0), 1e-5);
  ExpectSoundInHand(*s, 1, r.qf, rwG, EwG, r.GT, r.RC, r.NW);
}

TEST(ContactChoice, BrokenWorkPoseGivesNoContact) {
  auto s = rgtest::StartedSim();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf}) {
    double rwG[3], EwG[3][3];
    VecCopy(s->rwG, rwG);
    MatCopy(s->EwG, EwG);
    rwG[1] = bad;
    Result r = Dispatch(*s, 1, rwG, EwG);
    EXPECT_EQ(r.sol, 0);
    EXPECT_EQ(Type(r.GT), "NN");
    EXPECT_EQ(s->sgnGRASPM[1], 'N');
    for (int j = 0; j <= s->nJ; ++j) EXPECT_EQ(r.qf[j], s->qq0[1][j]);
    MatCopy(s->EwG, EwG);
    VecCopy(s->rwG, rwG);
    EwG[2][2] = bad;
    r = Dispatch(*s, 2, rwG, EwG);
    EXPECT_EQ(r.sol, 0);
  }
}

// ---------------------------------------------------------- the grasp driver

namespace {

int RunGrasp(Sim& s, int* redraws) {
  *redraws = 0;
  s.redraw = [redraws] { ++*redraws; };
  int ok = 0;
  for (int kf = 1; kf <= s.nF; ++kf) {
    double RC[3], NW[3];
    ok += GRASP(s, kf, s.qq0[kf], s.rwG, s.EwG, s.qf[kf], RC, NW, s.GGTYPE[kf]);
  }
  return ok;
}

}  // namespace

TEST(GraspDriver, CompleteGraspRecordsEveryFingerAsStepZero) {
  for (int hand : {1, 2}) {
    SCOPED_TRACE(hand);
    auto s = rgtest::StartedSim();
    rgtest::UseHand(*s, hand);
    s->cntManip0 = 7;
    s->ManipT[0] = 3.0;
    s->sgnMANIP = 'C';
    int redraws;
    ASSERT_EQ(RunGrasp(*s, &redraws), s->nF);
    EXPECT_EQ(redraws, s->nF);  // one redraw per finger in its grasp pose
    EXPECT_EQ(s->sgnCALGEnd, 'Y');
    EXPECT_EQ(s->sgnGRASP, 'Y');
    EXPECT_EQ(s->sgnCALGChk, 'F');
    EXPECT_EQ(s->sgnMANIP, 'Y');
    EXPECT_EQ(s->cntManip0, 0);
    EXPECT_EQ(s->ManipT[0], 0.0);
    double ez[3];
    MatColumn(s->EwG, 2, ez);
    for (int kf = 1; kf <= s->nF; ++kf) {
      SCOPED_TRACE(kf);
      EXPECT_EQ(s->sgnGRASPM[kf], 'Y');
      // the record holds the grasp pose and the contact
      for (int j = 0; j <= s->nJ; ++j) {
        EXPECT_EQ(s->qqa2[1][kf][j], s->qf[kf][j]);
        EXPECT_EQ(s->qqa[0][kf][j], s->qf[kf][j]);
        if (j < s->nJ) {
          EXPECT_EQ(s->qf[kf][j], s->qq0[kf][j]);
        }
      }
      const double* RC = s->ManipCPNTA[0][kf];
      const double* NW = s->ManipNWA[0][kf];
      ExpectSoundInHand(*s, kf, s->qf[kf], s->rwG, s->EwG, s->GGTYPE[kf], RC, NW);
      // the reference point lies on the work axis at the contacted end or height
      const ContactPrm& p = s->Manip[0][kf];
      double rwP[3];
      const char uml = s->sgnUML[kf];
      VecAddScaled(s->rwG, uml == 'U' ? hCyl : uml == 'M' ? p.Lw : 0.0, ez, rwP);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(s->ManipRWP[0][kf][i], rwP[i], 1e-12);
      EXPECT_EQ(p.Lw, uml == 'U' ? hCyl : 0.0);  // the default scenes touch rims
      EXPECT_EQ(p.Ltw, aCyl);
      // Lf and fif place the contact on the link: JA + Lf x + aFin (cos fif z + sin fif x cross z)
      Findirect_kineR(*s, kf, s->nJ, s->qf[kf]);
      double x[3], z[3], xz[3], pt[3];
      MatColumn(s->EA[kf][s->nJ], 0, x);
      MatColumn(s->EA[kf][s->nJ], 2, z);
      VecCross(x, z, xz);
      const double sp = std::sin(p.psif), cp = std::cos(p.psif);
      for (int i = 0; i < 3; ++i)
        pt[i] = s->JA[kf][s->nJ][i] + p.Lf * x[i] +
                aFin * (cp * x[i] + sp * (std::cos(p.fif) * z[i] + std::sin(p.fif) * xz[i]));
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(pt[i], RC[i], 1e-6);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s->RWW[i], s->rwG[i]);
  }
}

TEST(GraspDriver, FingerWithoutContactFailsTheGrasp) {
  // Finger 2's first joint turned by 1.5 rad turns its closing plane off the
  // work: the slab swept by its last link holds no part of the cylinder.
  for (int hand : {1, 2}) {
    SCOPED_TRACE(hand);
    auto s = rgtest::StartedSim();
    rgtest::UseHand(*s, hand);
    s->qq0[2][1] += 1.5;
    double before[3];
    VecCopy(s->ManipCPNTA[0][2], before);
    Result probe = Dispatch(*s, 2, s->rwG, s->EwG);
    EXPECT_EQ(probe.G.sgnUL, 'N');
    int redraws;
    EXPECT_EQ(RunGrasp(*s, &redraws), s->nF - 1);
    EXPECT_EQ(redraws, s->nF - 1);
    EXPECT_EQ(s->sgnGRASPM[1], 'Y');
    EXPECT_EQ(s->sgnGRASPM[2], 'N');
    if (hand == 2) {
      EXPECT_EQ(s->sgnGRASPM[3], 'Y');
    }
    EXPECT_EQ(Type(s->GGTYPE[2]), "NN");
    for (int j = 0; j <= s->nJ; ++j) EXPECT_EQ(s->qf[2][j], s->qq0[2][j]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s->ManipCPNTA[0][2][i], before[i]);  // nothing stored
    EXPECT_EQ(s->sgnGRASP, 'N');
    EXPECT_EQ(s->sgnCALGEnd, 'N');
    EXPECT_EQ(s->sgnMANIP, 'Y');

    // independently: the slab |z| <= aFin of finger 2's last joint misses the work
    Findirect_kineR(*s, 2, s->nJ, s->qq0[2]);
    double zax[3];
    MatColumn(s->EAs[2][s->nJ], 2, zax);
    rgtest::Cyl c = rgtest::WorkCyl(s->rwG, s->EwG);
    const double at = VecDot(zax, s->JA[2][s->nJ]);
    double mz[3];
    VecNeg(zax, mz);
    const double hi = rgtest::CylSupport(c, zax) - at, lo = -(rgtest::CylSupport(c, mz) + at);
    EXPECT_TRUE(lo > aFin || hi < -aFin) << lo << " " << hi;
  }
}

TEST(GraspDriver, EarlierFingersLeaveTheFlagsOpen) {
  auto s = rgtest::StartedSim();
  rgtest::UseHand(*s, 2);
  s->sgnCALGEnd = 'N';
  double RC[3], NW[3];
  EXPECT_EQ(GRASP(*s, 1, s->qq0[1], s->rwG, s->EwG, s->qf[1], RC, NW, s->GGTYPE[1]), 1);
  EXPECT_EQ(s->sgnCALGEnd, 'N');
  EXPECT_EQ(s->sgnGRASP, 'Y');
  EXPECT_EQ(s->sgnCALGChk, 'F');
  // the outputs are the recorded contact, in the hand frame
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(RC[i], s->ManipCPNTA2[1][1][i]);
    EXPECT_EQ(NW[i], s->ManipNWA2[1][1][i]);
  }
  // a finger number outside the tables is refused without touching them
  EXPECT_EQ(GRASP(*s, 7, s->qq0[1], s->rwG, s->EwG, s->qf[1], RC, NW, s->GGTYPE[1]), 0);
  EXPECT_EQ(GRASP(*s, 0, s->qq0[1], s->rwG, s->EwG, s->qf[1], RC, NW, s->GGTYPE[1]), 0);
  EXPECT_EQ(s->sgnGRASPM[1], 'Y');
}

// ------------------------------------------------------ the default scenes

TEST(DefaultScenes, EveryHandGraspsTheDefaultWorkAndItsNeighbours) {
  // The default work, and the work moved by the mode-'M' keys.
  const char* moves[] = {"", "XXXXXXXXXX", "xxxxxxxxxx", "ZZZZZZZZZZ", "zzzzzzzzzz",
                         "YYYYYYYYYY", "yyyyyyyyyy", "PPP", "ppp", "QQQ", "qqq", "RRRR",
                         "PPPPPPPPPP", "pppppppppp"};
  std::set<std::string> seen;
  for (int hand = 1; hand <= 4; ++hand) {
    for (const char* m : moves) {
      SCOPED_TRACE("hand " + std::to_string(hand) + " keys '" + m + "'");
      auto s = rgtest::StartedSim();
      rgtest::UseHand(*s, hand);
      for (const char* k = m; *k; ++k) MoveWork(*s, *k);
      int redraws;
      const int ok = RunGrasp(*s, &redraws);
      for (int kf = 1; kf <= s->nF; ++kf) {
        if (s->sgnGRASPM[kf] == 'Y') {
          seen.insert(Type(s->GGTYPE[kf]));
          ExpectSoundInHand(*s, kf, s->qf[kf], s->rwG, s->EwG, s->GGTYPE[kf],
                            s->ManipCPNTA[0][kf], s->ManipNWA[0][kf]);
        } else {
          EXPECT_EQ(Type(s->GGTYPE[kf]), "NN");
          for (int j = 0; j <= s->nJ; ++j) EXPECT_EQ(s->qf[kf][j], s->qq0[kf][j]);
        }
      }
      EXPECT_EQ(s->sgnCALGEnd, ok == s->nF ? 'Y' : 'N');
      if (*m == '\0') {
        // the untouched default scene is grasped by every hand, all on rims
        EXPECT_EQ(ok, s->nF);
        for (int kf = 1; kf <= s->nF; ++kf) EXPECT_EQ(Type(s->GGTYPE[kf]), "LC");
      }
    }
  }
  EXPECT_TRUE(seen.count("LC"));
  EXPECT_TRUE(seen.count("TC"));
}

TEST(DefaultScenes, RandomWorkPosesNeverGiveAWrongContact) {
  // Works placed and turned at random in front of the palm: every contact that a
  // finger reports must pass the geometric checks, and all five kinds occur.
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> U(-1, 1);
  std::set<std::string> seen;
  int accepted = 0;
  for (int hand = 1; hand <= 4; ++hand) {
    auto s = rgtest::StartedSim();
    rgtest::UseHand(*s, hand);
    for (int trial = 0; trial < 600; ++trial) {
      double rw[3] = {80 * U(rng), 140 + 80 * U(rng), 80 * U(rng)};
      double A[3][3], B[3][3], C[3][3], T[3][3], E[3][3];
      Cx(3.2 * U(rng), A);
      Cy(3.2 * U(rng), B);
      Cz(3.2 * U(rng), C);
      MatMul(A, B, T);
      MatMul(T, C, E);
      for (int kf = 1; kf <= s->nF; ++kf) {
        SCOPED_TRACE("hand " + std::to_string(hand) + " trial " + std::to_string(trial) +
                     " finger " + std::to_string(kf));
        Result r = Dispatch(*s, kf, rw, E);
        if (r.sol != 1) {
          EXPECT_EQ(Type(r.GT), "NN");
          continue;
        }
        ++accepted;
        seen.insert(Type(r.GT));
        ExpectSoundInHand(*s, kf, r.qf, rw, E, r.GT, r.RC, r.NW);
        if (HasFailure()) return;
      }
    }
  }
  EXPECT_GT(accepted, 1000);
  for (const char* t : {"LL", "TL", "LC", "TC", "TD"}) EXPECT_TRUE(seen.count(t)) << t;
}
