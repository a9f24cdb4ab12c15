// The manipulation record: history, decimation, time and the derived contact traces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "hand/hand.h"
#include "record/store.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "work/work.h"

using namespace rg;

namespace {

struct StepInput {
  double q[kSlots] = {};
  ContactPrm prm{};
  double rw[3] = {}, rwP[3] = {}, Ew[3][3] = {}, RC[3] = {}, NW[3] = {};
};

// Distinct, recognisable values for step m and finger kf.
StepInput Input(int m, int kf) {
  StepInput in;
  for (int j = 1; j <= 4; ++j) in.q[j] = 0.1 * j + 0.01 * m + kf;
  in.prm = {10.0 + m, 0.1 * m, 1.5707963278, 0.0, catalogue::aCyl, 0.2 * m};
  VecSet(m, 100 + m, -40, in.rw);
  Cx(0.01 * m, in.Ew);
  VecSet(m, kf, 1, in.rwP);
  VecSet(1000 * kf + m, 0, 0, in.RC);
  VecSet(0, 1, 0, in.NW);
  return in;
}

void Store(Sim& s, int m, int kf, double dt) {
  const StepInput in = Input(m, kf);
  StoreCylinderManipData5(s, m, kf, dt, {in.q, in.prm, in.rw, in.rwP, in.Ew, in.RC, in.NW});
}

// Steps 0..last of both fingers of hand 1.
void StoreSteps(Sim& s, int last) {
  for (int m = 0; m <= last; ++m)
    for (int kf = 1; kf <= 2; ++kf) Store(s, m, kf, m == 0 ? 0.0 : 0.05);
}

// Every array of the stored rows, whole.
struct RowArray {
  const char* name;
  const void* p;
  size_t bytes;
};

std::vector<RowArray> RowArrays(const Sim& s) {
#define RG_ROWS(a) RowArray{#a, s.a, sizeof s.a}
  return {RG_ROWS(qqa),        RG_ROWS(ManipQ),   RG_ROWS(ManipRW),  RG_ROWS(ManipEW),
          RG_ROWS(Manip),      RG_ROWS(ManipCPNTA), RG_ROWS(ManipRWP), RG_ROWS(ManipNWA),
          RG_ROWS(ManipNWW),   RG_ROWS(ManipT),   RG_ROWS(ManipTimeRow)};
#undef RG_ROWS
}

// Each array of a equals that of b byte for byte, held in storage of its own.
void ExpectSameRows(const Sim& a, const Sim& b) {
  const auto ra = RowArrays(a), rb = RowArrays(b);
  for (size_t i = 0; i < ra.size(); ++i) {
    EXPECT_NE(ra[i].p, rb[i].p) << ra[i].name << " shared between two simulations";
    EXPECT_EQ(std::memcmp(ra[i].p, rb[i].p, ra[i].bytes), 0) << ra[i].name;
  }
}

}  // namespace

// The rows live in a block of their own: a new simulation reads zeros in every
// row, a copy has the rows of its original in its own block, and assigning a
// simulation replaces all the rows of the target, the ones the source never
// stored included.
TEST(RecordRows, ZeroWhenNewAndOwnedByEachCopy) {
  const auto fresh = std::make_unique<Sim>();
  for (const RowArray& a : RowArrays(*fresh)) {
    const auto* b = static_cast<const unsigned char*>(a.p);
    EXPECT_EQ(std::count(b, b + a.bytes, 0), static_cast<long>(a.bytes)) << a.name;
  }

  auto s = rgtest::StartedSim();
  StoreSteps(*s, 10);
  ASSERT_EQ(s->cntMainip1, 2);
  auto copy = std::make_unique<Sim>(*s);
  ExpectSameRows(*copy, *s);
  copy->ManipQ[1][2][3] = 99.0;
  EXPECT_EQ(s->ManipQ[1][2][3], Input(5, 2).q[3]) << "a write to the copy reached the original";

  StoreSteps(*copy, 20);
  ASSERT_EQ(copy->cntMainip1, 4);
  *copy = *s;
  ExpectSameRows(*copy, *s);
  EXPECT_EQ(copy->ManipRW[4][1], 0.0);
  *copy = *fresh;
  ExpectSameRows(*copy, *fresh);
}

TEST(ManipRecord, GraspFillsBothHistorySlotsAndRowZero) {
  auto s = rgtest::StartedSim();
  s->ManipTS = 7;
  Store(*s, 0, 1, 0.0);
  Store(*s, 0, 2, 0.0);
  EXPECT_EQ(s->cntMainip1, 0);
  EXPECT_EQ(s->ManipTS, 0.0);
  EXPECT_EQ(s->ManipT[0], 0.0);
  for (int slot = 0; slot < 2; ++slot) {
    EXPECT_EQ(s->qqa2[slot][2][3], Input(0, 2).q[3]);
    EXPECT_EQ(s->ManipCPNTA2[slot][1][0], 1000.0);
    EXPECT_EQ(s->ManipPrm2[slot][2].Lf, 10.0);
  }
  EXPECT_EQ(s->qqa[0][1][2], Input(0, 1).q[2]);
  EXPECT_EQ(s->ManipQ[0][2][4], Input(0, 2).q[4]);
  EXPECT_EQ(s->ManipRWP[0][2][1], 2.0);
  double p[3];
  ManipCPNTW(*s, 0, 0, 1, p);
  EXPECT_EQ(p[0], 1000.0);
  ManipCPNTF(*s, 0, 0, 2, p);
  EXPECT_EQ(p[0], 2000.0);
}

TEST(ManipRecord, DecimationHistoryAndTime) {
  auto s = rgtest::StartedSim();
  Store(*s, 0, 1, 0.0);
  Store(*s, 0, 2, 0.0);
  const double rowZeroQ = s->qqa[0][1][1];
  for (int m = 1; m <= 4; ++m) {
    Store(*s, m, 1, 0.05);
    Store(*s, m, 2, 0.05);
    EXPECT_EQ(s->cntMainip1, 0);
  }
  // steps 1..4 only move the history and the time
  EXPECT_EQ(s->ManipRW[0][0], 0.0);
  EXPECT_EQ(s->qqa[0][1][1], rowZeroQ);
  EXPECT_EQ(s->qqa2[1][1][1], Input(4, 1).q[1]);
  EXPECT_EQ(s->qqa2[0][1][1], Input(3, 1).q[1]);
  EXPECT_EQ(s->ManipRW2[0][0], 4.0);  // both work slots hold the new pose after two fingers
  EXPECT_EQ(s->ManipRW2[1][0], 4.0);
  EXPECT_NEAR(s->ManipTS, 8 * 0.05, 1e-12);

  Store(*s, 5, 1, 0.05);
  EXPECT_EQ(s->cntManip0, 5);  // set already during finger 1's store
  EXPECT_EQ(s->cntMainip1, 1);
  Store(*s, 5, 2, 0.05);
  EXPECT_EQ(s->ManipRW[1][1], 105.0);
  EXPECT_EQ(s->RWW[1], 105.0);
  EXPECT_EQ(s->ManipQ[1][2][3], Input(5, 2).q[3]);
  EXPECT_EQ(s->ManipNWW[1][2][1], 1.0);
  EXPECT_NEAR(s->ManipT[1], 0.5, 1e-12);
  for (int m = 6; m <= 10; ++m) {
    Store(*s, m, 1, 0.05);
    Store(*s, m, 2, 0.05);
  }
  EXPECT_EQ(s->cntMainip1, 2);
  EXPECT_NEAR(s->ManipT[2], 1.0, 1e-12);  // 0.5 per stored row with dt 0.05 and two fingers
}

TEST(ManipRecord, LastRowAndBeyond) {
  auto s = rgtest::StartedSim();
  Store(*s, 3995, 1, 0.05);
  EXPECT_EQ(s->cntMainip1, 799);
  EXPECT_EQ(s->ManipRW[799][0], 3995.0);
  // a step past the capacity is a caller's bug (the step refuses it, RecordFull): it
  // stops at the store's assert instead of writing out of bounds
  EXPECT_TRUE(RecordFull(*s));
  RG_EXPECT_ASSERT(Store(*s, 4000, 1, 0.05));
  // and so is a finger the hand does not have
  RG_EXPECT_ASSERT(Store(*s, 5, s->nF() + 1, 0.05));
  RG_EXPECT_ASSERT(Store(*s, 5, 0, 0.05));
}

TEST(ManipRecord, ContactTracesFollowWorkAndFinger) {
  auto s = rgtest::StartedSim();
  // row 0: contact on the lower rim at angle thw of the grasp pose
  ContactPrm c0{20.0, 0.3, 1.5707963278, 0.0, catalogue::aCyl, 0.4};
  double q[kSlots] = {0, 0.01, 0.01, 0.7, 0.8, 0, 0};
  double rw0[3] = {0, 140, -40}, E0[3][3], NW[3] = {0, 1, 0};
  Cx(0.7853981639, E0);
  double RC0[3];
  for (int i = 0; i < 3; ++i)
    RC0[i] = rw0[i] + catalogue::aCyl * (std::cos(0.4) * E0[i][0] + std::sin(0.4) * E0[i][1]);
  StoreCylinderManipData5(*s, 0, 1, 0.0, {q, c0, rw0, rw0, E0, RC0, NW});
  // step 5: the work has moved and turned, the finger bent further
  double rw1[3] = {1, 141, -39}, E1[3][3];
  WorkOrien1(0, 0, 0.1, E0, E1);
  double q1[kSlots] = {0, 0.01, 0.01, 0.75, 0.85, 0, 0};
  ContactPrm c1{22.0, 0.35, 1.5707963278, 0.0, catalogue::aCyl, 0.3};
  StoreCylinderManipData5(*s, 5, 1, 0.05, {q1, c1, rw1, rw1, E1, RC0, NW});
  // the grasp contact carried with the work is at the same place in the work frame
  double p[3], local[3], d[3];
  ManipCPNTW(*s, 1, 0, 1, p);
  VecSub(p, rw1, d);
  MatTVec(E1, d, local);
  EXPECT_NEAR(local[0], catalogue::aCyl * std::cos(0.4), 1e-9);
  EXPECT_NEAR(local[1], catalogue::aCyl * std::sin(0.4), 1e-9);
  EXPECT_NEAR(local[2], 0.0, 1e-9);
  // the finger-side trace point lies on the last link's surface at Lf along its axis
  ManipCPNTF(*s, 1, 0, 1, p);
  const FingerPose P = Findirect_kineR(s->model(), s->mount(1), q1);
  double x[3], rel[3];
  MatColumn(P.EA[4], 0, x);
  VecSub(p, P.JA[4], rel);
  EXPECT_NEAR(VecDot(rel, x), 20.0, 1e-9);
  double radial[3];
  VecAddScaled(rel, -VecDot(rel, x), x, radial);
  EXPECT_NEAR(VecNorm(radial), catalogue::aFin, 1e-9);
}

TEST(ManipRecord, ANewGraspKeepsTheReplayPositionOnAStoredRow) {
  auto s = rgtest::StartedSim();
  s->cntMainip1 = 40;
  s->cntRepeat = 25;
  Store(*s, 0, 1, 0.0);
  EXPECT_EQ(s->cntMainip1, 0);
  EXPECT_EQ(s->cntRepeat, 0);
}
