#include "sanity.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "app/export.h"
#include "app/html_export.h"
#include "record/report.h"

namespace rgfuzz {
namespace {

bool In(char c, const char* set, bool zeroAllowed = false) {
  if (c == '\0') return zeroAllowed;
  return std::strchr(set, c) != nullptr;
}

std::string Flag(const char* name, char c) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s has value %d", name, static_cast<int>(static_cast<unsigned char>(c)));
  return buf;
}

bool Finite(const double* a, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(a[i])) return false;
  return true;
}

}  // namespace

std::string CheckSane(const rg::Sim& s) {
  using rg::kSlots;
  if (!In(s.sgnCAL, "IHWMVJGADBC")) return Flag("sgnCAL", s.sgnCAL);
  if (!In(s.sgnCALold, "IHWMVJGADBCN", true)) return Flag("sgnCALold", s.sgnCALold);
  if (!In(s.sgnCALS, "SN")) return Flag("sgnCALS", s.sgnCALS);
  if (!In(s.sgnCALGEnd, "YN")) return Flag("sgnCALGEnd", s.sgnCALGEnd);
  if (!In(s.sgnGRASP, "YN")) return Flag("sgnGRASP", s.sgnGRASP);
  if (!In(s.sgnCALGChk, "YFC")) return Flag("sgnCALGChk", s.sgnCALGChk);
  if (!In(s.sgnMANIP, "YFDOCR")) return Flag("sgnMANIP", s.sgnMANIP);
  if (!In(s.sgnGC, "FC", true)) return Flag("sgnGC", s.sgnGC);
  if (!In(s.sgnCalColl, "yn")) return Flag("sgnCalColl", s.sgnCalColl);
  if (s.HAND1 < 0 || s.HAND1 > 4) return "HAND1 out of range";  // 0: a hand from a file
  if (s.WORK1 != '1' && s.WORK1 != '2') return Flag("WORK1", s.WORK1);
  if (s.nF() != s.model().nF || s.nJ() != s.model().nJ) return "nF/nJ differ from the hand";
  if (s.HAND1 >= 1 && s.model().nF != rg::kNfin[s.HAND1]) return "built-in hand with another model";
  if (s.nFIN < 0 || s.nFIN > s.nF()) return "nFIN out of range";
  if (s.cntMainip1 < 0 || s.cntMainip1 >= rg::kRows) return "cntMainip1 out of range";
  if (s.cntManip0 < 0 || s.cntManip0 > rg::kDecim * rg::kRows) return "cntManip0 out of range";
  if (s.cntRepeat < 0 || s.cntRepeat > s.cntMainip1) return "cntRepeat out of range";
  if (s.cntQ < -1) return "cntQ below -1";
  if (s.COLLkf < 0 || s.COLLkf > s.nF()) return "COLLkf out of range";
  if (s.COLLlink < -1 || s.COLLlink > s.nJ() + 1) return "COLLlink out of range";
  for (int i = 0; i < 2; ++i)
    if (!In(s.sgnFJ[i], "012345", true)) return Flag("sgnFJ", s.sgnFJ[i]);
  for (int kf = 1; kf <= s.nF(); ++kf) {
    if (!In(s.sgnGRASPM[kf], "YN", true)) return Flag("sgnGRASPM", s.sgnGRASPM[kf]);
    // 'S' is the sphere work: its contacts "LS" and "TS"
    if (!In(s.sgnUML[kf], "ULMS", true)) return Flag("sgnUML", s.sgnUML[kf]);
    if (!In(s.GGTYPE[kf][0], "LTN", true) || !In(s.GGTYPE[kf][1], "LCDSN", true))
      return "GGTYPE out of its letters";
    if (!In(s.sgnC[kf], "YODL", true)) return Flag("sgnC", s.sgnC[kf]);
    // a finger is lifted off the work only from a complete grasp, and never all of them
    if (s.lifted[kf] && s.sgnCALGEnd != 'Y') return "a finger lifted without a complete grasp";
  }
  int touching = 0;
  for (int kf = 1; kf <= s.nF(); ++kf) touching += s.lifted[kf] ? 0 : 1;
  if (touching < 1) return "every finger lifted";
  if (!In(s.gait.kind, "LP", true)) return Flag("gait.kind", s.gait.kind);
  if (!In(s.gait.verdict, "YGSTHCNRF", true)) return Flag("gait.verdict", s.gait.verdict);
  if (s.gait.finger < 0 || s.gait.finger > s.nF()) return "gait finger out of range";
  if (s.nRowGaits < 0 || s.nRowGaits > rg::kMaxRowGaits) return "gaits of the next row out of range";

  struct Field {
    const char* name;
    const double* p;
    int n;
  };
  const Field fields[] = {
      {"rwG0", s.rwG0, 3},     {"EwG0", &s.EwG0[0][0], 9},     {"rwG", s.rwG, 3},
      {"EwG", &s.EwG[0][0], 9}, {"RWW", s.RWW, 3},              {"EWW", &s.EWW[0][0], 9},
      {"vw", s.vw, 3},         {"omww", s.omww, 3},             {"omw", s.omw, 3},
      {"rot", s.rot, 3},       {"trans", s.trans, 3},           {"qq0", &s.qq0[0][0], kSlots * kSlots},
      {"qf", &s.qf[0][0], kSlots * kSlots},                     {"qqa2", &s.qqa2[0][0][0], 2 * kSlots * kSlots},
      {"ManipCPNTA2", &s.ManipCPNTA2[0][0][0], 2 * kSlots * 3},  {"ManipNWA2", &s.ManipNWA2[0][0][0], 2 * kSlots * 3},
      {"ManipRW2", &s.ManipRW2[0][0], 6},                       {"ManipEW2", &s.ManipEW2[0][0][0], 18},
      {"ManipPrm2", &s.ManipPrm2[0][0].Lf, 2 * kSlots * 6},     {"ManipTS", &s.ManipTS, 1},
      {"dt", &s.dt, 1},        {"al0", &s.al0, 1},              {"bet0", &s.bet0, 1},
      {"qam0", &s.qam0, 1},
  };
  for (const Field& f : fields)
    if (!Finite(f.p, f.n)) return std::string("non-finite value in ") + f.name;
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (!Finite(s.mount(kf).base, 3)) return "non-finite finger base";
  for (int n = 0; n <= s.cntMainip1; ++n) {
    if (!Finite(&s.qqa[n][0][0], kSlots * kSlots) || !Finite(&s.ManipQ[n][0][0], kSlots * kSlots))
      return "non-finite stored joint angles";
    if (!Finite(s.ManipRW[n], 3) || !Finite(&s.ManipEW[n][0][0], 9)) return "non-finite stored work pose";
    if (!Finite(&s.Manip[n][0].Lf, kSlots * 6)) return "non-finite stored contact parameters";
    if (!Finite(&s.ManipCPNTA[n][0][0], kSlots * 3) || !Finite(&s.ManipNWA[n][0][0], kSlots * 3))
      return "non-finite stored contact";
    if (!std::isfinite(s.ManipT[n]) || !std::isfinite(s.ManipTimeRow[n])) return "non-finite stored time";
    if (n > 0 && !(s.ManipTimeRow[n] >= s.ManipTimeRow[n - 1])) return "stored time runs backwards";
  }
  return "";
}

namespace {

using nlohmann::json;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  return lines;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  for (std::string item; std::getline(ss, item, ',');) f.push_back(item);
  if (!line.empty() && line.back() == ',') f.push_back("");
  return f;
}

// The text of the first <script ... id="rg-data"> element.
bool DataOfPage(const std::string& page, std::string* data) {
  const size_t tag = page.find("id=\"rg-data\"");
  if (tag == std::string::npos) return false;
  const size_t open = page.find('>', tag);
  const size_t close = page.find("</script", open);
  if (open == std::string::npos || close == std::string::npos) return false;
  *data = page.substr(open + 1, close - open - 1);
  return true;
}

}  // namespace

std::string CheckOutputs(const rg::Sim& s, const std::string& pageTemplate) {
  const int rows = rg::RecordLength(s);  // the current record's rows
  // the state line, dumped as the batch driver does
  const json state = rg::StateObject(s, rg::KeyString('s'), "", 0);
  const std::string line = state.dump(-1, ' ', false, json::error_handler_t::replace);
  if (line.find('\n') != std::string::npos) return "a state line holds a line break";
  const json back = json::parse(line, nullptr, false);
  if (back.is_discarded()) return "the state line does not parse";
  if (back != state) return "the state line reads back as another object";

  // the trajectory CSV
  const std::string csv = rg::TrajectoryCsv(s);
  if (csv.empty() || csv.back() != '\n') return "the trajectory does not end with a line break";
  const std::vector<std::string> lines = SplitLines(csv);
  if (static_cast<int>(lines.size()) != rows + 1)
    return "the trajectory has " + std::to_string(lines.size()) + " lines for " + std::to_string(rows) +
           " stored rows";
  std::vector<std::string> names = SplitFields(lines[0]);
  // the text columns come last, each field quoted (gait: the row's finger gaits)
  const rg::TrajectoryTable table = rg::Trajectory(s);
  const size_t texts = table.textNames.size();
  if (names.size() < texts) return "the trajectory's header misses its text columns";
  for (size_t c = 0; c < texts; ++c)
    if (names[names.size() - texts + c] != table.textNames[c]) return "the text columns are not last";
  for (int n = 1; n <= rows; ++n) {
    std::vector<std::string> f = SplitFields(lines[static_cast<size_t>(n)]);
    if (f.size() != names.size())
      return "trajectory row " + std::to_string(n - 1) + " has " + std::to_string(f.size()) + " fields, the header " +
             std::to_string(names.size());
    for (size_t c = 0; c < texts; ++c) {
      const std::string& v = f[f.size() - texts + c];
      if (v != "\"" + table.text[static_cast<size_t>(n - 1) * texts + c] + "\"")
        return "trajectory row " + std::to_string(n - 1) + " has the text '" + v + "'";
    }
    f.resize(f.size() - texts);
    for (const std::string& v : f) {
      char* end = nullptr;
      const double x = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !std::isfinite(x))
        return "trajectory row " + std::to_string(n - 1) + " has the field '" + v + "'";
    }
  }

  // the replay page
  rg::ViewerAssets assets;
  assets.page = pageTemplate;
  assets.script = "const end = '</script><!-- @@DATA@@';";
  assets.three = "/* </SCRIPT > <!-- */";
  assets.orbit = "'</script'";
  assets.licence = "<!-- -->";
  assets.version = "0";
  const std::string page = rg::ReplayHtml(s, assets);
  std::string text;
  if (!DataOfPage(page, &text)) return "the page has no data element";
  const json data = json::parse(text, nullptr, false);
  if (data.is_discarded()) return "the page's data does not parse";
  // the page's table holds the CSV's numbers, row for row, and its text columns apart
  names.resize(names.size() - texts);
  for (size_t c = 0; c < texts; ++c)
    for (int n = 0; n < rows; ++n)
      if (data[table.textNames[c]][static_cast<size_t>(n)] != table.text[static_cast<size_t>(n) * texts + c])
        return "page row " + std::to_string(n) + " differs from the CSV in " + table.textNames[c];
  for (int n = 0; n < rows; ++n) {
    std::vector<std::string> f = SplitFields(lines[static_cast<size_t>(n) + 1]);
    f.resize(f.size() - texts);
    const json& row = data["table"][static_cast<size_t>(n)];
    if (!row.is_array() || row.size() != f.size()) return "page row " + std::to_string(n) + " has another width";
    for (size_t c = 0; c < f.size(); ++c)
      if (!row[c].is_number() || row[c].get<double>() != std::strtod(f[c].c_str(), nullptr))
        return "page row " + std::to_string(n) + " differs from the CSV in " + names[c];
  }
  if (data["columns"] != json(names)) return "the page's columns differ from the CSV's";
  if (data["table"].size() != static_cast<size_t>(rows) || data["geometry"].size() != static_cast<size_t>(rows))
    return "the page's table or geometry has another number of rows";
  return "";
}

}  // namespace rgfuzz
