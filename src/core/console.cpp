#include "core/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace rg {

void Console::Write(const std::string& text) {
  if (capture_ != nullptr) {
    capture_->append(text);
  } else if (keep_) {
    kept_.append(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void Console::Printf(const char* fmt, ...) {
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(ap2);
    Write(std::string(small, static_cast<size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, ap2);
  va_end(ap2);
  Write(std::string(big.data(), static_cast<size_t>(n)));
}

void Console::Flush() {
  if (capture_ == nullptr && !keep_) std::fflush(stdout);
}

int Console::ReadKey() {
  Flush();
  unsigned char ch = 0;
  if (isatty(STDIN_FILENO)) {
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return -1;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    ssize_t r;
    do {
      r = read(STDIN_FILENO, &ch, 1);
    } while (r < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return r == 1 ? ch : -1;
  }
  // Not a terminal: take a byte that is already there, but never wait for one,
  // so a program without a console (or with a silent pipe) goes on at once.
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, 0);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) return -1;
  ssize_t r;
  do {
    r = read(STDIN_FILENO, &ch, 1);
  } while (r < 0 && errno == EINTR);
  return r == 1 ? ch : -1;
}

int Console::PauseKey() {
  Printf("\ngetch()");
  return ReadKey();
}

int Console::PauseKeyEcho(char ch) {
  Printf("\nInput getch()=%c", ch);
  if (keyMode_ == KeyMode::AutoAnswer) return static_cast<unsigned char>(ch);
  if (beforeWait) beforeWait(ch);
  return ReadKey();
}

void Console::WaitForKey(char c) {
  for (;;) {
    const int k = PauseKeyEcho(c);
    if (k < 0 || k == static_cast<unsigned char>(c)) return;
  }
}

}  // namespace rg

namespace rg {

void PrintVec(Console& con, int first, int last, const double* a) {
  con.Printf("(");
  for (int i = first; i <= last; ++i) con.Printf(" %7.4f", a[i]);
  con.Printf(")");
}

void PrintVecF(Console& con, int first, int last, int prec, const double* a) {
  static const char* const kFormats[10] = {nullptr,  " %4.1f",  " %5.2f",   " %6.3f",   " %7.4f",
                                           " %8.5f", " %9.6f", " %10.7f", " %11.8f", " %12.9f"};
  con.Printf("(");
  if (prec >= 1 && prec <= 9) {
    for (int i = first; i <= last; ++i) {
      if (prec > 6 && i == 6) con.Printf(")\n  (");
      con.Printf(kFormats[prec], a[i]);
    }
  }
  con.Printf(")");
}

namespace {

void Blanks(Console& con, int n) {
  for (int i = 0; i < n; ++i) con.Printf(" ");
}

}  // namespace

void PrintMat(Console& con, int indent, const double E[3][3]) {
  PrintVecF(con, 0, 2, 6, E[0]);
  for (int r = 1; r < 3; ++r) {
    con.Printf("\n");
    Blanks(con, indent);
    PrintVecF(con, 0, 2, 6, E[r]);
  }
}

void PrintMatI(Console& con, int indent, const double E[3][3]) {
  PrintVecF(con, 0, 2, 6, E[0]);
  con.Printf("\n");
  if (indent <= 0) {
    PrintVecF(con, 0, 2, 6, E[1]);
    con.Printf("\n");
    PrintVecF(con, 0, 2, 6, E[2]);
  } else if (indent == 1) {
    con.Printf(" ");
    PrintVecF(con, 0, 2, 6, E[1]);
    con.Printf("\n ");
    PrintVecF(con, 0, 2, 6, E[2]);
  } else {
    Blanks(con, indent);
    PrintVecF(con, 0, 2, 6, E[1]);
    con.Printf("\n");
    Blanks(con, indent);
    PrintVecF(con, 0, 2, 6, E[2]);
  }
}

}  // namespace rg
