// The one console module: every line the simulator writes to the console and
// every console key it waits for goes through here, so that tests and the batch
// driver can capture the text and answer the waits. Text is UTF-8.
#pragma once

#include <string>

namespace con {

// printf-style output to the current sink (standard output, or a capture buffer).
void Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Write(const std::string& text);
void Flush();

// Redirects all console text into *buf (appended) until StopCapture.
void StartCapture(std::string* buf);
void StopCapture();

// How console waits obtain their key.
enum class KeyMode {
  Console,    // read one key from standard input (raw and silent on a terminal)
  AutoAnswer  // answer every wait at once with the key it asks for
};
void SetKeyMode(KeyMode mode);

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

}  // namespace con

namespace rg {

// fixed-layout printers of ranged double arrays and matrices
void PrintVec(int first, int last, const double* a);
void PrintVecF(int first, int last, int prec, const double* a);
void PrintVec3f(int first, int last, const double* a);
void PrintVecE3(int first, int last, const double* a);
void PrintVecE4(int first, int last, const double* a);
void PrintVecE6(int first, int last, const double* a);
void PrintMat(int indent, const double E[3][3]);
void PrintMatI(int indent, const double E[3][3]);
void PrintMatRC(int indent, int rows, int cols, const double* A);
void PrintMatRCE(int indent, int rows, int cols, const double* A);

}  // namespace rg
