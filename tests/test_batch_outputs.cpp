// What rollgrasp-batch leaves behind when an output cannot be written, when a
// write fails in the middle of the run (a full disk), and when it is killed:
// every output whole or not at all, every other existing file as it was, no
// temporary file left; and its inputs bounded (the keys file).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "batch_run.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder holding the existing outputs of an earlier run: each file
// with text of its own, so that any change to it shows.
struct Scene {
  fs::path dir;
  std::map<std::string, std::string> old;  // file name -> content

  explicit Scene(const std::string& tag) {
    dir = fs::temp_directory_path() / ("rg-out-" + tag + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : {"state.jsonl", "traj.csv", "page.html"}) {
      old[name] = std::string("an earlier ") + name + "\n";
      std::ofstream(dir / name, std::ios::binary) << old[name];
    }
  }
  ~Scene() { fs::remove_all(dir); }
  std::string operator/(const std::string& name) const { return (dir / name).string(); }

  // The folder's entries besides `also`: the earlier files and nothing else
  // (no temporary file), each byte for byte as it was.
  void ExpectUntouched(const std::set<std::string>& also = {}) const {
    std::set<std::string> seen;
    for (const auto& e : fs::directory_iterator(dir)) seen.insert(e.path().filename().string());
    std::set<std::string> want = also;
    for (const auto& [name, text] : old) want.insert(name);
    EXPECT_EQ(seen, want);
    for (const auto& [name, text] : old) {
      const std::string now = rgtest::ReadText(dir / name);
      EXPECT_TRUE(now == text) << name << " changed: " << now.size() << " bytes, beginning "
                               << now.substr(0, 40);
    }
  }
};

// The outputs of one run, each at its file of the scene.
std::vector<std::string> OutputArgs(const Scene& sc, const std::string& except = "") {
  std::vector<std::string> a;
  for (const auto& [option, name] : std::vector<std::pair<std::string, std::string>>{
           {"--state", "state.jsonl"}, {"--trajectory", "traj.csv"}, {"--html", "page.html"}})
    if (option != except) a.insert(a.end(), {option, sc / name});
  return a;
}

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

size_t LineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

void MakeSocket(const fs::path& p) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(p.string().size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, p.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
}

fs::file_type TypeOf(const fs::path& p) { return fs::symlink_status(p).type(); }

}  // namespace

// A target that cannot be written, given to each output in turn beside the other
// outputs' existing files: refused with one line naming the option, the path and
// why, status 1, before the run; the hostile path itself and every other file as
// they were.
TEST(BatchOutputs, HostileTargetLeavesEveryFileAsItWas) {
  struct Kind {
    const char* name;
    const char* reason;  // in the refusal line
    void (*make)(const fs::path& p);
  };
  const Kind kinds[] = {
      {"missing-folder", "No such file or directory", [](const fs::path&) {}},
      {"directory", "it is a directory", [](const fs::path& p) { fs::create_directory(p); }},
      {"fifo", "it is a FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
      {"socket", "it is a socket", [](const fs::path& p) { MakeSocket(p); }},
      {"symlink", "it is a symbolic link", [](const fs::path& p) {
         std::ofstream(p.string() + "-target") << "pointed at\n";
         fs::create_symlink(p.string() + "-target", p);
       }},
      {"dangling-symlink", "it is a symbolic link",
       [](const fs::path& p) { fs::create_symlink(p.string() + "-nowhere", p); }},
  };
  for (const char* option : {"--state", "--trajectory", "--html", "--snapshot"}) {
    for (const Kind& k : kinds) {
      SCOPED_TRACE(std::string(option) + " " + k.name);
      Scene sc("hostile");
      const bool missing = std::string(k.name) == "missing-folder";
      const fs::path target = missing ? sc.dir / "no" / "such.out" : sc.dir / "target";
      k.make(target);
      const fs::file_type before = TypeOf(target);
      const std::string pointed = rgtest::ReadText(target.string() + "-target");
      const rgtest::BatchExit r =
          rgtest::RunBatch(With(OutputArgs(sc, option), {option, target.string(), "ssA"}));
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_EQ(r.err.rfind("rollgrasp-batch: " + std::string(option) + ": cannot write " + target.string() +
                                ": " + k.reason,
                            0),
                0u)
          << r.err;
      EXPECT_EQ(LineCount(r.err), 1u) << r.err;
      EXPECT_EQ(r.err.find("ワーク"), std::string::npos);  // refused before the run
      EXPECT_EQ(TypeOf(target), before);
      EXPECT_EQ(rgtest::ReadText(target.string() + "-target"), pointed);
      std::set<std::string> made;
      if (!missing) made.insert("target");
      if (std::string(k.name) == "symlink") made.insert("target-target");
      sc.ExpectUntouched(made);
    }
  }
  // a hand file refused (status 2) is read before any output is touched
  {
    Scene sc("hand");
    std::ofstream(sc.dir / "bad.urdf") << "<robot name='x'>";
    const rgtest::BatchExit r = rgtest::RunBatch(With(OutputArgs(sc), {"--hand", sc / "bad.urdf", "ss"}));
    EXPECT_EQ(r.status, 2) << r.err;
    sc.ExpectUntouched({"bad.urdf"});
  }
  // the folder of --frames: a file, a FIFO or a link where the folder should be
  for (const Kind& k : {kinds[2], kinds[4]}) {
    SCOPED_TRACE(std::string("--frames ") + k.name);
    Scene sc("frames");
    k.make(sc.dir / "pictures");
    const rgtest::BatchExit r = rgtest::RunBatch(With(OutputArgs(sc), {"--frames", sc / "pictures", "ss"}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("rollgrasp-batch: --frames: cannot write into " + sc / "pictures", 0), 0u) << r.err;
    std::set<std::string> made{"pictures"};
    if (std::string(k.name) == "symlink") made.insert("pictures-target");
    sc.ExpectUntouched(made);
  }
}

// A write that fails in the middle (no room: the file-size limit stands for a
// full disk) ends the run with status 1 and one line naming the output; no
// output replaces its earlier file, also those that were written whole. With
// room, all are replaced, each whole, keeping the earlier file's permissions.
TEST(BatchOutputs, FullDiskLeavesEveryEarlierFile) {
  const std::string keys = "GssA" + std::string(300, 's');  // the default run: 338 steps at most
  struct Case {
    const char* fails;   // the output that meets the limit
    long limit;          // bytes a file may hold
    std::vector<std::string> extra;
  };
  // the state line per key is about 3 kB, the trajectory about 50 kB, the page 750 kB
  for (const Case& c : {Case{"--state", 100000, {}}, Case{"--trajectory", 20000, {"--state-last"}},
                        Case{"--html", 200000, {"--state-last"}}}) {
    SCOPED_TRACE(c.fails);
    Scene sc("full");
    const rgtest::BatchExit r = rgtest::RunBatch(With(With(OutputArgs(sc), c.extra), {keys}), c.limit);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.err.find("rollgrasp-batch: " + std::string(c.fails) + ": cannot write "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    sc.ExpectUntouched();
  }
  Scene sc("room");
  fs::permissions(sc.dir / "traj.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const rgtest::BatchExit r = rgtest::RunBatch(With(OutputArgs(sc), {keys}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = rgtest::Lines(sc.dir / "state.jsonl");
  ASSERT_EQ(lines.size(), keys.size() + 1);
  for (const std::string& l : lines) EXPECT_FALSE(nlohmann::json::parse(l, nullptr, false).is_discarded()) << l;
  const std::vector<std::string> csv = rgtest::Lines(sc.dir / "traj.csv");
  EXPECT_GT(csv.size(), 50u);
  EXPECT_EQ(fs::status(sc.dir / "traj.csv").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(rgtest::ReadText(sc.dir / "page.html").rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(sc.dir), fs::directory_iterator{}), 3);
}

// SIGTERM or SIGINT in the middle of a run (a plan towards an unreachable goal,
// long enough never to end first) ends the driver by that signal, every earlier
// output as it was and none of its temporary files left.
TEST(BatchOutputs, KilledRunLeavesEveryEarlierFile) {
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    Scene sc("killed");
    const std::string errFile = sc / "err.txt";
    const pid_t pid = rgtest::StartBatch(
        With(OutputArgs(sc),
             {"--goal", "0,0,0,500,500,500", "--plan-time", "3600", "--plan-steps", "10000000", "GssBs"}),
        errFile);
    ASSERT_GT(pid, 0);
    // wait for the three temporary files: the run has started
    auto temps = [&] {
      int n = 0;
      for (const auto& e : fs::directory_iterator(sc.dir)) n += e.path().filename().string().find(".tmp.") != std::string::npos;
      return n;
    };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (temps() < 3 && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(temps(), 3);
    ASSERT_EQ(kill(pid, sig), 0);
    const rgtest::BatchExit r = rgtest::WaitBatch(pid, errFile);
    EXPECT_EQ(r.signal, sig) << r.err;
    sc.ExpectUntouched();
  }
}

// A keys file is read up to its limit (4 MiB) and one byte more: a longer file
// or a pipe that never ends is refused with one line and the usage, status 2.
TEST(BatchOutputs, KeysFileIsBounded) {
  Scene sc("keys");
  constexpr size_t kLimit = size_t{4} << 20;
  // Escape in mode I ends a run at its first key: read whole, this file would run
  {
    std::ofstream k(sc / "long.keys", std::ios::binary);
    k << "I" << std::string(kLimit, '\x1b');
  }
  rgtest::BatchExit r = rgtest::RunBatch({"--keys-file", sc / "long.keys"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err.rfind("rollgrasp-batch: --keys-file " + sc / "long.keys" +
                            ": cannot read it: more than 4194304 bytes (4 MiB)",
                        0),
            0u)
      << r.err.substr(0, 300);
  EXPECT_EQ(LineCount(r.err), 2u);  // the refusal and the usage line
  fs::remove(sc.dir / "long.keys");

  // a pipe that goes on: the driver stops reading after the limit and closes it
  ASSERT_EQ(mkfifo((sc.dir / "endless").c_str(), 0644), 0);
  const std::string errFile = sc / "err.txt";
  const pid_t pid = rgtest::StartBatch({"--keys-file", sc / "endless"}, errFile);
  ASSERT_GT(pid, 0);
  const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
  const int fd = open((sc.dir / "endless").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string chunk(65536, 's');
  size_t sent = 0;
  bool closed = false;
  while (sent < 4 * kLimit) {
    const ssize_t w = write(fd, chunk.data(), chunk.size());
    if (w < 0 && errno == EPIPE) {
      closed = true;
      break;
    }
    ASSERT_GT(w, 0);
    sent += static_cast<size_t>(w);
  }
  close(fd);
  std::signal(SIGPIPE, oldPipe);
  if (!closed) kill(pid, SIGKILL);
  r = rgtest::WaitBatch(pid, errFile);
  EXPECT_TRUE(closed) << "the driver read " << sent << " bytes and went on";
  EXPECT_EQ(r.status, 2) << r.err.substr(0, 300);
  EXPECT_NE(r.err.find("more than 4194304 bytes"), std::string::npos) << r.err.substr(0, 300);
  EXPECT_LE(sent, kLimit + 2 * chunk.size() + (1 << 20));  // the limit and what a pipe holds
}
