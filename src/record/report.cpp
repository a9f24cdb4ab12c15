#include "record/report.h"

#include "record/grasp_quality.h"
#include "record/store.h"

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
  for (int kf = 1; kf <= s.nF(); ++kf) {
    for (int i = 0; i <= last; ++i) {
      con.Printf("\n%3d qqa[%d][]=", i, i);
      PrintVec(con, 1, s.nJ(), s.qqa[i][kf]);
    }
    con.Printf("\n%3d qqa2[1][]=", kf);
    PrintVec(con, 1, s.nJ(), s.qqa2[1][kf]);
    con.Write(kSep);
  }
  for (int kf = 1; kf <= s.nF(); ++kf) {
    for (int i = 0; i <= last; ++i) {
      con.Printf("\n%3d CPNT[%d][] =", i, i);
      PrintVec(con, 0, 2, s.ManipCPNTA[i][kf]);
    }
    con.Write(kSep);
  }
  for (int kf = 1; kf <= s.nF(); ++kf) {
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
  for (int kf = 1; kf <= s.nF(); ++kf) {
    for (int i = 0; i <= M; ++i) {
      con.Printf("\n%3d qqa[%d][]=", kDecim * i, i);
      PrintVec(con, 1, s.nJ(), s.qqa[i][kf]);
    }
    con.Printf("\n%3d qqa2[1][]=", s.cntManip0);
    PrintVec(con, 1, s.nJ(), s.qqa2[1][kf]);
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

TrajectoryTable Trajectory(const Sim& s) {
  const int nF = (s.nF() >= 1 && s.nF() < kSlots) ? s.nF() : 0;
  const int nJ = (s.nJ() >= 1 && s.nJ() < kSlots) ? s.nJ() : 0;
  const int last = RecordLength(s) - 1;  // the current record only (none: -1)
  TrajectoryTable t;
  std::vector<std::string>& names = t.names;
  names = {"row", "step", "time", "rwx", "rwy", "rwz"};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) names.push_back("ew" + std::to_string(i) + std::to_string(j));
  static const char* const kPrm[6] = {"Lf", "fif", "psif", "Lw", "Ltw", "thw"};
  for (int kf = 1; kf <= nF; ++kf) {
    const std::string f = "_f" + std::to_string(kf);
    for (int j = 1; j <= nJ; ++j) names.push_back("q" + std::to_string(j) + f);
    for (const char* p : kPrm) names.push_back(p + f);
    for (const char* p : {"cpx", "cpy", "cpz", "nwx", "nwy", "nwz", "alw", "betw"}) names.push_back(p + f);
  }
  // added last so that every earlier column keeps its place
  names.push_back("t");
  names.push_back("epsilon");  // the grasp quality of the row (record/grasp_quality.h)
  names.push_back("volume");
  // the commanded velocity the stored step was run with (vw, then omww)
  for (const char* p : {"cmd_vx", "cmd_vy", "cmd_vz", "cmd_wx", "cmd_wy", "cmd_wz"}) names.push_back(p);
  t.textNames = {"gait"};  // the finger gaits since the row before (record/store.h)
  t.integerColumns = 2;
  t.rows = last + 1;
  t.values.reserve(static_cast<size_t>(t.rows) * names.size());
  for (int n = 0; n <= last; ++n) {
    std::vector<double>& v = t.values;
    v.push_back(n);
    v.push_back(kDecim * n);
    v.push_back(s.ManipT[n]);
    for (int i = 0; i < 3; ++i) v.push_back(s.ManipRW[n][i]);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) v.push_back(s.ManipEW[n][i][j]);
    for (int kf = 1; kf <= nF; ++kf) {
      for (int j = 1; j <= nJ; ++j) v.push_back(s.ManipQ[n][kf][j]);
      const ContactPrm& c = s.Manip[n][kf];
      for (double x : {c.Lf, c.fif, c.psif, c.Lw, c.Ltw, c.thw}) v.push_back(x);
      for (int i = 0; i < 3; ++i) v.push_back(s.ManipCPNTA[n][kf][i]);
      for (int i = 0; i < 3; ++i) v.push_back(s.ManipNWA[n][kf][i]);
      v.push_back(c.alw);
      v.push_back(c.betw);
    }
    v.push_back(s.ManipTimeRow[n]);
    const QualityResult q = GraspQualityOfRow(s, n, QualityMeasures::All);  // the volume too
    v.push_back(q.epsilon);
    v.push_back(q.volume);
    for (int i = 0; i < 6; ++i) v.push_back(s.ManipCmd[n][i]);
    t.text.push_back(RowGaitText(s, n));
  }
  return t;
}

std::string TrajectoryCsv(const Sim& s) {
  const TrajectoryTable t = Trajectory(s);
  const size_t cols = t.names.size();
  std::string csv;
  csv.reserve((static_cast<size_t>(t.rows) + 1) * cols * 20);
  for (size_t c = 0; c < cols; ++c) {
    if (c > 0) csv += ',';
    csv += t.names[c];
  }
  for (const std::string& name : t.textNames) csv += "," + name;
  csv += '\n';
  const size_t texts = t.textNames.size();
  char buf[32];
  for (int n = 0; n < t.rows; ++n) {
    const double* row = &t.values[static_cast<size_t>(n) * cols];
    for (size_t c = 0; c < cols; ++c) {
      if (c < static_cast<size_t>(t.integerColumns))
        std::snprintf(buf, sizeof buf, c == 0 ? "%d" : ",%d", static_cast<int>(row[c]));
      else
        std::snprintf(buf, sizeof buf, c == 0 ? "%.17g" : ",%.17g", row[c]);
      csv += buf;
    }
    // texts in quotes (a quote doubled), so that an empty one is still a field
    for (size_t c = 0; c < texts; ++c) {
      csv += ",\"";
      for (char ch : t.text[static_cast<size_t>(n) * texts + c]) {
        if (ch == '"') csv += '"';
        csv += ch;
      }
      csv += '"';
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace rg
