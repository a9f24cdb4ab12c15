// The stored trajectory as CSV and the switched-off console reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "record/grasp_quality.h"
#include "record/report.h"
#include "record/store.h"
#include "numerics/vecmat.h"
#include "support.h"

namespace {

using namespace rg;

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string cell; std::getline(in, cell, sep);) out.push_back(cell);
  return out;
}

// Stores steps 0..steps for every finger with values that identify step, finger and field.
void FillRecord(Sim& s, int steps) {
  for (int m = 0; m <= steps; ++m)
    for (int kf = 1; kf <= s.nF(); ++kf) {
      double q[kSlots] = {0};
      for (int j = 1; j <= s.nJ(); ++j) q[j] = m + 0.1 * kf + 0.01 * j;
      const ContactPrm prm{1000.0 + m,      0.1 * kf,   kHalfPiC,     0.0,
                           catalogue::aCyl, -0.25 * kf, 0.5 * kf + m, -0.125 * kf};  // alw, betw
      const double rw[3] = {m * 1.0 / 3.0, 140.0, -40.0}, rwP[3] = {0, 0, 0};
      const double Ew[3][3] = {{1.0 + 1e-16 * m, 0, 0}, {0, 0.6, -0.8}, {0, 0.8, 0.6}};
      const double RC[3] = {kf * 10.0, m * 2.0, 1.0 / 7.0}, NW[3] = {0.0, -1.0, 0.0};
      StoreCylinderManipData5(s, m, kf, m == 0 ? 0.0 : 0.05, {q, prm, rw, rwP, Ew, RC, NW});
    }
}

TEST(TrajectoryCsv, AHeaderNamingEveryColumnThenTheStoredRowsAtFullPrecision) {
  auto s = rgtest::StartedSim();
  s->handModel = rg::CatalogueModel(2);  // three fingers
  FillRecord(*s, 12);  // stored rows 0, 1 (step 5) and 2 (step 10)
  ASSERT_EQ(s->cntMainip1, 2);
  const auto lines = Split(TrajectoryCsv(*s), '\n');
  ASSERT_EQ(lines.size(), 4u);
  const auto head = Split(lines[0], ',');
  ASSERT_EQ(head.size(), 3u + 3u + 9u + 3u * (4u + 6u + 6u + 2u) + 3u + 6u + 1u);
  // the numbers end before the text column gait, the last one
  const size_t end = head.size() - 1;
  EXPECT_EQ(head.back(), "gait");
  const std::string start =
      "row,step,time,rwx,rwy,rwz,ew00,ew01,ew02,ew10,ew11,ew12,ew20,ew21,ew22,"
      "q1_f1,q2_f1,q3_f1,q4_f1,Lf_f1,fif_f1,psif_f1,Lw_f1,Ltw_f1,thw_f1,"
      "cpx_f1,cpy_f1,cpz_f1,nwx_f1,nwy_f1,nwz_f1,alw_f1,betw_f1,q1_f2,";
  EXPECT_EQ(lines[0].substr(0, start.size()), start);
  EXPECT_EQ(head[end - 10], "betw_f3");
  EXPECT_EQ(head[end - 9], "t");
  EXPECT_EQ(head[end - 8], "epsilon");
  EXPECT_EQ(head[end - 7], "volume");
  // the commanded velocity of each row, added after every earlier column
  EXPECT_EQ(head[end - 6], "cmd_vx");
  EXPECT_EQ(head[end - 1], "cmd_wz");
  for (int n = 0; n <= 2; ++n) {
    SCOPED_TRACE(n);
    const auto row = Split(lines[n + 1], ',');
    ASSERT_EQ(row.size(), head.size());
    EXPECT_EQ(row.back(), "\"\"");  // no gait
    auto at = [&row](size_t k) { return std::strtod(row[k].c_str(), nullptr); };
    EXPECT_EQ(row[0], std::to_string(n));
    EXPECT_EQ(row[1], std::to_string(5 * n));
    // values read back are the stored doubles, bit for bit
    EXPECT_EQ(at(2), s->ManipT[n]);
    EXPECT_EQ(at(3), 5 * n * 1.0 / 3.0);
    EXPECT_EQ(at(6), 1.0 + 1e-16 * (5 * n));
    EXPECT_EQ(at(13), 0.8);  // Ew[2][1]
    for (int kf = 1; kf <= 3; ++kf) {
      const size_t b = 15 + 18 * (kf - 1);
      EXPECT_EQ(at(b + 2), 5 * n + 0.1 * kf + 0.03);  // q3
      const double prm[6] = {1000.0 + 5 * n, 0.1 * kf, kHalfPiC, 0.0, catalogue::aCyl, -0.25 * kf};
      for (int i = 0; i < 6; ++i) EXPECT_EQ(at(b + 4 + i), prm[i]) << i;  // Lf .. thw
      EXPECT_EQ(at(b + 12), 1.0 / 7.0);  // cpz
      EXPECT_EQ(at(b + 14), -1.0);       // nwy
      EXPECT_EQ(at(b + 16), 0.5 * kf + 5 * n);  // alw
      EXPECT_EQ(at(b + 17), -0.125 * kf);       // betw
    }
    // "time" counts every step once per finger, "t" once
    EXPECT_EQ(at(end - 9), s->ManipTimeRow[n]);
    EXPECT_NEAR(at(end - 9), 0.25 * n, 1e-12);
    EXPECT_NEAR(at(2), 3 * at(end - 9), 1e-12);
    // the row's grasp quality, judged from its contacts
    const QualityResult q = GraspQualityOfRow(*s, n);
    EXPECT_EQ(at(end - 8), q.epsilon);
    EXPECT_EQ(at(end - 7), q.volume);
  }
  EXPECT_NEAR(s->ManipT[2], 1.5, 1e-12);  // 5 steps of 0.05 per row, once per finger
}

TEST(DataReports, PrintNothingWithTheirSwitchesOffAndStayWithinTheStoredRows) {
  auto s = rgtest::StartedSim();
  FillRecord(*s, 7);
  s->cntManip0 = 7;
  rgtest::Capture cap(*s);
  GraspDataReport(s->con, *s);
  ManipDataReport(s->con, *s);
  EXPECT_TRUE(cap.text().empty());

  ManipDataReport(s->con, *s, 1, 1);
  const std::string& t = cap.text();
  EXPECT_NE(t.find("\n=========操りデータの印刷 cntManip0=7 M=1 ManipTS="), std::string::npos);
  EXPECT_NE(t.find("\n  5 ManipRW[1]="), std::string::npos);
  EXPECT_NE(t.find("[Lf,φf][5]=[1005.0000  0.2000] [Lw,φw][5]=[ 0.0000 -0.5000]"),
            std::string::npos);

  // on the sphere the work side of a row is its contact angles
  cap.clear();
  s->WORK1 = '1';
  ManipDataReport(s->con, *s, 1, 1);
  EXPECT_NE(t.find("[Lf,φf][5]=[1005.0000  0.2000] [alw,betw][5]=[ 6.0000 -0.2500]"),
            std::string::npos);
  EXPECT_EQ(t.find("[Lw,φw]"), std::string::npos);
  s->WORK1 = '2';

  cap.clear();
  s->cntManip0 = 3000;  // more steps than stored rows
  GraspDataReport(s->con, *s, 1);
  EXPECT_NE(t.find("\n=============操りデータの印刷 cntManip0=3000"), std::string::npos);
  EXPECT_NE(t.find("\n  1 ManipRW[]="), std::string::npos);
  EXPECT_EQ(t.find("\n  2 ManipRW[]="), std::string::npos);
}

}  // namespace
