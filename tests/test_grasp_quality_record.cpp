// The quality of the grasps the simulator makes, judged from the record's contacts:
// two point contacts never hold a work, two soft fingers and three fingers can, and
// a grasp that is not complete holds nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/script.h"
#include "quality_reference.h"
#include "record/grasp_quality.h"
#include "record/report.h"
#include "support.h"

namespace {

using namespace rg;

std::unique_ptr<Sim> Grasped(int hand, ContactModel model, int fingers = -1) {
  auto s = rgtest::StartedSim();
  s->qualitySettings.model = model;
  rgtest::Press(*s, "H" + std::to_string(hand) + "G");
  rgtest::Press(*s, std::string(fingers < 0 ? s->nF() : fingers, 's'));
  return s;
}

TEST(GraspQualityOfTheRecord, FingersAndContactModelsDecideWhetherTheGraspHolds) {
  struct Case {
    int hand;
    ContactModel model;
    bool holds;
  };
  for (const Case k : {Case{1, ContactModel::Point, false}, Case{1, ContactModel::Soft, true},
                       Case{3, ContactModel::Point, false}, Case{2, ContactModel::Point, true},
                       Case{4, ContactModel::Point, true}, Case{2, ContactModel::Soft, true}}) {
    SCOPED_TRACE(testing::Message() << "hand " << k.hand << " " << ContactModelName(k.model));
    auto s = Grasped(k.hand, k.model);
    ASSERT_EQ(s->sgnCALGEnd, 'Y');
    const QualityResult q = GraspQualityNow(*s);
    EXPECT_EQ(q.force_closure, k.holds);
    EXPECT_EQ(q.epsilon > 0.0, k.holds);
    // two point contacts span five of the six wrench directions at most
    if (k.hand % 2 == 1 && k.model == ContactModel::Point) {
      EXPECT_LT(q.hull_dimension, 6);
    }
    // the grasp is row 0 of the record
    const QualityResult r0 = GraspQualityOfRow(*s, 0);
    EXPECT_EQ(r0.force_closure, q.force_closure);
    EXPECT_DOUBLE_EQ(r0.epsilon, q.epsilon);
  }
}

TEST(GraspQualityOfTheRecord, SoftFingersResistMoreThanPointContacts) {
  const double point = GraspQualityNow(*Grasped(2, ContactModel::Point)).epsilon;
  const double soft = GraspQualityNow(*Grasped(2, ContactModel::Soft)).epsilon;
  EXPECT_GT(soft, point);  // torsional friction only adds wrenches
}

TEST(GraspQualityOfTheRecord, AnIncompleteGraspOrAMissingRowHoldsNothing) {
  auto s = Grasped(2, ContactModel::Point, 2);  // the third finger not yet solved
  ASSERT_EQ(s->sgnCALGEnd, 'N');
  const QualityResult q = GraspQualityNow(*s);
  EXPECT_FALSE(q.force_closure);
  EXPECT_EQ(q.epsilon, 0.0);
  EXPECT_FALSE(GraspQualityOfRow(*s, 5).force_closure);  // no such row yet
  EXPECT_FALSE(GraspQualityOfRow(*s, -1).force_closure);
}

TEST(GraspQualityOfTheRecord, EveryStoredRowOfRealRunsAgreesWithQhull) {
  // the default runs of hands 2 and 4 on the cylinder, and hand 2 rolling the
  // sphere moved away from the palm
  const std::string roll = "GsssA" + std::string(400, 's');
  const std::string sphere = "H2W1M" + std::string(30, 'Y') + roll;
  for (const std::string& keys : {"H2" + roll, "H4" + roll, sphere})
    for (ContactModel model : {ContactModel::Point, ContactModel::Soft}) {
      SCOPED_TRACE(testing::Message() << keys.substr(0, 8) << ", " << ContactModelName(model));
      auto s = rgtest::StartedSim();
      s->qualitySettings.model = model;
      rgtest::Press(*s, keys);
      ASSERT_GE(s->cntMainip1, 10);
      int closed = 0;
      for (int m = 0; m <= s->cntMainip1; ++m) {
        SCOPED_TRACE(testing::Message() << "row " << m);
        QualityContact c[kMaxQualityContacts];
        double centre[3], rho;
        const int n = QualityContactsOfRow(*s, m, c, centre, &rho);
        ASSERT_EQ(n, 3);
        closed += rgtest::ExpectQhullAgrees(c, n, centre, rho, s->qualitySettings).closure;
      }
      EXPECT_GT(closed, s->cntMainip1 / 2);  // the runs hold the work most of the way
    }
}

// ---- the volume, computed once per stored row and kept with the record

// Stored row m's measures with the volume, computed afresh, past every memo.
QualityResult FreshRow(const Sim& s, int m) {
  QualityContact c[kMaxQualityContacts];
  double centre[3], rho;
  const int n = QualityContactsOfRow(s, m, c, centre, &rho);
  return GraspQuality(c, n, centre, rho, s.qualitySettings, QualityMeasures::All);
}

struct Shown {
  double epsilon, volume;
};

// Every stored row's epsilon and volume as the trajectory (the CSV, trajectory(), the
// web page) shows them.
std::vector<Shown> ShownRows(const Sim& s) {
  const TrajectoryTable t = Trajectory(s);
  const size_t cols = t.names.size();
  size_t e = 0;
  while (e < cols && t.names[e] != "epsilon") ++e;
  EXPECT_LT(e + 1, cols);
  EXPECT_EQ(t.names[e + 1], "volume");
  std::vector<Shown> rows;
  for (int n = 0; n < t.rows && e + 1 < cols; ++n)
    rows.push_back({t.values[n * cols + e], t.values[n * cols + e + 1]});
  return rows;
}

// What the trajectory shows is the fresh hull of every stored row, bit for bit.
void ExpectShownIsFresh(const Sim& s) {
  const std::vector<Shown> shown = ShownRows(s);
  ASSERT_EQ(static_cast<int>(shown.size()), RecordLength(s));
  for (int m = 0; m < RecordLength(s); ++m) {
    const QualityResult f = FreshRow(s, m);
    EXPECT_EQ(shown[m].epsilon, f.epsilon) << "row " << m;
    EXPECT_EQ(shown[m].volume, f.volume) << "row " << m;
  }
}

TEST(RememberedVolume, IsTheFreshHullBitForBitAcrossARunAReplayAndARegrasp) {
  auto s = rgtest::StartedSim();
  rgtest::Press(*s, "GssA" + std::string(22, 's'));  // rows 0..4; step 22 is not stored
  ASSERT_EQ(RecordLength(*s), 5);
  // a copy made before any volume was asked for computes everything afresh
  const auto untouched = std::make_unique<Sim>(*s);
  ExpectShownIsFresh(*s);
  ExpectShownIsFresh(*s);  // the second time from the memos
  EXPECT_GT(ShownRows(*s)[4].volume, 0.0);
  // the latest contacts between stored rows, asked for twice
  const QualityResult now = GraspQualityNow(*s, QualityMeasures::All);
  EXPECT_EQ(GraspQualityNow(*untouched, QualityMeasures::All).volume, now.volume);
  EXPECT_EQ(GraspQualityNow(*s, QualityMeasures::All).volume, now.volume);
  EXPECT_EQ(GraspQualityNow(*s, QualityMeasures::All).epsilon, now.epsilon);
  EXPECT_NE(now.volume, ShownRows(*s)[4].volume);  // not the last row's contacts
  // at a stored step the latest contacts are the last row's
  rgtest::Press(*s, "sss");
  ASSERT_EQ(RecordLength(*s), 6);
  EXPECT_EQ(GraspQualityNow(*s, QualityMeasures::All).volume, FreshRow(*s, 5).volume);
  ExpectShownIsFresh(*s);
  // the replay shows the rows and leaves them as they are
  const std::vector<Shown> before = ShownRows(*s);
  rgtest::Press(*s, "Dsss");
  ExpectShownIsFresh(*s);
  ASSERT_EQ(ShownRows(*s).size(), before.size());
  EXPECT_EQ(ShownRows(*s)[5].volume, before[5].volume);
  // a reset and a new grasp of the work moved start the record anew
  rgtest::Press(*s, "MXGssA" + std::string(12, 's'));
  ASSERT_EQ(RecordLength(*s), 3);
  ExpectShownIsFresh(*s);
  EXPECT_NE(ShownRows(*s)[1].volume, before[1].volume);
}

// Every way a stored row gets other contacts (or is judged by other settings) makes its
// memo unusable: after each, the rows show their fresh hulls, and some of them differ
// from what the memos held, which a stale memo would have shown instead.
TEST(RememberedVolume, NoWayOfRewritingARowShowsTheVolumeItHadBefore) {
  struct Rewrite {
    const char* what;
    std::string run;                  // the run whose rows' volumes are shown first
    std::function<void(Sim&)> again;  // what rewrites them
  };
  const std::string run1 = "GssA" + std::string(40, 's'), run2 = "H2GsssA" + std::string(40, 's');
  const Rewrite rewrites[] = {
      {"a grasp of the work moved", run1,
       [](Sim& s) { rgtest::Press(s, "MXGssA" + std::string(40, 's')); }},
      {"new initial angles", run1,
       [](Sim& s) {
         double q[kSlots];
         for (int j = 1; j <= s.nJ(); ++j) q[j - 1] = s.qq0[1][j];
         q[0] += 0.02;
         std::string why;
         ASSERT_TRUE(ScriptInitialAngles(s, 1, q, s.nJ(), &why)) << why;
         rgtest::Press(s, "GssA" + std::string(40, 's'));
       }},
      {"a finger lifted", run2,
       [](Sim& s) {
         rgtest::Press(s, "GsssA" + std::string(12, 's') + "2" + std::string(28, 's'));
         ASSERT_TRUE(s.lifted[2]);
       }},
      {"another friction", run1, [](Sim& s) { s.qualitySettings.mu = 0.3; }},
      {"a planned path followed", run1,
       [](Sim& s) {
         rgtest::Press(s, "GssA" + std::string(12, 's'));
         s.plan.goal = GoalPose{0, 0, 5, 0, 0, 0};
         rgtest::Press(s, "BsC");
         ASSERT_FALSE(s.plan.path.empty()) << s.plan.outcome.reason;
         rgtest::Press(s, std::string(s.plan.path.size(), 's') + "A" + std::string(30, 's'));
       }},
  };
  for (const Rewrite& r : rewrites) {
    SCOPED_TRACE(r.what);
    auto s = rgtest::StartedSim();
    rgtest::Press(*s, r.run);
    const std::vector<Shown> before = ShownRows(*s);  // every row's memo filled
    r.again(*s);
    ExpectShownIsFresh(*s);
    const std::vector<Shown> after = ShownRows(*s);
    int changed = 0;
    for (size_t m = 0; m < before.size() && m < after.size(); ++m)
      changed += after[m].volume != before[m].volume;
    EXPECT_GT(changed, 0);
  }
}

}  // namespace
