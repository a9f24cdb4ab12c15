// The console of one simulation: every line it writes and every console key it
// waits for goes through its own Console, so that tests, the batch driver and the
// Python module can capture the text and answer the waits of each simulation on
// its own. Text is UTF-8.
#pragma once

#include <functional>
#include <string>

namespace rg {

class Console {
 public:
  // How console waits obtain their key.
  enum class KeyMode {
    Terminal,   // read one key from standard input (raw and silent on a terminal)
    AutoAnswer  // answer every wait at once with the key it asks for
  };

  // printf-style output to this console's sink (standard output, or a capture buffer)
  void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void Write(const std::string& text);
  void Flush();

  // All text goes into *buf (appended) from now on; nullptr: standard output again.
  void CaptureInto(std::string* buf) { capture_ = buf; }
  // All text is kept in this console from now on, read by text().
  void KeepText() {
    keep_ = true;
    capture_ = nullptr;
  }
  const std::string& text() const { return kept_; }
  void ClearText() { kept_.clear(); }

  void SetKeyMode(KeyMode mode) { keyMode_ = mode; }
  KeyMode keyMode() const { return keyMode_; }

  // One key from the console: on a terminal, one key without Enter and without
  // echo; otherwise one byte if one is already waiting. -1 at end of input, on a
  // read error, or when no byte is waiting on a non-terminal input.
  int ReadKey();
  // Prints "\ngetch()" and reads one key.
  int PauseKey();
  // Prints "\nInput getch()=<ch>" and reads one key; in AutoAnswer mode returns ch.
  int PauseKeyEcho(char ch);
  // Repeats PauseKeyEcho(c) until c is typed. Returns at once when input has
  // ended or cannot be read, so a closed standard input never hangs the program.
  void WaitForKey(char c);

  // Called with the wanted key before a wait reads from the terminal (the window
  // shows that the program waits).
  std::function<void(char)> beforeWait;

 private:
  std::string* capture_ = nullptr;
  bool keep_ = false;
  std::string kept_;
  KeyMode keyMode_ = KeyMode::Terminal;
};

// fixed-layout printers of ranged double arrays and matrices
void PrintVec(Console& con, int first, int last, const double* a);
void PrintVecF(Console& con, int first, int last, int prec, const double* a);
void PrintMat(Console& con, int indent, const double E[3][3]);
void PrintMatI(Console& con, int indent, const double E[3][3]);

}  // namespace rg
