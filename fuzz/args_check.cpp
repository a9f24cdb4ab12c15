#include "args_check.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "batch/batch_args.h"

namespace rgfuzz {
namespace {

using rgbatch::BatchOptions;
using rgbatch::ParseOutcome;

std::string Num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

bool OneCleanLine(const std::string& text) {
  if (text.empty()) return false;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// o's options as one command line in the long form with '=': what the parse
// accepted, written out again.
std::vector<std::string> Canonical(const BatchOptions& o) {
  std::vector<std::string> a;
  const std::pair<const char*, const std::string*> paths[] = {
      {"--hand=", &o.handPath},   {"--state=", &o.statePath}, {"--trajectory=", &o.trajectoryPath},
      {"--snapshot=", &o.snapshotPath}, {"--html=", &o.htmlPath}, {"--frames=", &o.framesDir},
      {"--keys-file=", &o.keysFile}};
  for (const auto& [option, path] : paths)
    if (!path->empty()) a.push_back(option + *path);
  if (o.stateEvery == 0)
    a.push_back("--state-last");
  else
    a.push_back("--state-every=" + std::to_string(o.stateEvery));
  if (o.summary) a.push_back("--summary");
  if (o.progress) a.push_back("--progress");
  if (o.haveGoal)
    a.push_back("--goal=" + Num(o.goal.rx) + "," + Num(o.goal.ry) + "," + Num(o.goal.rz) + "," + Num(o.goal.x) +
                "," + Num(o.goal.y) + "," + Num(o.goal.z));
  a.push_back("--plan-time=" + Num(o.planTime));
  if (o.planSteps > 0) a.push_back("--plan-steps=" + std::to_string(o.planSteps));
  a.push_back("--seed=" + std::to_string(o.seed));
  a.push_back("--friction=" + Num(o.quality.mu));
  a.push_back("--torsion=" + Num(o.quality.torsion));
  a.push_back("--cone-edges=" + std::to_string(o.quality.cone_edges));
  a.push_back(std::string("--contact=") + (o.quality.model == rg::ContactModel::Soft ? "soft" : "point"));
  a.push_back(std::string(o.view.help ? "--show" : "--hide") + "=help");
  a.push_back(std::string(o.view.info ? "--show" : "--hide") + "=info");
  a.push_back(std::string(o.view.traces ? "--show" : "--hide") + "=contacts");
  a.push_back("--zoom=" + Num(o.view.cam.zoom));
  a.push_back("--pan=" + Num(o.view.cam.panX) + "," + Num(o.view.cam.panY));
  if (o.keysFile.empty()) {
    std::string keys;
    for (char c : o.keys) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
      keys += buf;
    }
    a.push_back("--");
    a.push_back(keys);
  }
  return a;
}

bool Same(const BatchOptions& p, const BatchOptions& q) {
  return p.handPath == q.handPath && p.statePath == q.statePath && p.trajectoryPath == q.trajectoryPath &&
         p.snapshotPath == q.snapshotPath && p.htmlPath == q.htmlPath && p.framesDir == q.framesDir &&
         p.keysFile == q.keysFile && p.keys == q.keys && p.stateEvery == q.stateEvery &&
         p.summary == q.summary && p.progress == q.progress && p.haveGoal == q.haveGoal &&
         (!p.haveGoal || (p.goal.rx == q.goal.rx && p.goal.ry == q.goal.ry && p.goal.rz == q.goal.rz &&
                          p.goal.x == q.goal.x && p.goal.y == q.goal.y && p.goal.z == q.goal.z)) &&
         p.planTime == q.planTime && p.planSteps == q.planSteps && p.seed == q.seed &&
         p.quality.model == q.quality.model && p.quality.mu == q.quality.mu &&
         p.quality.torsion == q.quality.torsion && p.quality.cone_edges == q.quality.cone_edges &&
         p.view.help == q.view.help && p.view.info == q.view.info && p.view.traces == q.view.traces &&
         p.view.cam.zoom == q.view.cam.zoom && p.view.cam.panX == q.view.cam.panX &&
         p.view.cam.panY == q.view.cam.panY;
}

rgbatch::ParsedArgs Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"rollgrasp-batch"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return rgbatch::ParseBatchArgs(static_cast<int>(argv.size()), argv.data());
}

std::string Ranges(const BatchOptions& o) {
  if (!(o.view.cam.zoom >= rg::kZoomMin && o.view.cam.zoom <= rg::kZoomMax)) return "zoom out of range";
  if (!(std::fabs(o.view.cam.panX) <= rgbatch::kMaxPan && std::fabs(o.view.cam.panY) <= rgbatch::kMaxPan))
    return "pan out of range";
  if (o.view.cam.yaw != 0.0 || o.view.cam.pitch != 0.0) return "the camera turned";
  std::string why;
  if (!rg::QualitySettingsValid(o.quality, &why)) return "quality settings accepted invalid: " + why;
  if (o.stateEvery < 0) return "negative --state-every";
  if (!(o.planTime > 0.0 && o.planTime <= rg::kMaxPlanSeconds)) return "plan time out of range";
  // 0: none given, the hand's default
  if (o.planSteps < 0 || o.planSteps > rg::kMaxPlanSteps) return "plan steps out of range";
  const double g[6] = {o.goal.rx, o.goal.ry, o.goal.rz, o.goal.x, o.goal.y, o.goal.z};
  for (double v : g)
    if (!std::isfinite(v)) return "a goal number is not finite";
  if (!o.keysFile.empty() && !o.keys.empty()) return "both KEYS and a keys file";
  return "";
}

}  // namespace

std::string CheckBatchArgs(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string cur;
  for (size_t i = 0; i < size && static_cast<int>(args.size()) < kMaxArgs; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  if (!cur.empty() && static_cast<int>(args.size()) < kMaxArgs) args.push_back(cur);

  const rgbatch::ParsedArgs r = Parse(args);
  const rgbatch::ParsedArgs again = Parse(args);
  if (again.outcome != r.outcome || again.error != r.error) return "two parses of one line differ";
  switch (r.outcome) {
    case ParseOutcome::Refused:
      if (!OneCleanLine(r.error)) return "a refusal that is not one clean line: " + rgbatch::Printable(r.error);
      return "";
    case ParseOutcome::Help:
      for (const std::string& a : args)
        if (a == "-h" || a == "--help") return "";
      return "help without -h or --help";
    case ParseOutcome::Run:
      break;
  }
  if (const std::string bad = Ranges(r.options); !bad.empty()) return bad;
  const rgbatch::ParsedArgs canon = Parse(Canonical(r.options));
  if (canon.outcome != ParseOutcome::Run) return "its canonical form is refused: " + canon.error;
  if (!Same(r.options, canon.options)) return "its canonical form means something else";
  return "";
}

}  // namespace rgfuzz
