// The replay page writer: the data it embeds against the record and the
// kinematics, the page's embedding of script text, and writing the page whole or
// not at all (also through rollgrasp-batch --html).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/html_export.h"
#include "app/keyboard.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "record/report.h"
#include "record/store.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The default run as the demo makes it: grasp with both fingers, then 340 steps
// (it stops before them).
const std::unique_ptr<rg::Sim>& DefaultRun() {
  static const std::unique_ptr<rg::Sim> s = [] {
    auto sim = rgtest::StartedSim();
    rgtest::Press(*sim, "ssA" + std::string(340, 's'));
    return sim;
  }();
  return s;
}

fs::path ScratchDir(const std::string& tag) {
  const fs::path d = fs::temp_directory_path() / ("rg-html-" + tag + "-" + std::to_string(getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

// A point given in the frame (o, E) in hand coordinates.
void FromLocal(const json& local, const double o[3], const double E[3][3], double out[3]) {
  for (int i = 0; i < 3; ++i)
    out[i] = o[i] + E[i][0] * local[0].get<double>() + E[i][1] * local[1].get<double>() +
             E[i][2] * local[2].get<double>();
}

TEST(ReplayPage, DataHoldsTheTableAndThePosedGeometryOfEveryRow) {
  const rg::Sim& s = *DefaultRun();
  ASSERT_GT(s.cntMainip1, 10);
  const json d = rg::ReplayData(s);
  const rg::TrajectoryTable t = rg::Trajectory(s);
  ASSERT_EQ(d["columns"], json(t.names));
  ASSERT_EQ(d["table"].size(), static_cast<size_t>(t.rows));
  ASSERT_EQ(d["geometry"].size(), static_cast<size_t>(t.rows));
  // the table as the CSV has it, exactly
  const size_t cols = t.names.size();
  for (int n = 0; n < t.rows; ++n)
    for (size_t c = 0; c < cols; ++c)
      ASSERT_EQ(d["table"][n][c].get<double>(), t.values[n * cols + c]) << n << " " << t.names[c];
  EXPECT_EQ(d["hand"]["fingers"], 2);
  EXPECT_EQ(d["work"]["kind"], "cylinder");
  EXPECT_EQ(d["end"]["letter"], std::string(1, s.sgnMANIP));
  EXPECT_EQ(d["end"]["steps"], s.cntManip0);

  const int nJ = s.nJ(), last = s.cntMainip1;
  for (int m : {0, 1, last / 2, last}) {
    for (int kf = 1; kf <= s.nF(); ++kf) {
      SCOPED_TRACE("row " + std::to_string(m) + " finger " + std::to_string(kf));
      const json& g = d["geometry"][m][kf - 1];
      const rg::FingerPose F = rg::Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[m][kf]);
      for (int j = 1; j <= nJ + 1; ++j)
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(g["J"][3 * (j - 1) + i].get<double>(), F.JA[j][i], 1e-6);
      // the links the window draws (3..nJ) run from joint j along its frame's x axis
      // by lFin to joint j + 1, the last one to the fingertip centre, and joint nJ's
      // axis is its frame's z axis: the viewer draws the links and frames from J and Z
      for (int j = 3; j <= nJ; ++j)
        for (int i = 0; i < 3; ++i) {
          EXPECT_NEAR(F.JA[j][i] + rg::catalogue::lFin * F.EA[j][i][0], F.JA[j + 1][i], 1e-9);
          EXPECT_NEAR(g["Z"][3 * (j - 1) + i].get<double>(), F.EA[j][i][2], 1e-6);
        }
      // the traces: a contact of row m carried to the poses of a later row n lands
      // where the record puts it
      for (int n : {m, last}) {
        const json& gn = d["geometry"][n][kf - 1];
        // the last link's frame as the viewer makes it
        double E[3][3], o[3], x[3], z[3], y[3], p[3], want[3];
        for (int i = 0; i < 3; ++i) {
          o[i] = gn["J"][3 * (nJ - 1) + i].get<double>();
          x[i] = (gn["J"][3 * nJ + i].get<double>() - o[i]) / rg::catalogue::lFin;
          z[i] = gn["Z"][3 * (nJ - 1) + i].get<double>();
        }
        rg::VecCross(z, x, y);
        for (int i = 0; i < 3; ++i) {
          E[i][0] = x[i];
          E[i][1] = y[i];
          E[i][2] = z[i];
        }
        FromLocal(g["cf"], o, E, p);
        rg::ManipCPNTF(s, n, m, kf, want);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], want[i], 1e-4) << "link, row " << n;
        FromLocal(g["cw"], s.ManipRW[n], s.ManipEW[n], p);
        rg::ManipCPNTW(s, n, m, kf, want);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], want[i], 1e-4) << "work, row " << n;
      }
    }
  }
}

// The text between the opening tag that holds `open` and the next "</script>".
std::string ScriptBody(const std::string& page, const std::string& open) {
  const size_t a = page.find(open);
  if (a == std::string::npos) return "";
  const size_t b = page.find('>', a) + 1;
  return page.substr(b, page.find("</script>", b) - b);
}

TEST(ReplayPage, EmbeddedTextCannotEndItsScriptElement) {
  rg::ViewerAssets a;
  a.page = "<title>@@TITLE@@</title><script type=\"application/json\" id=\"d\">@@DATA@@</script>"
           "<script id=\"t\">@@THREE@@</script><script id=\"o\">@@ORBIT@@</script>"
           "<script id=\"l\">@@LICENCE@@</script><script id=\"v\">@@VIEWER@@</script>";
  // script text with what would end its element early, and another slot's name
  a.three = "var x = '</script><!-- @@DATA@@'; var y = '</SCRIPT >';";
  a.orbit = "export {};";
  a.script = "/* viewer */";
  a.licence = "MIT";
  a.version = "0.0.0";
  const rg::Sim& s = *DefaultRun();
  const std::string page = rg::ReplayHtml(s, a);
  size_t closes = 0;
  for (size_t i = page.find("</script"); i != std::string::npos; i = page.find("</script", i + 1)) ++closes;
  EXPECT_EQ(closes, 5u);
  EXPECT_EQ(page.find("</SCRIPT"), std::string::npos);
  EXPECT_EQ(ScriptBody(page, "id=\"t\""), "var x = '<\\/script><\\!-- @@DATA@@'; var y = '<\\/SCRIPT >';");
  EXPECT_NE(page.find("<title>rollgrasp replay: H=1:RQPP 2-Finger, Cylinder, "), std::string::npos);
  // the data read back are the data
  EXPECT_EQ(json::parse(ScriptBody(page, "id=\"d\"")), rg::ReplayData(s));
}

TEST(ReplayPage, ViewerFilesAreFoundOrNamed) {
  rg::ViewerAssets a;
  std::string why;
  ASSERT_TRUE(rg::FindViewerAssets(&a, &why)) << why;  // the build's own folder
  EXPECT_NE(a.three.find("Three.js Authors"), std::string::npos);
  EXPECT_NE(a.licence.find("MIT"), std::string::npos);
  EXPECT_EQ(a.version, "0.170.0");

  const fs::path empty = ScratchDir("assets");
  setenv("RG_VIEWER_DIR", empty.c_str(), 1);
  EXPECT_FALSE(rg::FindViewerAssets(&a, &why));
  unsetenv("RG_VIEWER_DIR");
  EXPECT_NE(why.find((empty / "viewer.html").string()), std::string::npos) << why;
  EXPECT_NE(why.find("RG_VIEWER_DIR"), std::string::npos) << why;
  fs::remove_all(empty);
}

struct BatchResult {
  int status = -1;
  std::string out, err;
};

BatchResult Batch(const std::string& args, const fs::path& dir) {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  const std::string cmd = rgtest::BuildPath("rollgrasp-batch") + " " + args + " >" +
                          out.string() + " 2>" + err.string() + " </dev/null";
  BatchResult r;
  const int st = std::system(cmd.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = rgtest::ReadText(out);
  r.err = rgtest::ReadText(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

// A run whose grasp was started over has no record to replay: the page is refused
// (and the file left as it was) rather than made of the earlier run's rows.
TEST(ReplayPage, RefusedWithoutARecordOfTheCurrentGrasp) {
  const fs::path dir = ScratchDir("norecord");
  const fs::path page = dir / "run.html";
  for (const char* keys : {"", "ssAsssssMx", "ssAsssssH1"}) {
    SCOPED_TRACE(keys);
    std::ofstream(page) << "old";
    const BatchResult r = Batch("--html " + page.string() + " '" + keys + "'", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("rollgrasp-batch: --html: ") + rg::kNoRecord + "\n");
    EXPECT_EQ(rgtest::ReadText(page), "old");
  }
  fs::remove_all(dir);
}

TEST(ReplayPage, WrittenWholeOrNotAtAll) {
  const fs::path dir = ScratchDir("write");
  const rg::Sim& s = *DefaultRun();
  std::string why;
  // a page that cannot be put in place (a folder of that name) leaves nothing behind
  fs::create_directories(dir / "taken.html");
  EXPECT_FALSE(rg::WriteReplayHtml(s, (dir / "taken.html").string(), &why));
  EXPECT_NE(why.find("cannot write " + (dir / "taken.html").string()), std::string::npos) << why;
  EXPECT_FALSE(rg::WriteReplayHtml(s, (dir / "no" / "such.html").string(), &why));
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir)) entries += e.path().filename() != "taken.html";
  EXPECT_EQ(entries, 0u);

  // the batch driver: the page of the run, replacing an older file; status 1 and one
  // line naming the file when it cannot be written
  const fs::path page = dir / "run.html";
  std::ofstream(page) << "old";
  BatchResult r = Batch("--html " + page.string() + " ssAssssssssss", dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string html = rgtest::ReadText(page);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(json::parse(ScriptBody(html, "id=\"rg-data\""))["table"].size(), 3u);  // rows 0..2
  r = Batch("--html=" + (dir / "no" / "such.html").string() + " ss", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "rollgrasp-batch: --html: cannot write " + (dir / "no" / "such.html").string() +
                       ": No such file or directory\n");
  r = Batch("--html", dir);
  EXPECT_EQ(r.status, 2);
  // as the Python module's html() writes it: no FIFO or link is replaced
  ASSERT_EQ(mkfifo((dir / "fifo.html").c_str(), 0644), 0);
  fs::create_symlink(page, dir / "link.html");
  const std::string before = rgtest::ReadText(page);
  for (const char* name : {"fifo.html", "link.html"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(rg::WriteReplayHtml(s, (dir / name).string(), &why));
    EXPECT_NE(why.find("cannot write " + (dir / name).string() + ": it is a"), std::string::npos) << why;
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(dir / "fifo.html")));
  EXPECT_TRUE(fs::is_symlink(dir / "link.html"));
  EXPECT_EQ(rgtest::ReadText(page), before);
  r = Batch("--help", dir);
  EXPECT_NE(r.out.find("\n  --html FILE.html "), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "no"));
  fs::remove_all(dir);
}

}  // namespace
