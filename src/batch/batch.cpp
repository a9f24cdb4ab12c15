// rollgrasp-batch: the simulator's keyboard machine driven by a key string,
// without a window. It runs the same start-up as rollgrasp, feeds the keys one
// by one, answers console waits at once, and can write the state after every
// key as JSON Lines.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/export.h"
#include "app/hand_choice.h"
#include "app/html_export.h"
#include "app/script.h"
#include "app/keyboard.h"
#include "core/state.h"
#include "plan/plan.h"
#include "record/report.h"
#include "batch/render_loader.h"

namespace {

using nlohmann::json;

const char* const kUsage =
    "usage: rollgrasp-batch [--hand FILE.urdf] [--state FILE] [--trajectory FILE.csv] [--snapshot FILE.png] "
    "[--frames DIR] [--html FILE.html] [--show PARTS] [--hide PARTS] [--zoom Z] [--pan X,Y] [--friction MU] [--torsion T] [--contact point|soft] [--cone-edges M] "
    "[--goal RX,RY,RZ[,X,Y,Z]] [--plan-time SECONDS] [--progress] "
    "[--state-every N | --state-last] [--summary] (KEYS | --keys-file FILE)\n";

const char* const kHelp =
    "Runs the rollgrasp start-up, then feeds KEYS to the keyboard machine one by one.\n"
    "  --hand FILE.urdf      run the hand described in FILE (docs/hands.md) instead of\n"
    "                        built-in hand 1; H 1..4 still selects a built-in hand\n"
    "  --state FILE          JSON Lines: the state after the start-up and after every key\n"
    "  --state-every N       ... only after the start-up, every N-th key and the last key\n"
    "  --state-last          ... only after the last key (one line)\n"
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
    "                        view, up to 8), as the mouse wheel does\n"
    "  --pan X,Y             the pictures' camera moved across the view by X, Y view\n"
    "                        heights (right, up), as a right drag does\n"
    "  --html FILE.html      the run as one web page: every stored row replayed in 3-D\n"
    "                        with three.js, self-contained (opens offline in a browser)\n"
    "  --keys-file FILE      every byte of FILE is one key\n"
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
    "  --plan-time SECONDS   planning stops after this long (default 10)\n"
    "  --progress            planning progress on standard error\n"
    "  -h, --help            this text\n"
    "Options take their value as the next argument or after '=' (--friction=0.3).\n"
    "Units: one length unit for all lengths (link length 80, cylinder radius 60), angles in\n"
    "rad (goal turns in degrees), time in the manipulation's own unit: a step lasts\n"
    "dt = 0.05 unless it is retried smaller; velocities per that unit of time.\n"
    "In KEYS, \\e is Escape, \\\\ a backslash and \\xHH any byte.\n"
    "Exit status: 0 done, 1 an output file cannot be written, 2 bad arguments.\n";

// Opens an output file for writing (nullptr when no path is given); a file that
// cannot be written is reported and clears *ok.
std::FILE* OpenOutput(const std::string& path, bool* ok) {
  if (path.empty()) return nullptr;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "rollgrasp-batch: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    *ok = false;
  }
  return f;
}

int UsageError(const std::string& why) {
  std::fprintf(stderr, "rollgrasp-batch: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// Decodes KEYS: "\e" is Escape, "\\" a backslash, "\xHH" any byte.
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

// Writes one whole line or nothing.
bool WriteLine(std::FILE* f, const json& o) {
  const std::string line = o.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  return std::fwrite(line.data(), 1, line.size(), f) == line.size() && std::fflush(f) == 0;
}

// Reads a whole regular file (or a pipe); false with *why for anything else: a
// directory, a missing or unreadable file, a read error.
bool ReadFile(const std::string& path, std::string* out, std::string* why) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *why = "it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = std::strerror(errno);
    return false;
  }
  try {
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception& e) {
    *why = e.what();
    return false;
  }
  if (in.bad()) {
    *why = "read error";
    return false;
  }
  return true;
}

// The replay as pictures: DIR/frame-NNNN.png for every stored row NNNN, each
// drawn like --snapshot. The replay is typed on a copy of the final state ('D',
// then 's' before each further row), so the run's own state stays as it ended.
int WriteFrames(const rgbatch::Renderer& r, const rg::Sim& s, const rg::WindowView& view,
                const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "rollgrasp-batch: cannot make the folder %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 1;
  }
  if (rg::RecordLength(s) == 0) {
    std::fprintf(stderr, "rollgrasp-batch: --frames: %s\n", rg::kNoRecord);
    return 1;
  }
  auto replay = std::make_unique<rg::Sim>(s);
  replay->redraw = nullptr;
  rg::keyboard(*replay, 'D', 0, 0);
  // a run left in mode I over a replay would resume it; the frames start at row 0
  replay->cntRepeat = 0;
  for (int m = 0; m < rg::RecordLength(*replay); ++m) {
    if (m > 0) rg::keyboard(*replay, 's', 0, 0);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%04d.png", m);
    if (r.snapshotPng(replay.get(), &view, (dir + name).c_str()) != 0) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string statePath, keysFile, keysArg, snapshotPath, trajectoryPath, framesDir, htmlPath, handPath;
  bool haveKeys = false, haveKeysFile = false, progress = false, haveGoal = false;
  rg::GoalPose goal;
  double planTime = 10.0;
  rg::QualitySettings quality;
  quality.model = rg::ContactModel::Soft;
  long stateEvery = 1;  // 0: the last state only
  bool summary = false;
  rg::WindowView view;  // what the pictures show: the window's start-up view
  if (argc < 2) return UsageError("no keys given");
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
    auto value = [&](std::string* dst) {
      if (hasInline) {
        *dst = inlineValue;
        hasInline = false;
        return true;
      }
      if (i + 1 >= argc) return false;
      *dst = argv[++i];
      return true;
    };
    const bool flag = a == "--progress" || a == "--state-last" || a == "--summary" ||
                      a == "-h" || a == "--help";
    if (flag && hasInline) return UsageError(a + " takes no value");
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--hand") {
      if (!value(&handPath)) return UsageError("--hand needs a hand description file (URDF)");
    } else if (a == "--state") {
      if (!value(&statePath)) return UsageError("--state needs a file name");
    } else if (a == "--trajectory") {
      if (!value(&trajectoryPath)) return UsageError("--trajectory needs a file name");
    } else if (a == "--snapshot") {
      if (!value(&snapshotPath)) return UsageError("--snapshot needs a file name");
    } else if (a == "--html") {
      if (!value(&htmlPath)) return UsageError("--html needs a file name");
    } else if (a == "--frames") {
      if (!value(&framesDir)) return UsageError("--frames needs a folder name");
    } else if (a == "--show" || a == "--hide") {
      std::string v, err;
      if (!value(&v)) return UsageError(a + " needs a list of parts");
      if (!rg::ApplyShowHide(v.c_str(), a == "--show", view, &err)) return UsageError(a + ": " + err);
    } else if (a == "--zoom") {
      std::string v;
      if (!value(&v)) return UsageError("--zoom needs a value");
      char* end = nullptr;
      const double z = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(z >= rg::kZoomMin && z <= rg::kZoomMax))
        return UsageError("--zoom needs a number from 0.25 to 8");
      view.cam.zoom = z;
    } else if (a == "--pan") {
      std::string v;
      if (!value(&v)) return UsageError("--pan needs a value");
      double x = 0.0, y = 0.0;
      char tail = '\0';
      if (std::sscanf(v.c_str(), "%lf,%lf%c", &x, &y, &tail) != 2 || !std::isfinite(x) ||
          !std::isfinite(y))
        return UsageError("--pan needs two numbers X,Y");
      view.cam.panX = x;
      view.cam.panY = y;
    } else if (rg::IsQualityOption(a)) {
      std::string v, err;
      if (!value(&v)) return UsageError(a + " needs a value");
      if (!rg::ParseQualityOption(a, v, &quality, &err)) return UsageError(err);
    } else if (a == "--goal") {
      std::string v, err;
      if (!value(&v)) return UsageError("--goal needs a value");
      if (!rg::ParseGoal(v, &goal, &err)) return UsageError("--goal: " + err);
      haveGoal = true;
    } else if (a == "--plan-time") {
      std::string v;
      if (!value(&v)) return UsageError("--plan-time needs a value");
      char* end = nullptr;
      planTime = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(planTime > 0.0) || !std::isfinite(planTime))
        return UsageError("--plan-time needs a positive number of seconds");
    } else if (a == "--progress") {
      progress = true;
    } else if (a == "--state-every") {
      std::string v;
      if (!value(&v)) return UsageError("--state-every needs a number of keys");
      char* end = nullptr;
      stateEvery = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || stateEvery < 1)
        return UsageError("--state-every needs a whole number of keys, 1 or more");
    } else if (a == "--state-last") {
      stateEvery = 0;
    } else if (a == "--summary") {
      summary = true;
    } else if (a == "--keys-file") {
      if (!value(&keysFile)) return UsageError("--keys-file needs a file name");
      haveKeysFile = true;
    } else if (a == "--") {
      if (i + 1 < argc) {
        keysArg = argv[++i];
        haveKeys = true;
      }
      if (i + 1 < argc) return UsageError("more than one KEYS argument");
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return UsageError("unknown option " + a);
    } else {
      if (haveKeys) return UsageError("more than one KEYS argument");
      keysArg = a;
      haveKeys = true;
    }
  }
  if (haveKeys && haveKeysFile) return UsageError("give either KEYS or --keys-file, not both");

  std::string keys;
  if (haveKeysFile) {
    std::string why;
    if (!ReadFile(keysFile, &keys, &why)) return UsageError("cannot read keys file " + keysFile + ": " + why);
  } else if (haveKeys) {
    std::string err;
    if (!DecodeKeys(keysArg, &keys, &err)) return UsageError(err);
  }

  // The drawing code is loaded only for a picture.
  rgbatch::Renderer renderer;
  if (!snapshotPath.empty() || !framesDir.empty()) {
    const char* option = snapshotPath.empty() ? "--frames" : "--snapshot";
    std::string why;
    if (!rgbatch::LoadRenderer(&renderer, &why)) {
      std::fprintf(stderr, "rollgrasp-batch: %s: %s\n", option, why.c_str());
      return 1;
    }
    char reason[256] = "";
    if (!renderer.displayAvailable(reason, sizeof reason)) {
      std::fprintf(stderr, "rollgrasp-batch: %s needs an X display (%s); run it under xvfb-run -a\n",
                   option, reason);
      return 1;
    }
  }

  // The page's viewer files are looked for before the run, so that a build without
  // them fails at once.
  if (!htmlPath.empty()) {
    rg::ViewerAssets assets;
    std::string why;
    if (!rg::FindViewerAssets(&assets, &why)) {
      std::fprintf(stderr, "rollgrasp-batch: --html: %s\n", why.c_str());
      return 1;
    }
  }

  // Output files are opened before the run so that an unwritable path fails at once.
  bool opened = true;
  std::FILE* trajectoryOut = OpenOutput(trajectoryPath, &opened);
  std::FILE* stateOut = OpenOutput(statePath, &opened);
  if (!opened) return 1;

  // console waits are answered at once; the text of each key goes into its state
  // line and then to standard output
  rg::KeyDriver driver;
  driver.sim().qualitySettings = quality;
  if (haveGoal) driver.sim().plan.goal = goal;
  if (!handPath.empty()) {
    std::string why;
    if (!rg::UseHandFile(driver.sim(), handPath, &why)) {
      std::fprintf(stderr, "rollgrasp-batch: %s\n", why.c_str());
      return 2;
    }
  }
  driver.sim().plan.timeLimit = planTime;
  if (progress)
    driver.sim().plan.progress = [](double fraction, double best) {
      std::fprintf(stderr, "planning %3.0f%%  goal error %.3g\n", 100.0 * fraction, best);
    };
  const rg::Sim& s = driver.sim();
  auto passOn = [&driver] {
    const std::string& console = driver.console();
    std::fwrite(console.data(), 1, console.size(), stdout);
    std::fflush(stdout);
  };
  passOn();

  int status = 0;
  auto emit = [&]() {
    if (stateOut == nullptr) return true;
    if (!WriteLine(stateOut, driver.State())) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
      status = 1;
      return false;
    }
    return true;
  };

  // the state after the start-up, then after every key (or every N-th, or only the
  // last): a line is written only when it is wanted, so a long run writes little
  bool written = stateEvery == 0 && !keys.empty() ? true : emit();
  for (size_t n = 0; written && n < keys.size(); ++n) {
    const bool quit = driver.Press(static_cast<unsigned char>(keys[n]));
    passOn();
    const bool last = quit || n + 1 == keys.size();
    if (last || (stateEvery > 0 && (n + 1) % static_cast<size_t>(stateEvery) == 0))
      written = emit();
    if (quit) break;
  }
  if (summary) {
    const std::string message = rg::StatusMessage(s);
    std::fprintf(stderr, "rollgrasp-batch: mode %c, sgnMANIP %c, %d steps, t = %.6g%s%s\n",
                 s.sgnCAL, s.sgnMANIP, s.cntManip0, s.ManipTime, message.empty() ? "" : ": ",
                 message.c_str());
  }

  if (trajectoryOut != nullptr) {
    const std::string csv = rg::TrajectoryCsv(s);
    const bool ok = std::fwrite(csv.data(), 1, csv.size(), trajectoryOut) == csv.size();
    if ((std::fclose(trajectoryOut) != 0 || !ok) && status == 0) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", trajectoryPath.c_str());
      status = 1;
    }
  }
  if (status == 0 && !snapshotPath.empty() && renderer.snapshotPng(&s, &view, snapshotPath.c_str()) != 0)
    status = 1;
  if (status == 0 && !framesDir.empty() && WriteFrames(renderer, s, view, framesDir) != 0) status = 1;
  if (status == 0 && !htmlPath.empty()) {
    std::string why;
    if (!rg::WriteReplayHtml(s, htmlPath, &why)) {
      std::fprintf(stderr, "rollgrasp-batch: --html: %s\n", why.c_str());
      status = 1;
    }
  }
  if (stateOut != nullptr && std::fclose(stateOut) != 0 && status == 0) {
    std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
    status = 1;
  }
  return status;
}
