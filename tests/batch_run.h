// Runs the built rollgrasp-batch: on a key string, reading back the state lines
// and trajectory CSV it wrote (for tests that compare whole runs with stored
// references), or as a child process with its own arguments, limits and
// signals (for tests of what it leaves behind). Needs RG_BUILD_DIR (set for every
// test by the build).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace rgtest {

inline std::vector<std::string> Lines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

struct BatchRun {
  std::vector<std::string> state;  // one JSON line per state written
  std::vector<std::string> csv;    // the trajectory CSV, header first
};

// Runs the batch driver with `keys` given in a keys file; a non-zero exit
// status is a test failure (options go before the others). `tag` keeps the
// scratch files of different tests apart.
inline BatchRun RunBatchFiles(const std::string& tag, const std::string& name,
                              const std::string& keys, const std::string& options = "") {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / (tag + "-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path keyFile = dir / (name + ".keys"), state = dir / (name + ".jsonl"),
                 csv = dir / (name + ".csv");
  std::ofstream(keyFile, std::ios::binary) << keys;
  const std::string cmd = std::string(RG_BUILD_DIR) + "/rollgrasp-batch " + options + " --state " +
                          state.string() + " --trajectory " + csv.string() + " --keys-file " +
                          keyFile.string() + " >/dev/null 2>&1 </dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  BatchRun run{Lines(state), Lines(csv)};
  fs::remove_all(dir);
  return run;
}

// The fuzzer's seed key sequences (fuzz/seeds, sorted by file name) as
// ("seed-<file>", keys) pairs: whole runs the references also cover.
inline std::vector<std::pair<std::string, std::string>> FuzzSeedRuns() {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(RG_SOURCE_DIR) / "fuzz" / "seeds"))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<std::pair<std::string, std::string>> runs;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    runs.emplace_back("seed-" + f.filename().string(), ss.str());
  }
  return runs;
}

// The driver as a child process: argv as given (no shell), standard input and
// output /dev/null, standard error into errFile. The signals the tests send or
// provoke start with their default action whatever the test runner set; with
// fileSizeLimit >= 0 no file may grow beyond that many bytes, and a write past
// it fails with EFBIG instead of ending the program (as on a full disk).
inline pid_t StartBatch(const std::vector<std::string>& args, const std::string& errFile,
                        long fileSizeLimit = -1) {
  const std::string exe = std::string(RG_BUILD_DIR) + "/rollgrasp-batch";
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // the child: async-signal-safe calls only until exec
  const int in = open("/dev/null", O_RDWR);
  const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || err < 0) _exit(127);
  dup2(in, 0);
  dup2(in, 1);
  dup2(err, 2);
  for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT}) signal(sig, SIG_DFL);
  signal(SIGXFSZ, fileSizeLimit >= 0 ? SIG_IGN : SIG_DFL);
  if (fileSizeLimit >= 0) {
    const rlimit lim{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  execv(exe.c_str(), argv.data());
  _exit(127);
}

struct BatchExit {
  int status = -1;  // the exit status, -1 when ended by a signal
  int signal = 0;   // the signal that ended it, 0 when it exited
  std::string err;  // its standard error
};

inline BatchExit WaitBatch(pid_t pid, const std::string& errFile) {
  BatchExit r;
  int st = 0;
  if (waitpid(pid, &st, 0) != pid) return r;
  if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
  if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
  std::ifstream in(errFile, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  r.err = ss.str();
  std::remove(errFile.c_str());
  return r;
}

inline BatchExit RunBatch(const std::vector<std::string>& args, long fileSizeLimit = -1) {
  const std::string errFile = (std::filesystem::temp_directory_path() /
                               ("rg-batch-err-" + std::to_string(getpid()))).string();
  return WaitBatch(StartBatch(args, errFile, fileSizeLimit), errFile);
}

}  // namespace rgtest
