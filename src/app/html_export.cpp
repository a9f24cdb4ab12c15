#include "app/html_export.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "app/script.h"
#include "core/output_file.h"
#include "core/program_dir.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "record/report.h"
#include "record/store.h"

#ifndef RG_VIEWER_DIR
#define RG_VIEWER_DIR ""
#endif

namespace rg {
namespace {

using nlohmann::json;

// Geometry is drawn, not computed with: a millionth of a length unit is far below
// a pixel and keeps the page small.
double Round6(double x) { return std::round(x * 1e6) / 1e6; }

void Put3(json& a, const double v[3]) {
  for (int i = 0; i < 3; ++i) a.push_back(Round6(v[i]));
}

void PutColumn(json& a, const double E[3][3], int c) {
  for (int i = 0; i < 3; ++i) a.push_back(Round6(E[i][c]));
}

// p expressed in the frame (o, E): E^T (p - o).
void ToLocal(const double p[3], const double o[3], const double E[3][3], double out[3]) {
  double d[3];
  VecSub(p, o, d);
  MatTVec(E, d, out);
}

// Finger kf in stored row m: joint positions J (joints 1..nJ and the fingertip
// centre) and joint axes Z (1..nJ), and the contact of row m on the last link (cf)
// and on the work (cw), each in its body's own frame. The links the window draws
// (3..nJ) run from joint j to joint j + 1, the last to the fingertip centre, and the
// last link's frame has x along it and z the axis of joint nJ (y = z x x): the
// viewer takes both from J and Z, and cf is given in that frame about joint nJ; cw
// is in the work's frame about its reference point.
json FingerOfRow(const Sim& s, int m, int kf) {
  const int n = s.nJ();
  const FingerPose F = Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[m][kf]);
  json J = json::array(), Z = json::array();
  for (int j = 1; j <= n + 1; ++j) Put3(J, F.JA[j]);
  for (int j = 1; j <= n; ++j) PutColumn(Z, F.EA[j], 2);
  double p[3], local[3];
  json cf = json::array(), cw = json::array();
  ManipCPNTF(s, m, m, kf, p);
  ToLocal(p, F.JA[n], F.EA[n], local);
  Put3(cf, local);
  ManipCPNTW(s, m, m, kf, p);
  ToLocal(p, s.ManipRW[m], s.ManipEW[m], local);
  Put3(cw, local);
  // a finger lifted off the work by a gait has no contact at the row
  return json{{"J", J}, {"Z", Z}, {"cf", cf}, {"cw", cw}, {"touching", TouchingAtRow(s, m, kf)}};
}

bool ReadWhole(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The page template's slots, each filled once.
const char* const kSlotsOfPage[] = {"@@TITLE@@", "@@DATA@@", "@@THREE@@", "@@ORBIT@@",
                                    "@@LICENCE@@", "@@VIEWER@@"};

bool LoadFrom(const std::string& dir, ViewerAssets* a, std::string* missing) {
  const std::pair<const char*, std::string*> files[] = {
      {"viewer.html", &a->page},       {"viewer.js", &a->script},
      {"three.module.min.js", &a->three}, {"OrbitControls.js", &a->orbit},
      {"LICENSE-three.txt", &a->licence}, {"three-version.txt", &a->version}};
  for (const auto& [name, dst] : files) {
    if (!ReadWhole(dir + "/" + name, dst) || dst->empty()) {
      *missing = dir + "/" + name;
      return false;
    }
  }
  for (const char* slot : kSlotsOfPage)
    if (a->page.find(slot) == std::string::npos) {
      *missing = dir + "/viewer.html (no " + std::string(slot) + ")";
      return false;
    }
  while (!a->version.empty() && std::isspace(static_cast<unsigned char>(a->version.back())))
    a->version.pop_back();
  a->dir = dir;
  return true;
}

// Text for a <script> element that the HTML parser ends only at our own closing
// tag: "</script" and "<!--" get a backslash, which JavaScript reads as nothing
// in the strings, regular expressions and comments where such text can occur.
std::string ScriptText(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '<' && i + 1 < in.size()) {
      if (in[i + 1] == '/' && strncasecmp(in.c_str() + i + 2, "script", 6) == 0) {
        out += "<\\/";
        ++i;
        continue;
      }
      if (in.compare(i, 4, "<!--") == 0) {
        out += "<\\";  // the "!--" follows
        continue;
      }
    }
    out += in[i];
  }
  return out;
}

// JSON for a <script> element: every '<' as \u003c, which JSON reads back as '<'.
std::string JsonText(const json& j) {
  const std::string text = j.dump(-1, ' ', false, json::error_handler_t::replace);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '<')
      out += "\\u003c";
    else
      out += c;
  }
  return out;
}

std::string HtmlEscape(const std::string& in) {
  std::string out;
  for (char c : in) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The template with every slot replaced by its text, in one pass, so that text put
// in one slot is never searched for another slot's name.
std::string FillSlots(const std::string& page, const std::vector<std::pair<std::string, std::string>>& texts) {
  std::string out;
  size_t at = 0;
  while (true) {
    size_t best = std::string::npos;
    const std::pair<std::string, std::string>* which = nullptr;
    for (const auto& t : texts) {
      const size_t i = page.find(t.first, at);
      if (i < best) {
        best = i;
        which = &t;
      }
    }
    if (which == nullptr) break;
    out.append(page, at, best - at);
    out += which->second;
    at = best + which->first.size();
  }
  out.append(page, at, std::string::npos);
  return out;
}

std::string WorkName(const Sim& s) { return s.WORK1 == '1' ? "Sphere" : "Cylinder"; }

}  // namespace

json ReplayData(const Sim& s) {
  const Model& m = s.model();
  const bool builtIn = s.HAND1 >= 1 && s.HAND1 <= 4;
  const int nF = s.nF() >= 1 && s.nF() < kSlots ? s.nF() : 0;
  const bool sphere = s.WORK1 == '1';
  json d;
  d["format"] = 1;
  d["hand"] = {{"number", s.HAND1},
               {"label", builtIn ? kHandLabel[s.HAND1] : "H=file:" + m.name},
               {"fingers", nF},
               {"joints", s.nJ()},
               {"linkRadius", m.aFin},
               {"linkLength", m.lFin},
               {"jointRadius", m.rRjnt},
               {"jointLength", m.lRjnt},
               {"palmRadius", m.rPalm},
               {"palmThickness", m.hPalm}};
  d["work"] = {{"kind", sphere ? "sphere" : "cylinder"},
               {"label", "W=" + WorkName(s)},
               {"radius", sphere ? m.aSph : m.aCyl},
               {"length", sphere ? 0.0 : m.hCyl}};
  const TrajectoryTable t = Trajectory(s);
  d["columns"] = t.names;
  d["integerColumns"] = t.integerColumns;
  json table = json::array();
  const size_t cols = t.names.size();
  for (int n = 0; n < t.rows; ++n) {
    json row = json::array();
    for (size_t c = 0; c < cols; ++c) {
      const double v = t.values[static_cast<size_t>(n) * cols + c];
      if (c < static_cast<size_t>(t.integerColumns))
        row.push_back(static_cast<long long>(v));
      else
        row.push_back(std::isfinite(v) ? json(v) : json(nullptr));
    }
    table.push_back(std::move(row));
  }
  d["table"] = std::move(table);
  // the text columns (the finger gaits since the row before), one array of rows each
  for (size_t c = 0; c < t.textNames.size(); ++c) {
    json texts = json::array();
    for (int n = 0; n < t.rows; ++n) texts.push_back(t.text[n * t.textNames.size() + c]);
    d[t.textNames[c]] = std::move(texts);
  }
  json geometry = json::array();
  const bool posable = nF > 0 && s.nJ() >= 3 && s.nJ() <= kSlots - 2;
  for (int m = 0; m < t.rows; ++m) {
    json fingers = json::array();
    if (posable)
      for (int kf = 1; kf <= nF; ++kf) fingers.push_back(FingerOfRow(s, m, kf));
    geometry.push_back(std::move(fingers));
  }
  d["geometry"] = std::move(geometry);
  d["end"] = {{"letter", std::string(1, s.sgnMANIP ? s.sgnMANIP : ' ')},
              {"message", MotionMessage(s)},
              {"finger", StatusFinger(s)},
              {"steps", s.cntManip0},
              {"t", s.ManipTime}};
  // the window's camera: its fixed eye (14 cos 0.2, 14 sin 0.2, 8) in drawing
  // units, 50 length units each, looking at the origin with z up; and the run's view
  // turns (degrees) and shift of mode I
  d["camera"] = {{"eye", {700.0 * std::cos(0.2), 700.0 * std::sin(0.2), 400.0}},
                 {"target", {0.0, 0.0, 0.0}},
                 {"up", {0.0, 0.0, 1.0}},
                 {"fov", 30.0},
                 {"turn", {s.rot[0], s.rot[1], s.rot[2]}},
                 {"shift", {s.trans[0] * 50.0, s.trans[1] * 50.0, s.trans[2] * 50.0}}};
  return d;
}

bool FindViewerAssets(ViewerAssets* out, std::string* why) {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("RG_VIEWER_DIR"); env != nullptr && *env != '\0') {
    dirs.push_back(env);
  } else {
    const std::string exe = ProgramDir();
    if (!exe.empty()) dirs.push_back(exe + "/viewer");
    if (*RG_VIEWER_DIR != '\0' && RG_VIEWER_DIR != (exe + "/viewer")) dirs.push_back(RG_VIEWER_DIR);
  }
  std::string tried;
  for (const std::string& dir : dirs) {
    std::string missing;
    if (LoadFrom(dir, out, &missing)) return true;
    tried += (tried.empty() ? "" : ", ") + missing;
  }
  *why = "the replay viewer's files are missing (" + (tried.empty() ? "no folder to look in" : tried) +
         "); the build fetches three.js into its viewer/ folder (target viewer_assets, needs npm "
         "once), or set RG_VIEWER_DIR to such a folder";
  return false;
}

std::string ReplayHtml(const Sim& s, const ViewerAssets& a) {
  const json data = ReplayData(s);
  const std::string title = "rollgrasp replay: " + data["hand"]["label"].get<std::string>() + ", " +
                            WorkName(s) + ", " + std::to_string(data["table"].size()) + " rows";
  return FillSlots(a.page, {{"@@TITLE@@", HtmlEscape(title)},
                            {"@@DATA@@", JsonText(data)},
                            {"@@THREE@@", ScriptText(a.three)},
                            {"@@ORBIT@@", ScriptText(a.orbit)},
                            {"@@LICENCE@@", ScriptText("three.js " + a.version + "\n\n" + a.licence)},
                            {"@@VIEWER@@", ScriptText(a.script)}});
}

bool WriteReplayHtml(const Sim& s, const std::string& path, std::string* why) {
  if (RecordLength(s) == 0) {
    *why = std::string(kNoRecord);
    return false;
  }
  ViewerAssets assets;
  if (!FindViewerAssets(&assets, why)) return false;
  return WriteFileWhole(path, ReplayHtml(s, assets), why);
}

}  // namespace rg
