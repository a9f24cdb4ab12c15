#include "record/report.h"

#include <cstdio>

#include "core/console.h"

namespace rg {
namespace {

const char* const kSep = "\n--------------------------------------------------------------------";

// Row index m limited to the rows stored so far.
int StoredRow(const Sim& s, int m) {
  if (m > s.cntMainip1) m = s.cntMainip1;
  if (m >= kRows) m = kRows - 1;
  return m < 0 ? 0 : m;
}

// One row of contact parameters; on the sphere the work side is its contact angles.
void PrmRow(Console& con, const Sim& s, int i, const ContactPrm& c) {
  if (s.WORK1 == '1')
    con.Printf("\n%3d [Lf,φf][%d]=[%7.4f %7.4f] [alw,betw][%d]=[%7.4f %7.4f]", i, i, c.Lf, c.fif,
                i, c.alw, c.betw);
  else
    con.Printf("\n%3d [Lf,φf][%d]=[%7.4f %7.4f] [Lw,φw][%d]=[%7.4f %7.4f]", i, i, c.Lf, c.fif, i,
                c.Lw, c.thw);
}

}  // namespace

void GraspDataReport(Console& con, const Sim& s, int sw) {
  if (sw <= 0) return;
  // rows 0..cntManip0 (the grasp is row 0), never beyond the stored rows
  const int last = StoredRow(s, s.cntManip0);
  con.Printf("\n=============操りデータの印刷 cntManip0=%d ManipT=%10.3e===============",
              s.cntManip0, s.ManipT[last]);
  for (int i = 0; i <= last; ++i) {
    con.Printf("\n%3d ManipRW[]=", i);
    PrintVec(con, 0, 2, s.ManipRW[i]);
  }
  con.Printf("\n Ew[][]=");
  PrintMatI(con, 8, s.EWW);
  con.Write(kSep);
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int i = 0; i <= last; ++i) {
      con.Printf("\n%3d qqa[%d][]=", i, i);
      PrintVec(con, 1, s.nJ, s.qqa[i][kf]);
    }
    con.Printf("\n%3d qqa2[1][]=", kf);
    PrintVec(con, 1, s.nJ, s.qqa2[1][kf]);
    con.Write(kSep);
  }
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int i = 0; i <= last; ++i) {
      con.Printf("\n%3d CPNT[%d][] =", i, i);
      PrintVec(con, 0, 2, s.ManipCPNTA[i][kf]);
    }
    con.Write(kSep);
  }
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int i = 0; i <= last; ++i) PrmRow(con, s, i, s.Manip[i][kf]);
    con.Write(kSep);
  }
  con.Printf("\n==========操りデータの印刷 cntManip0=%d T=%6.4f end======================",
              s.cntManip0, s.ManipT[last]);
}

void ManipDataReport(Console& con, const Sim& s, int sw, int swHistory) {
  if (sw <= 0) return;
  const int M = StoredRow(s, s.cntManip0 / kDecim);
  con.Printf("\n=========操りデータの印刷 cntManip0=%d M=%d ManipTS=%5.4f==========", s.cntManip0,
              s.cntManip0 / kDecim, s.ManipTS);
  con.Printf("\n%3d ManipRW2[1]=", s.cntManip0);
  PrintVec(con, 0, 2, s.ManipRW2[1]);
  con.Printf("\n    Ew[][]=");
  PrintMatI(con, 11, s.EWW);
  if (swHistory > 0)
    for (int i = 0; i <= M; ++i) {
      con.Printf("\n%3d ManipRW[%d]=", kDecim * i, i);
      PrintVec(con, 0, 2, s.ManipRW[i]);
    }
  con.Write(kSep);
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int i = 0; i <= M; ++i) {
      con.Printf("\n%3d qqa[%d][]=", kDecim * i, i);
      PrintVec(con, 1, s.nJ, s.qqa[i][kf]);
    }
    con.Printf("\n%3d qqa2[1][]=", s.cntManip0);
    PrintVec(con, 1, s.nJ, s.qqa2[1][kf]);
    for (int i = 0; i <= M; ++i) {
      con.Printf("\n%3d ManipCPNTA[%d][]=", kDecim * i, i);
      PrintVec(con, 0, 2, s.ManipCPNTA[i][kf]);
    }
    con.Printf("\n%3d ManipCPNTA2[1][]=", s.cntManip0);
    PrintVec(con, 0, 2, s.ManipCPNTA2[1][kf]);
    for (int i = 0; i <= M; ++i) PrmRow(con, s, kDecim * i, s.Manip[i][kf]);
    con.Write(kSep);
  }
  con.Printf("\n=========操りデータの印刷 cntManip0=%d ManipTS=%5.4f end=============",
              s.cntManip0, s.ManipTS);
}

std::string TrajectoryCsv(const Sim& s) {
  const int nF = (s.nF >= 1 && s.nF < kSlots) ? s.nF : 0;
  const int nJ = (s.nJ >= 1 && s.nJ < kSlots) ? s.nJ : 0;
  const int last = (s.cntMainip1 >= 0 && s.cntMainip1 < kRows) ? s.cntMainip1 : 0;
  std::string csv;
  csv.reserve(static_cast<size_t>(last + 2) * (64 + nF * 20) * 18);

  csv += "row,step,time,rwx,rwy,rwz";
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) csv += ",ew" + std::to_string(i) + std::to_string(j);
  static const char* const kPrm[6] = {"Lf", "fif", "psif", "Lw", "Ltw", "thw"};
  for (int kf = 1; kf <= nF; ++kf) {
    const std::string f = "_f" + std::to_string(kf);
    for (int j = 1; j <= nJ; ++j) csv += ",q" + std::to_string(j) + f;
    for (const char* p : kPrm) csv += std::string(",") + p + f;
    csv += ",cpx" + f + ",cpy" + f + ",cpz" + f;
    csv += ",nwx" + f + ",nwy" + f + ",nwz" + f;
    csv += ",alw" + f + ",betw" + f;
  }
  csv += '\n';

  char buf[32];
  auto num = [&](double v) {
    std::snprintf(buf, sizeof buf, ",%.17g", v);
    csv += buf;
  };
  for (int n = 0; n <= last; ++n) {
    std::snprintf(buf, sizeof buf, "%d,%d", n, kDecim * n);
    csv += buf;
    num(s.ManipT[n]);
    for (int i = 0; i < 3; ++i) num(s.ManipRW[n][i]);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) num(s.ManipEW[n][i][j]);
    for (int kf = 1; kf <= nF; ++kf) {
      for (int j = 1; j <= nJ; ++j) num(s.ManipQ[n][kf][j]);
      const ContactPrm& c = s.Manip[n][kf];
      for (double v : {c.Lf, c.fif, c.psif, c.Lw, c.Ltw, c.thw}) num(v);
      for (int i = 0; i < 3; ++i) num(s.ManipCPNTA[n][kf][i]);
      for (int i = 0; i < 3; ++i) num(s.ManipNWA[n][kf][i]);
      num(c.alw);
      num(c.betw);
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace rg
