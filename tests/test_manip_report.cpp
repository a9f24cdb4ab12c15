// The stored trajectory as CSV and the switched-off console reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "manip/report.h"
#include "manip/store.h"
#include "numerics/vecmat.h"
#include "support.h"

namespace {

using namespace rg;

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, sep)) out.push_back(cell);
  return out;
}

std::vector<std::string> Lines(const std::string& text) { return Split(text, '\n'); }

// Stores steps 0..steps for every finger with values that identify step, finger and field.
void FillRecord(Sim& s, int steps) {
  for (int m = 0; m <= steps; ++m)
    for (int kf = 1; kf <= s.nF; ++kf) {
      double q[kSlots] = {0};
      for (int j = 1; j <= s.nJ; ++j) q[j] = m + 0.1 * kf + 0.01 * j;
      const ContactPrm prm{1000.0 + m, 0.1 * kf, kHalfPiC, 0.0, aCyl, -0.25 * kf};
      const double rw[3] = {m * 1.0 / 3.0, 140.0, -40.0};
      const double rwP[3] = {0, 0, 0};
      double Ew[3][3] = {{1, 0, 0}, {0, 0.6, -0.8}, {0, 0.8, 0.6}};
      Ew[0][0] = 1.0 + 1e-16 * m;
      const double RC[3] = {kf * 10.0, m * 2.0, 1.0 / 7.0};
      const double NW[3] = {0.0, -1.0, 0.0};
      StoreCylinderManipData5(s, m, kf, m == 0 ? 0.0 : 0.05, q, prm, rw, rwP, Ew, RC, NW);
    }
}

TEST(TrajectoryCsv, HeaderNamesEveryColumnOfEveryFinger) {
  auto s = rgtest::StartedSim();
  s->nF = 3;
  FillRecord(*s, 0);
  const auto lines = Lines(TrajectoryCsv(*s));
  ASSERT_EQ(lines.size(), 2u);  // header and row 0
  const auto head = Split(lines[0], ',');
  ASSERT_EQ(head.size(), 3u + 3u + 9u + 3u * (4u + 6u + 6u));
  EXPECT_EQ(head[0], "row");
  EXPECT_EQ(head[1], "step");
  EXPECT_EQ(head[2], "time");
  EXPECT_EQ(head[3], "rwx");
  EXPECT_EQ(head[6], "ew00");
  EXPECT_EQ(head[14], "ew22");
  EXPECT_EQ(head[15], "q1_f1");
  EXPECT_EQ(head[19], "Lf_f1");
  EXPECT_EQ(head[24], "thw_f1");
  EXPECT_EQ(head[25], "cpx_f1");
  EXPECT_EQ(head[28], "nwx_f1");
  EXPECT_EQ(head[30], "nwz_f1");
  EXPECT_EQ(head[31], "q1_f2");
  EXPECT_EQ(head.back(), "nwz_f3");
}

TEST(TrajectoryCsv, RowsHoldTheStoredStepsAtFullPrecision) {
  auto s = rgtest::StartedSim();
  FillRecord(*s, 12);  // stored rows 0, 1 (step 5) and 2 (step 10)
  ASSERT_EQ(s->cntMainip1, 2);
  const auto lines = Lines(TrajectoryCsv(*s));
  ASSERT_EQ(lines.size(), 4u);
  const auto head = Split(lines[0], ',');
  for (int n = 0; n <= 2; ++n) {
    const auto row = Split(lines[n + 1], ',');
    ASSERT_EQ(row.size(), head.size());
    EXPECT_EQ(row[0], std::to_string(n));
    EXPECT_EQ(row[1], std::to_string(5 * n));
    // values read back are the stored doubles, bit for bit
    EXPECT_EQ(std::strtod(row[2].c_str(), nullptr), s->ManipT[n]);
    EXPECT_EQ(std::strtod(row[3].c_str(), nullptr), 5 * n * 1.0 / 3.0);
    EXPECT_EQ(std::strtod(row[6].c_str(), nullptr), 1.0 + 1e-16 * (5 * n));
    EXPECT_EQ(std::strtod(row[13].c_str(), nullptr), 0.8);  // Ew[2][1]
    for (int kf = 1; kf <= 2; ++kf) {
      const size_t b = 15 + 16 * (kf - 1);
      EXPECT_EQ(std::strtod(row[b + 2].c_str(), nullptr), 5 * n + 0.1 * kf + 0.03);  // q3
      EXPECT_EQ(std::strtod(row[b + 4].c_str(), nullptr), 1000.0 + 5 * n);            // Lf
      EXPECT_EQ(std::strtod(row[b + 6].c_str(), nullptr), kHalfPiC);                 // psif
      EXPECT_EQ(std::strtod(row[b + 9].c_str(), nullptr), -0.25 * kf);               // thw
      EXPECT_EQ(std::strtod(row[b + 12].c_str(), nullptr), 1.0 / 7.0);               // cpz
      EXPECT_EQ(std::strtod(row[b + 14].c_str(), nullptr), -1.0);                    // nwy
    }
  }
  // with dt = 0.05 and two fingers, 5 steps add 0.5 to the time of a stored row
  EXPECT_NEAR(std::strtod(Split(lines[3], ',')[2].c_str(), nullptr), 1.0, 1e-12);
}

TEST(DataReports, PrintNothingWithTheirSwitchesOff) {
  auto s = rgtest::StartedSim();
  FillRecord(*s, 7);
  rgtest::Capture cap;
  GraspDataReport(*s);
  ManipDataReport(*s);
  EXPECT_TRUE(cap.text().empty());
}

TEST(DataReports, SwitchedOnTheyListTheRecordOfEveryFinger) {
  auto s = rgtest::StartedSim();
  FillRecord(*s, 7);
  s->cntManip0 = 7;
  rgtest::Capture cap;
  ManipDataReport(*s, 1, 1);
  const std::string& t = cap.text();
  EXPECT_NE(t.find("\n=========操りデータの印刷 cntManip0=7 M=1 ManipTS="), std::string::npos);
  EXPECT_NE(t.find("\n  5 ManipRW[1]="), std::string::npos);
  EXPECT_NE(t.find("[Lf,φf][5]=[1005.0000  0.2000] [Lw,φw][5]=[ 0.0000 -0.5000]"),
            std::string::npos);
  EXPECT_NE(t.find("end============="), std::string::npos);

  cap.clear();
  s->cntManip0 = 3000;  // more steps than stored rows: the report stays within them
  GraspDataReport(*s, 1);
  EXPECT_NE(t.find("\n=============操りデータの印刷 cntManip0=3000"), std::string::npos);
  EXPECT_EQ(t.find("\n  2 ManipRW[]="), std::string::npos);
  EXPECT_NE(t.find("\n  1 ManipRW[]="), std::string::npos);
}

}  // namespace
