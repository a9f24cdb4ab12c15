#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace rg {
namespace {

// The temporary files open now, as paths a signal handler can read: a slot holds
// a path of its own (allocated before it is published) or nullptr. Slots are
// taken and given back with atomic exchanges, so threads writing files of their
// own (the Python module's) need no lock, and the handler only reads.
std::atomic<char*> gTemps[kMaxTempFiles];
static_assert(std::atomic<char*>::is_always_lock_free, "the signal handler reads the slots");

int Register(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  for (int i = 0; i < kMaxTempFiles; ++i) {
    char* expected = nullptr;
    if (gTemps[i].compare_exchange_strong(expected, copy)) return i;
  }
  delete[] copy;
  return -1;
}

void Unregister(int slot) {
  if (slot < 0) return;
  delete[] gTemps[slot].exchange(nullptr);
}

// Only async-signal-safe calls: unlink, then the signal again. The handler was
// installed with SA_RESETHAND, so the signal, blocked while it runs, is
// delivered with its default action as soon as it returns.
void RemoveTempsAndReraise(int sig) {
  const int saved = errno;
  for (auto& slot : gTemps) {
    const char* p = slot.load();
    if (p != nullptr) unlink(p);
  }
  errno = saved;
  raise(sig);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside the target, unique to this process and call, within NAME_MAX.
std::string TempNameFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const std::string suffix = ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.size() + suffix.size() > NAME_MAX) base.resize(NAME_MAX - suffix.size());
  return folder + base + suffix;
}

// The reason a target refused by lstat's answer cannot be written, or "".
std::string KindProblem(mode_t m) {
  if (S_ISREG(m)) return "";
  if (S_ISLNK(m)) return "it is a symbolic link (not followed)";
  if (S_ISDIR(m)) return "it is a directory";
  if (S_ISCHR(m) || S_ISBLK(m)) return "it is a device";
  if (S_ISFIFO(m)) return "it is a FIFO";
  if (S_ISSOCK(m)) return "it is a socket";
  return "it is not a regular file";
}

}  // namespace

std::string OutputTargetProblem(const std::string& path) {
  if (path.empty()) return "no file name given";
  if (path.back() == '/') return "it names a folder";
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    std::string kind = KindProblem(st.st_mode);
    if (!kind.empty()) return kind;
    if (access(path.c_str(), W_OK) != 0) return std::strerror(errno);
    return "";
  }
  if (errno != ENOENT) return std::strerror(errno);
  // a new file: its folder must be there
  if (stat(FolderOf(path).c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
  return "";
}

OutputFile::~OutputFile() { Discard(); }

std::string OutputFile::Problem(int err) const {
  return "cannot write " + target_ + ": " + std::strerror(err);
}

bool OutputFile::Open(const std::string& target, std::string* why) {
  Discard();
  target_ = target;
  err_ = 0;
  finished_ = committed_ = false;
  mode_ = -1;
  const std::string problem = OutputTargetProblem(target);
  if (!problem.empty()) {
    *why = "cannot write " + target + ": " + problem;
    return false;
  }
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0) mode_ = static_cast<int>(st.st_mode & 07777);
  temp_ = TempNameFor(target);
  // published before it exists, so that no moment has a file the handler misses
  slot_ = Register(temp_);
  if (slot_ < 0) {
    *why = "cannot write " + target + ": more than " + std::to_string(kMaxTempFiles) +
           " output files open at once";
    temp_.clear();
    return false;
  }
  fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int e = errno;
    Unregister(slot_);
    slot_ = -1;
    temp_.clear();
    *why = Problem(e);
    return false;
  }
  // a replaced file keeps its permissions
  if (mode_ >= 0 && fchmod(fd_, static_cast<mode_t>(mode_)) != 0) err_ = errno;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t n) {
  if (fd_ < 0 || err_ != 0) return false;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      err_ = errno;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool OutputFile::Finish(std::string* why) {
  if (fd_ < 0) {
    *why = finished_ ? "" : "cannot write " + target_ + ": not open";
    return finished_ && err_ == 0;
  }
  if (err_ == 0 && fsync(fd_) != 0 && errno != EINVAL) err_ = errno;  // EINVAL: cannot sync, nothing lost
  if (close(fd_) != 0 && err_ == 0) err_ = errno;
  fd_ = -1;
  finished_ = true;
  if (err_ != 0) {
    *why = Problem(err_);
    Discard();
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string* why) {
  if (!finished_ || err_ != 0 || committed_ || temp_.empty()) {
    *why = "cannot write " + target_ + ": not finished";
    return false;
  }
  // the target may have changed since Open: never rename over what is no file
  const std::string problem = OutputTargetProblem(target_);
  if (!problem.empty()) {
    *why = "cannot write " + target_ + ": " + problem;
    Discard();
    return false;
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    *why = Problem(errno);
    Discard();
    return false;
  }
  committed_ = true;
  Unregister(slot_);
  slot_ = -1;
  temp_.clear();
  return true;
}

void OutputFile::Discard() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
  Unregister(slot_);
  slot_ = -1;
  temp_.clear();
}

bool WriteFileWhole(const std::string& path, const std::string& data, std::string* why) {
  OutputFile f;
  if (!f.Open(path, why)) return false;
  f.Write(data);  // a failed write is reported by Finish
  return f.Finish(why) && f.Commit(why);
}

void RemoveTempFilesOnSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  const int signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXFSZ};
  struct sigaction sa {};
  sa.sa_handler = RemoveTempsAndReraise;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : signals) sigaddset(&sa.sa_mask, sig);
  for (int sig : signals) {
    struct sigaction old {};
    // a signal ignored on purpose (nohup, SIGXFSZ turned into EFBIG) stays ignored
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

}  // namespace rg
