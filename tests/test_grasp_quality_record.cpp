// The quality of the grasps the simulator makes, judged from the record's contacts:
// two point contacts never hold a work, two soft fingers and three fingers can, and
// a grasp that is not complete holds nothing.
#include <gtest/gtest.h>

#include <string>

#include "app/keyboard.h"
#include "quality_reference.h"
#include "record/grasp_quality.h"
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

}  // namespace
