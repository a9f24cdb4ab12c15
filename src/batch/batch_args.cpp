#include "batch/batch_args.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/scene.h"
#include "numerics/text_number.h"

namespace rgbatch {
namespace {

const char* const kUsage =
    "usage: rollgrasp-batch [--hand FILE.urdf] [--scene FILE.json] [--save-scene FILE.json] "
    "[--sphere-radius R] [--cylinder-radius R] [--cylinder-height H] [--state FILE] [--trajectory FILE.csv] [--snapshot FILE.png] "
    "[--frames DIR] [--html FILE.html] [--show PARTS] [--hide PARTS] [--zoom Z] [--pan X,Y] [--friction MU] [--torsion T] [--contact point|soft] [--cone-edges M] "
    "[--goal RX,RY,RZ[,X,Y,Z]] [--plan-steps N] [--seed N] [--plan-time SECONDS] [--progress] "
    "[--state-every N | --state-last] [--state-volume] [--summary] (KEYS | --keys-file FILE)\n";

const char* const kHelp =
    "Runs the rollgrasp start-up, then feeds KEYS to the keyboard machine one by one.\n"
    "  --hand FILE.urdf      run the hand described in FILE (docs/hands.md) instead of\n"
    "                        built-in hand 1; H 1..4 still selects a built-in hand\n"
    "  --state FILE          JSON Lines: the state after the start-up and after every key\n"
    "  --state-every N       ... only after the start-up, every N-th key and the last key\n"
    "  --state-last          ... only after the last key (one line)\n"
    "  --state-volume        every state line's quality with its volume (Qhull's whole\n"
    "                        hull: about 1 ms for contacts not judged before); without it\n"
    "                        the volume is null\n"
    "  --summary             a last line on standard error: the status, steps, time, message\n"
    "  --trajectory FILE.csv the stored rows of the manipulation record as CSV\n"
    "  --snapshot FILE.png   the final frame as the window draws it (needs an X display)\n"
    "  --frames DIR          the replay: DIR/frame-NNNN.png for every stored row NNNN\n"
    "                        (needs an X display)\n"
    "  --show PARTS, --hide PARTS  what the pictures of --snapshot and --frames show, as\n"
    "                        the window's keys would: a comma-separated list of help\n"
    "                        (the help table, F1; shown by default), info (the\n"
    "                        information panel, F2; hidden), contacts or traces (the\n"
    "                        contact markers, traces and work axes, F3; shown);\n"
    "                        e.g. --hide help --show info for a picture for a paper\n"
    "  --zoom Z              the pictures' camera zoomed by Z (1 = the window's start-up\n"
    "                        view, 0.25 to 8), as the mouse wheel does\n"
    "  --pan X,Y             the pictures' camera moved across the view by X, Y view\n"
    "                        heights (right, up; -100 to 100), as a right drag does\n"
    "  --html FILE.html      the run as one web page: every stored row replayed in 3-D\n"
    "                        with three.js, self-contained (opens offline in a browser)\n"
    "  --keys-file FILE      every byte of FILE is one key (at most 4 MiB)\n"
    "  --friction MU         grasp quality: Coulomb friction coefficient (default 0.5)\n"
    "  --torsion T           grasp quality: soft-finger torsional friction, a fraction of\n"
    "                        the work's radius (default 0.1)\n"
    "  --contact point|soft  grasp quality: contact model (default soft)\n"
    "  --cone-edges M        grasp quality: edges of the linearised friction cone (default 8)\n"
    "  --goal RX,RY,RZ[,X,Y,Z] the goal pose of the work relative to its grasp pose: turns\n"
    "                        (degrees) about its own x, y, z axes in turn, then a shift\n"
    "                        of its mid-point (length units, hand frame). Key B enters\n"
    "                        the goal mode (x X y Y z Z p P q Q r R move the goal), s\n"
    "                        plans a path to it from the current state; key C, then s\n"
    "                        per step, follows the path. The outcome is the state's plan\n"
    "  --plan-steps N        the rolling steps a plan may spend (default 60000 over the\n"
    "                        hand's fingers: 30000 for two, 20000 for three; at most\n"
    "                        10000000); it also stops once its closest pose has not come\n"
    "                        nearer for 6000 steps\n"
    "  --seed N              the plan's random draws (default 23): the same goal, state and\n"
    "                        seed give the same path, bit for bit\n"
    "  --plan-time SECONDS   planning stops after this long at most, a safety net (default\n"
    "                        10, at most 3600)\n"
    "  --progress            planning progress on standard error\n"
    "  -h, --help            this text\n"
    "Options take their value as the next argument or after '=' (--friction=0.3); an\n"
    "empty value is refused.\n"
    "Units: one length unit for all lengths (link length 80, cylinder radius 60), angles in\n"
    "rad (goal turns in degrees), time in the manipulation's own unit: a step lasts\n"
    "dt = 0.05 unless it is retried smaller; velocities per that unit of time.\n"
    "In KEYS, \\e is Escape, \\\\ a backslash and \\xHH any byte.\n"
    "Every output file is written whole or not at all: into a temporary file beside it,\n"
    "renamed over it when the whole run has succeeded. A path that exists and is not a\n"
    "regular file (a directory, device, FIFO, socket or symbolic link) is refused.\n"
    "Exit status: 0 done, 1 an output file cannot be written, 2 bad arguments.\n";

bool StrictLong(const std::string& text, long* out) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

ParsedArgs Refuse(const std::string& why) {
  ParsedArgs r;
  r.outcome = ParseOutcome::Refused;
  r.error = Printable(why);
  return r;
}

// Two outputs given the same file would overwrite each other.
std::string SameFile(const BatchOptions& o) {
  const std::pair<const char*, const std::string*> files[] = {{"--save-scene", &o.saveScenePath},
                                                              {"--state", &o.statePath},
                                                              {"--trajectory", &o.trajectoryPath},
                                                              {"--snapshot", &o.snapshotPath},
                                                              {"--html", &o.htmlPath}};
  for (size_t i = 0; i < std::size(files); ++i)
    for (size_t j = i + 1; j < std::size(files); ++j) {
      const std::string& a = *files[i].second;
      const std::string& b = *files[j].second;
      if (!a.empty() && !b.empty() &&
          std::filesystem::path(a).lexically_normal() == std::filesystem::path(b).lexically_normal())
        return std::string(files[i].first) + " and " + files[j].first + " name the same file " + a;
    }
  return "";
}

}  // namespace

const char* BatchUsage() { return kUsage; }
const char* BatchHelp() { return kHelp; }

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

bool DecodeKeys(const std::string& in, std::string* out, std::string* err) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out->push_back(in[i]);
      continue;
    }
    if (i + 1 >= in.size()) {
      *err = "bad escape at the end of KEYS";
      return false;
    }
    const char c = in[++i];
    if (c == 'e') {
      out->push_back('\x1b');
    } else if (c == '\\') {
      out->push_back('\\');
    } else if (c == 'x' && i + 2 < in.size() && std::isxdigit(static_cast<unsigned char>(in[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(in[i + 2]))) {
      out->push_back(static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      *err = std::string("bad escape \\") + c + " in KEYS";
      return false;
    }
  }
  return true;
}

ParsedArgs ParseBatchArgs(int argc, const char* const* argv) {
  ParsedArgs r;
  BatchOptions& o = r.options;
  o.quality.model = rg::ContactModel::Soft;
  std::string keysArg;
  bool haveKeys = false;
  if (argc < 2) return Refuse("no keys given");
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    // --opt=value is --opt value
    std::string inlineValue;
    bool hasInline = false;
    if (a.size() > 2 && a[0] == '-' && a[1] == '-' && a.find('=') != std::string::npos) {
      const size_t eq = a.find('=');
      inlineValue = a.substr(eq + 1);
      a = a.substr(0, eq);
      hasInline = true;
    }
    // The option's value into *dst; "" with the refusal when it is missing or empty.
    std::string missing;
    auto value = [&](std::string* dst, const char* what) {
      if (hasInline) {
        *dst = inlineValue;
        hasInline = false;
      } else if (i + 1 < argc) {
        *dst = argv[++i];
      } else {
        missing = a + " needs " + what;
        return false;
      }
      if (dst->empty()) {
        missing = a + " needs " + what + ", not an empty value";
        return false;
      }
      return true;
    };
    const bool flag = a == "--progress" || a == "--state-last" || a == "--state-volume" ||
                      a == "--summary" || a == "-h" || a == "--help" || a == "--";
    if (flag && hasInline) return Refuse(a + " takes no value");
    if (a == "-h" || a == "--help") {
      r.outcome = ParseOutcome::Help;
      return r;
    } else if (a == "--hand") {
      if (!value(&o.handPath, "a hand description file (URDF)")) return Refuse(missing);
    } else if (a == "--scene") {
      if (!value(&o.scenePath, "a scene file (JSON)")) return Refuse(missing);
    } else if (a == "--save-scene") {
      if (!value(&o.saveScenePath, "a file name")) return Refuse(missing);
    } else if (rg::IsWorkSizeOption(a)) {
      std::string v, err;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!rg::ParseWorkSizeOption(a, v, &o.sizes, &err)) return Refuse(err);
      o.haveSizes = true;
    } else if (a == "--state") {
      if (!value(&o.statePath, "a file name")) return Refuse(missing);
    } else if (a == "--trajectory") {
      if (!value(&o.trajectoryPath, "a file name")) return Refuse(missing);
    } else if (a == "--snapshot") {
      if (!value(&o.snapshotPath, "a file name")) return Refuse(missing);
    } else if (a == "--html") {
      if (!value(&o.htmlPath, "a file name")) return Refuse(missing);
    } else if (a == "--frames") {
      if (!value(&o.framesDir, "a folder name")) return Refuse(missing);
    } else if (a == "--keys-file") {
      if (!value(&o.keysFile, "a file name")) return Refuse(missing);
    } else if (a == "--show" || a == "--hide") {
      std::string v, err;
      if (!value(&v, "a list of parts")) return Refuse(missing);
      if (!rg::ApplyShowHide(v.c_str(), a == "--show", o.view, &err)) return Refuse(a + ": " + err);
    } else if (a == "--zoom") {
      std::string v;
      double z = 0.0;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!rg::ParseFiniteNumber(v, &z) || !(z >= rg::kZoomMin && z <= rg::kZoomMax))
        return Refuse("--zoom needs a number from 0.25 to 8, not '" + v + "'");
      o.view.cam.zoom = z;
    } else if (a == "--pan") {
      std::string v;
      if (!value(&v, "a value")) return Refuse(missing);
      const size_t comma = v.find(',');
      double x = 0.0, y = 0.0;
      if (comma == std::string::npos || !rg::ParseFiniteNumber(v.substr(0, comma), &x) ||
          !rg::ParseFiniteNumber(v.substr(comma + 1), &y) || std::fabs(x) > kMaxPan || std::fabs(y) > kMaxPan)
        return Refuse("--pan needs two numbers X,Y from -100 to 100, not '" + v + "'");
      o.view.cam.panX = x;
      o.view.cam.panY = y;
    } else if (rg::IsQualityOption(a)) {
      std::string v, err;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!rg::ParseQualityOption(a, v, &o.quality, &err)) return Refuse(err);
      o.qualityArgs.emplace_back(a, v);
    } else if (a == "--goal") {
      std::string v, err;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!rg::ParseGoal(v, &o.goal, &err)) return Refuse("--goal: " + err);
      o.haveGoal = true;
    } else if (a == "--plan-time") {
      std::string v;
      if (!value(&v, "a value")) return Refuse(missing);
      std::string range;
      if (!rg::ParseFiniteNumber(v, &o.planTime) || !rg::PlanTimeValid(o.planTime, &range))
        return Refuse("--plan-time needs " + range + ", not '" + v + "'");
    } else if (a == "--plan-steps") {
      std::string v, range;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!StrictLong(v, &o.planSteps) || !rg::PlanStepsValid(o.planSteps, &range))
        return Refuse("--plan-steps needs " + range + ", not '" + v + "'");
    } else if (a == "--seed") {
      std::string v;
      long seed = 0;
      if (!value(&v, "a value")) return Refuse(missing);
      if (!StrictLong(v, &seed) || seed < 0 || seed > 4294967295L)
        return Refuse("--seed needs a whole number from 0 to 4294967295, not '" + v + "'");
      o.seed = static_cast<unsigned>(seed);
      o.haveSeed = true;
    } else if (a == "--progress") {
      o.progress = true;
    } else if (a == "--state-every") {
      std::string v;
      if (!value(&v, "a number of keys")) return Refuse(missing);
      if (!StrictLong(v, &o.stateEvery) || o.stateEvery < 1)
        return Refuse("--state-every needs a whole number of keys, 1 or more, not '" + v + "'");
    } else if (a == "--state-last") {
      o.stateEvery = 0;
    } else if (a == "--state-volume") {
      o.stateVolume = true;
    } else if (a == "--summary") {
      o.summary = true;
    } else if (a == "--") {
      if (i + 1 < argc) {
        if (haveKeys) return Refuse("more than one KEYS argument");
        keysArg = argv[++i];
        haveKeys = true;
      }
      if (i + 1 < argc) return Refuse("more than one KEYS argument");
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return Refuse("unknown option " + a);
    } else {
      if (haveKeys) return Refuse("more than one KEYS argument");
      keysArg = a;
      haveKeys = true;
    }
  }
  if (haveKeys && !o.keysFile.empty()) return Refuse("give either KEYS or --keys-file, not both");
  if (const std::string same = SameFile(o); !same.empty()) return Refuse(same);
  // a scene sets the hand and the works' sizes up with its pose and angles: another
  // hand or size would throw those away
  if (!o.scenePath.empty() && !o.handPath.empty())
    return Refuse("--hand and --scene both choose the hand: give one (a scene names its hand)");
  if (!o.scenePath.empty() && o.haveSizes)
    return Refuse("the work size options and --scene both set the sizes: give one (edit the scene's work_sizes)");
  if (haveKeys) {
    std::string err;
    if (!DecodeKeys(keysArg, &o.keys, &err)) return Refuse(err);
  }
  r.outcome = ParseOutcome::Run;
  return r;
}

}  // namespace rgbatch
