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

namespace {

// Runs rollgrasp-batch with the arguments, all output to /dev/null; its status
// and resource use.
int RunBatch(const char* a1, const char* a2, rusage* ru) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(RG_BATCH_PATH, RG_BATCH_PATH, a1, a2, static_cast<char*>(nullptr));
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
    if (RunBatch("--keys-file", keysPath.c_str(), &ru) != 0) {
      st.SkipWithError("rollgrasp-batch failed");
      break;
    }
    if (ru.ru_maxrss > maxKb) maxKb = ru.ru_maxrss;
  }
  st.counters["peak_rss_MB"] = static_cast<double>(maxKb) / 1024.0;
  std::remove(keysPath.c_str());
}
BENCHMARK(BM_BatchFullRunPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// A run of no keys: loading, start-up, exit (wall time of the whole process).
void BM_BatchStartUp(benchmark::State& st) {
  for (auto _ : st) {
    rusage ru{};
    if (RunBatch("--state", "/dev/null", &ru) != 0) {
      st.SkipWithError("rollgrasp-batch failed");
      break;
    }
  }
}
BENCHMARK(BM_BatchStartUp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
