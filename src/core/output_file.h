// Output files written whole or not at all: everything goes into a temporary
// file beside the target, which is renamed over the target only when complete.
// A run that fails, or is ended by a signal, leaves the target as it was and no
// temporary file behind.
#pragma once

#include <cstddef>
#include <string>

namespace rg {

// Why path cannot be written as an output file, or "" when it can: it must not
// be empty and, when it exists, must be a regular file that may be written (a
// symbolic link, directory, device, FIFO or socket is refused, never followed or
// replaced).
std::string OutputTargetProblem(const std::string& path);

// One output file. Open creates the temporary file beside the target (after
// checking the target as above); Write appends to it; Finish flushes it to the
// disk and closes it; Commit renames it over the target. A file not committed is
// removed by Discard or the destructor, and by the signal handler of
// RemoveTempFilesOnSignals while it is open.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False with *why ("cannot write PATH: reason") when the target is refused or
  // the temporary file cannot be created.
  bool Open(const std::string& target, std::string* why);
  // Appends all n bytes; false when they cannot all be written (the file is then
  // failed for good and Finish says why).
  bool Write(const void* data, std::size_t n);
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }
  // Flushes and closes the temporary file; false with *why after any failed write.
  bool Finish(std::string* why);
  // Renames the finished temporary file over the target; false with *why.
  bool Commit(std::string* why);
  // Removes the temporary file unless committed.
  void Discard();

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& target() const { return target_; }
  const std::string& temp() const { return temp_; }

 private:
  std::string Problem(int err) const;

  int fd_ = -1;
  int err_ = 0;        // errno of the first failed write, 0 when none failed
  int slot_ = -1;      // the temporary file's entry in the signal-time registry
  bool finished_ = false;
  bool committed_ = false;
  int mode_ = -1;      // permission bits of the target it replaces (-1: a new file)
  std::string target_, temp_;
};

// Writes data to path through an OutputFile: the whole of it or nothing.
bool WriteFileWhole(const std::string& path, const std::string& data, std::string* why);

// The most temporary files open at once (a run's pictures of --frames and its
// other outputs fit); Open refuses more.
constexpr int kMaxTempFiles = 1024;

// For SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE and SIGXFSZ (those not ignored),
// a handler that removes every temporary file still open and then ends the
// process by the same signal, so that its exit status still says which.
void RemoveTempFilesOnSignals();

}  // namespace rg
