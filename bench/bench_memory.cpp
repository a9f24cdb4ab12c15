// Peak resident memory of rollgrasp-batch over the longest run there is: the
// work held still, the grasp, manipulation steps until the record is full
// ("**** Data Overflow ****" after 3995 steps, 800 stored rows), then a replay step.
// Also the time of a whole rollgrasp-batch process that presses no key: its
// start-up to the first key, plus writing nothing and exiting.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Runs rollgrasp-batch with the arguments, all output to /dev/null; its status
// and resource use.
int RunBatch(std::vector<const char*> args, rusage* ru) {
  args.insert(args.begin(), RG_BATCH_PATH);
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execv(RG_BATCH_PATH, const_cast<char* const*>(args.data()));
    _exit(127);
  }
  int status = 0;
  wait4(pid, &status, 0, ru);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_BatchFullRunPeakMemory(benchmark::State& st) {
  const std::string keysPath = "/tmp/rollgrasp_bench_keys";
  {
    std::ofstream k(keysPath, std::ios::binary);
    k << "VrGssA" << std::string(4001, 's') << "Ds";
  }
  long maxKb = 0;
  for (auto _ : st) {
    rusage ru{};
    if (RunBatch({"--keys-file", keysPath.c_str()}, &ru) != 0) {
      st.SkipWithError("rollgrasp-batch failed");
      break;
    }
    if (ru.ru_maxrss > maxKb) maxKb = ru.ru_maxrss;
  }
  st.counters["peak_rss_MB"] = static_cast<double>(maxKb) / 1024.0;
  std::remove(keysPath.c_str());
}
BENCHMARK(BM_BatchFullRunPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// A run of no keys: loading, start-up, the start-up's state line, exit (wall time of
// the whole process). The state goes to a regular file: the driver refuses to write
// into a device such as /dev/null.
void BM_BatchStartUp(benchmark::State& st) {
  const std::string statePath = "/tmp/rollgrasp_bench_startup.jsonl";
  for (auto _ : st) {
    rusage ru{};
    if (RunBatch({"--state", statePath.c_str(), ""}, &ru) != 0) {
      st.SkipWithError("rollgrasp-batch failed");
      break;
    }
  }
  std::remove(statePath.c_str());
}
BENCHMARK(BM_BatchStartUp)->Unit(benchmark::kMillisecond)->UseRealTime();

// Minor page faults and CPU time of hand 2's default run (soft contacts) that
// writes the state, grasp quality with its volume included (--state-volume), after
// every key (407 keys): per key, beyond those of the same run writing nothing.
// Qhull's memory used to be handed back to the kernel after every hull and faulted
// in again for the next.
void BM_BatchStatePageFaults(benchmark::State& st) {
  const std::string keysPath = "/tmp/rollgrasp_bench_state_keys";
  // a regular file: the driver refuses to write into a device such as /dev/null
  const std::string statePath = "/tmp/rollgrasp_bench_state.jsonl";
  const std::string keys = "H2GsssA" + std::string(400, 's');
  {
    std::ofstream k(keysPath, std::ios::binary);
    k << keys;
  }
  double perKey = 0, cpuPerKey = 0;
  auto cpu = [](const rusage& ru) {
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + 1e-6 * (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
  };
  for (auto _ : st) {
    rusage quiet{}, stated{};
    if (RunBatch({"--keys-file", keysPath.c_str()}, &quiet) != 0 ||
        RunBatch({"--state-volume", "--state", statePath.c_str(), "--keys-file", keysPath.c_str()},
                 &stated) != 0) {
      st.SkipWithError("rollgrasp-batch failed");
      break;
    }
    perKey = static_cast<double>(stated.ru_minflt - quiet.ru_minflt) / keys.size();
    cpuPerKey = (cpu(stated) - cpu(quiet)) / keys.size();
  }
  st.counters["faults_per_key"] = perKey;
  st.counters["cpu_us_per_key"] = 1e6 * cpuPerKey;
  std::remove(keysPath.c_str());
  std::remove(statePath.c_str());
}
BENCHMARK(BM_BatchStatePageFaults)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
