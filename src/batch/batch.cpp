// rollgrasp-batch: the simulator's keyboard machine driven by a key string,
// without a window. It runs the same start-up as rollgrasp, feeds the keys one
// by one, answers console waits at once, and can write the state after every
// key as JSON Lines. Every output file is written whole or not at all: each goes
// into a temporary file beside it (opened before the run, so that a path that
// cannot be written fails at once), and the temporary files are renamed over
// their targets only when all of them were written; a failure or a signal
// removes them and leaves every existing file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "app/export.h"
#include "app/hand_choice.h"
#include "app/html_export.h"
#include "app/keyboard.h"
#include "app/scene.h"
#include "app/script.h"
#include "batch/batch_args.h"
#include "batch/render_loader.h"
#include "core/output_file.h"
#include "core/state.h"
#include "record/report.h"

namespace {

using nlohmann::json;

// every picture of --frames and the other outputs are open at once before the commit
static_assert(rg::kRows + 8 <= rg::kMaxTempFiles, "room for every output file");

// One line on standard error.
void Say(const std::string& text) {
  std::fprintf(stderr, "rollgrasp-batch: %s\n", rgbatch::Printable(text).c_str());
}

int UsageError(const std::string& why) {
  Say(why);
  std::fputs(rgbatch::BatchUsage(), stderr);
  return 2;
}

// Writes one whole line or nothing.
bool WriteLine(rg::OutputFile& f, const json& o) {
  return f.Write(o.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
}

// Reads a keys file (a regular file, a device or a pipe) of at most
// kMaxKeysFileBytes: no more than one byte beyond that is read. False with *why
// for a directory, a missing or unreadable file, a read error or a longer input.
bool ReadKeysFile(const std::string& path, std::string* out, std::string* why) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    *why = "it is a directory";
    return false;
  }
  out->clear();
  char buf[65536];
  while (out->size() <= rgbatch::kMaxKeysFileBytes) {
    const size_t want = std::min(sizeof buf, rgbatch::kMaxKeysFileBytes + 1 - out->size());
    const ssize_t n = read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *why = std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (out->size() > rgbatch::kMaxKeysFileBytes) {
    *why = "more than " + std::to_string(rgbatch::kMaxKeysFileBytes) + " bytes (4 MiB), the most a keys file may hold";
    return false;
  }
  return true;
}

// Why the folder of --frames cannot take the pictures, or "": it exists as a
// folder (not a symbolic link to one), or it does not exist yet.
std::string FramesDirProblem(const std::string& dir) {
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return errno == ENOENT ? "" : std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link (not followed)";
  if (!S_ISDIR(st.st_mode)) return "it is not a directory";
  return "";
}

// The output files of one run, in the order they are committed.
struct Outputs {
  struct Entry {
    const char* option;
    std::unique_ptr<rg::OutputFile> file;
  };
  std::vector<Entry> files;
  bool madeFramesDir = false;

  // Opens the temporary file for path; false after saying why.
  rg::OutputFile* Open(const char* option, const std::string& path) {
    auto f = std::make_unique<rg::OutputFile>();
    std::string why;
    if (!f->Open(path, &why)) {
      Say(std::string(option) + ": " + why);
      return nullptr;
    }
    files.push_back({option, std::move(f)});
    return files.back().file.get();
  }

  // Writes data whole into a new output and closes it; false after saying why.
  bool WriteWhole(const char* option, const std::string& path, const std::string& data) {
    rg::OutputFile* f = Open(option, path);
    if (f == nullptr) return false;
    f->Write(data);
    return Finish(option, *f);
  }

  static bool Finish(const char* option, rg::OutputFile& f) {
    std::string why;
    if (f.Finish(&why)) return true;
    Say(std::string(option) + ": " + why);
    return false;
  }

  // Every file finished and every target checked again first, then every one
  // renamed over its target: a failure before the renames leaves all the targets
  // as they were.
  bool CommitAll() {
    for (Entry& e : files)
      if (e.file->IsOpen() && !Finish(e.option, *e.file)) return false;
    for (Entry& e : files) {
      const std::string problem = rg::OutputTargetProblem(e.file->target());
      if (!problem.empty()) {
        Say(std::string(e.option) + ": cannot write " + e.file->target() + ": " + problem);
        return false;
      }
    }
    bool ok = true;
    for (Entry& e : files) {
      std::string why;
      if (!e.file->Commit(&why)) {
        Say(std::string(e.option) + ": " + why);
        ok = false;
      }
    }
    return ok;
  }

  // Removes every temporary file, and the frames' folder when this run made it.
  void DiscardAll(const std::string& framesDir) {
    files.clear();
    std::error_code ec;
    if (madeFramesDir) std::filesystem::remove(framesDir, ec);  // only when empty
  }
};

// The replay as pictures: DIR/frame-NNNN.png for every stored row NNNN, each
// drawn like --snapshot. The replay is typed on a copy of the final state ('D',
// then 's' before each further row), so the run's own state stays as it ended.
bool WriteFrames(const rgbatch::Renderer& r, const rg::Sim& s, const rg::WindowView& view,
                 const std::string& dir, Outputs& out) {
  if (rg::RecordLength(s) == 0) {  // nothing of the current grasp to replay
    Say(std::string("--frames: ") + rg::kNoRecord);
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::exists(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      Say("--frames: cannot make the folder " + dir + ": " + ec.message());
      return false;
    }
    out.madeFramesDir = true;
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
    std::string png;
    if (r.snapshotPngData(replay.get(), &view, &png) != 0) return false;
    if (!out.WriteWhole("--frames", dir + name, png)) return false;
  }
  return true;
}

// The output files written after the run, in this order: the state, the trajectory,
// the snapshot, the page, the scene.
enum Target { kState, kTrajectory, kSnapshot, kHtml, kScene, kTargets };

std::array<std::pair<const char*, const std::string*>, kTargets> TargetsOf(
    const rgbatch::BatchOptions& o) {
  return {{{"--state", &o.statePath},
           {"--trajectory", &o.trajectoryPath},
           {"--snapshot", &o.snapshotPath},
           {"--html", &o.htmlPath},
           {"--save-scene", &o.saveScenePath}}};
}

// One run on its options: what it types, the simulation typed into, what it needs
// for its pictures and page, and its output files.
struct Run {
  explicit Run(const rgbatch::BatchOptions& options) : o(options) {}
  const rgbatch::BatchOptions& o;
  std::string keys;
  rg::KeyDriver driver;
  rgbatch::Renderer renderer;
  rg::ViewerAssets assets;
  Outputs outputs;
  rg::OutputFile* out[kTargets] = {};  // the temporary files of the targets given
  int status = 0;
  bool consoleEndsLine = true;  // the console text passed on so far ends its line
};

// The keys, the simulation's settings and the hand: the exit status of a refusal
// (2, after saying why), or 0.
int SetUp(Run& r) {
  const rgbatch::BatchOptions& o = r.o;
  r.keys = o.keys;
  if (!o.keysFile.empty()) {
    std::string why;
    if (!ReadKeysFile(o.keysFile, &r.keys, &why))
      return UsageError("--keys-file " + o.keysFile + ": cannot read it: " + why);
  }
  rg::Sim& s = r.driver.sim();
  s.qualitySettings = o.quality;
  s.plan.seed = o.seed;
  s.plan.maxSteps = o.planSteps;
  if (!o.scenePath.empty()) {
    // the scene first; the quality and planning options given then override it
    rg::Scene scene;
    std::string why;
    if (!rg::ReadScene(o.scenePath, &scene, &why)) {
      Say("--scene " + why);
      return 2;
    }
    rg::ApplyScene(s, scene);
    for (const auto& [option, value] : o.qualityArgs)
      rg::ParseQualityOption(option, value, &s.qualitySettings, &why);  // checked when parsed
    if (o.haveSeed) s.plan.seed = o.seed;
    if (o.planSteps > 0) s.plan.maxSteps = o.planSteps;
  }
  if (o.haveGoal) s.plan.goal = o.goal;
  if (o.haveSizes) {
    std::string why;
    if (!rg::SetWorkSizes(s, o.sizes, &why)) {  // checked when parsed
      Say(why);
      return 2;
    }
  }
  if (!o.handPath.empty()) {
    std::string why;
    if (!rg::UseHandFile(s, o.handPath, &why)) {
      Say(why);
      return 2;
    }
  }
  s.plan.timeLimit = o.planTime;
  if (o.progress)
    s.plan.progress = [](double fraction, double best) {
      std::fprintf(stderr, "planning %3.0f%%  goal error %.3g\n", 100.0 * fraction, best);
    };
  return 0;
}

// Everything the outputs need, checked before the run so that what can never be
// written fails at once and leaves the other files untouched: every target, the
// frames' folder, the drawing module with a display for a picture, the page's viewer
// files; then the temporary files of the targets are opened. The exit status (1,
// after saying why), or 0.
int PrepareOutputs(Run& r) {
  const rgbatch::BatchOptions& o = r.o;
  const auto targets = TargetsOf(o);
  for (const auto& [option, path] : targets) {
    if (path->empty()) continue;
    const std::string problem = rg::OutputTargetProblem(*path);
    if (!problem.empty()) {
      Say(std::string(option) + ": cannot write " + *path + ": " + problem);
      return 1;
    }
  }
  if (!o.framesDir.empty()) {
    const std::string problem = FramesDirProblem(o.framesDir);
    if (!problem.empty()) {
      Say("--frames: cannot write into " + o.framesDir + ": " + problem);
      return 1;
    }
  }

  // The drawing code is loaded only for a picture.
  if (!o.snapshotPath.empty() || !o.framesDir.empty()) {
    const char* option = o.snapshotPath.empty() ? "--frames" : "--snapshot";
    std::string why;
    if (!rgbatch::LoadRenderer(&r.renderer, &why)) {
      Say(std::string(option) + ": " + why);
      return 1;
    }
    char reason[256] = "";
    if (!r.renderer.displayAvailable(reason, sizeof reason)) {
      Say(std::string(option) + " needs an X display (" + reason + "); run it under xvfb-run -a");
      return 1;
    }
  }

  if (!o.htmlPath.empty()) {
    std::string why;
    if (!rg::FindViewerAssets(&r.assets, &why)) {
      Say("--html: " + why);
      return 1;
    }
  }

  // From here on a signal removes the temporary files before it ends the program.
  rg::RemoveTempFilesOnSignals();
  // the outputs written after the run get their temporary files now too, so that
  // a folder that takes no new file fails before the run
  for (size_t k = 0; k < targets.size(); ++k) {
    const auto& [option, path] = targets[k];
    if (!path->empty() && (r.out[k] = r.outputs.Open(option, *path)) == nullptr) return 1;
  }
  return 0;
}

// Types the keys: the console text of the start-up and of every key to standard
// output, and the state after the start-up and after every key (or every N-th, or
// only the last) to --state; a line is written only when it is wanted, so a long
// run writes little. A state line that cannot be written ends the run (status 1).
void TypeKeys(Run& r) {
  const rgbatch::BatchOptions& o = r.o;
  rg::KeyDriver& driver = r.driver;
  rg::OutputFile* const stateOut = r.out[kState];
  auto passOn = [&driver, &r] {
    const std::string& console = driver.console();
    std::fwrite(console.data(), 1, console.size(), stdout);
    std::fflush(stdout);
    if (!console.empty()) r.consoleEndsLine = console.back() == '\n';
  };
  auto emit = [&]() {
    if (stateOut == nullptr) return true;
    if (!WriteLine(*stateOut, driver.State(o.stateVolume ? rg::QualityMeasures::All
                                                         : rg::QualityMeasures::ClosureAndEpsilon))) {
      Outputs::Finish("--state", *stateOut);  // says why
      r.status = 1;
      return false;
    }
    return true;
  };
  passOn();
  const std::string& keys = r.keys;
  bool written = o.stateEvery == 0 && !keys.empty() ? true : emit();
  for (size_t n = 0; written && n < keys.size(); ++n) {
    const bool quit = driver.Press(static_cast<unsigned char>(keys[n]));
    passOn();
    const bool last = quit || n + 1 == keys.size();
    if (last || (o.stateEvery > 0 && (n + 1) % static_cast<size_t>(o.stateEvery) == 0))
      written = emit();
    if (quit) break;
  }
}

// --summary: the run's end in one line on standard error.
void PrintSummary(const rg::Sim& s) {
  const std::string message = rg::StatusMessage(s);
  std::fprintf(stderr, "rollgrasp-batch: mode %c, sgnMANIP %c, %d steps, t = %.6g%s%s\n", s.sgnCAL,
               s.sgnMANIP, s.cntManip0, s.ManipTime, message.empty() ? "" : ": ", message.c_str());
}

// The outputs of the final state into their temporary files, in the targets' order,
// then the frames; the first that fails sets the status and ends the writing.
void WriteOutputs(Run& r) {
  const rgbatch::BatchOptions& o = r.o;
  const rg::Sim& s = r.driver.sim();
  if (r.status == 0 && r.out[kTrajectory] != nullptr) {
    rg::OutputFile& f = *r.out[kTrajectory];
    f.Write(rg::TrajectoryCsv(s));
    if (!Outputs::Finish("--trajectory", f)) r.status = 1;
  }
  if (r.status == 0 && r.out[kSnapshot] != nullptr) {
    rg::OutputFile& f = *r.out[kSnapshot];
    std::string png;
    if (r.renderer.snapshotPngData(&s, &o.view, &png) != 0) {
      r.status = 1;
    } else {
      f.Write(png);
      if (!Outputs::Finish("--snapshot", f)) r.status = 1;
    }
  }
  if (r.status == 0 && r.out[kHtml] != nullptr && rg::RecordLength(s) == 0) {
    Say(std::string("--html: ") + rg::kNoRecord);
    r.status = 1;
  }
  if (r.status == 0 && r.out[kHtml] != nullptr) {
    rg::OutputFile& f = *r.out[kHtml];
    f.Write(rg::ReplayHtml(s, r.assets));
    if (!Outputs::Finish("--html", f)) r.status = 1;
  }
  if (r.status == 0 && r.out[kScene] != nullptr) {
    // the scene as the keys left it set up (the grasp and the motion are no part of it)
    rg::OutputFile& f = *r.out[kScene];
    f.Write(rg::SceneText(rg::SceneOf(s), o.saveScenePath));
    if (!Outputs::Finish("--save-scene", f)) r.status = 1;
  }
  if (r.status == 0 && !o.framesDir.empty() &&
      !WriteFrames(r.renderer, s, o.view, o.framesDir, r.outputs))
    r.status = 1;
}

// The run of parsed options: its exit status. Every output is committed only when
// all were written; otherwise none is, and the temporary files go.
int RunBatch(const rgbatch::BatchOptions& o) {
  Run r(o);
  if (const int refused = SetUp(r)) return refused;
  if (const int cannot = PrepareOutputs(r)) return cannot;
  TypeKeys(r);
  if (o.summary) {
    // the summary starts a line of its own where both streams meet (a terminal)
    if (!r.consoleEndsLine) {
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
    PrintSummary(r.driver.sim());
  }
  WriteOutputs(r);
  if (r.status == 0 && !r.outputs.CommitAll()) r.status = 1;
  if (r.status != 0) r.outputs.DiscardAll(o.framesDir);
  return r.status;
}

}  // namespace

int main(int argc, char** argv) {
  const rgbatch::ParsedArgs parsed = rgbatch::ParseBatchArgs(argc, argv);
  if (parsed.outcome == rgbatch::ParseOutcome::Help) {
    std::fputs(rgbatch::BatchUsage(), stdout);
    std::fputs(rgbatch::BatchHelp(), stdout);
    return 0;
  }
  if (parsed.outcome != rgbatch::ParseOutcome::Run) return UsageError(parsed.error);
  return RunBatch(parsed.options);
}
