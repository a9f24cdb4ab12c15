// Console module: fixed printer layouts and waits that never hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "core/console.h"
#include "support.h"

using namespace rg;

TEST(Printers, VectorLayouts) {
  rgtest::Capture cap;
  const double a[3] = {1.5, -2.25, 100};
  PrintVec(0, 2, a);
  EXPECT_EQ(cap.text(), "(  1.5000 -2.2500 100.0000)");
  cap.clear();
  PrintVec(1, 0, a);
  EXPECT_EQ(cap.text(), "()");
  cap.clear();
  PrintVec3f(0, 1, a);
  EXPECT_EQ(cap.text(), "(    1.500   -2.250)");
  cap.clear();
  PrintVecE3(2, 2, a);
  EXPECT_EQ(cap.text(), "(   1.000e+02)");
  cap.clear();
  PrintVecE4(0, 0, a);
  EXPECT_EQ(cap.text(), "(   1.5000e+00)");
  cap.clear();
  PrintVecE6(0, 0, a);
  EXPECT_EQ(cap.text(), "(   1.500000e+00)");
}

TEST(Printers, PrecisionChoiceAndRowBreak) {
  rgtest::Capture cap;
  const double a[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  PrintVecF(0, 1, 1, a);
  EXPECT_EQ(cap.text(), "(  0.0  1.0)");
  cap.clear();
  PrintVecF(0, 0, 10, a);  // unknown precision prints no elements
  EXPECT_EQ(cap.text(), "()");
  cap.clear();
  PrintVecF(0, 8, 7, a);
  EXPECT_EQ(cap.text(),
            "(  0.0000000  1.0000000  2.0000000  3.0000000  4.0000000  5.0000000)\n"
            "  (  6.0000000  7.0000000  8.0000000)");
  cap.clear();
  PrintVecF(0, 8, 6, a);  // no break at precision 6
  EXPECT_EQ(cap.text().find('\n'), std::string::npos);
}

TEST(Printers, MatrixLayouts) {
  rgtest::Capture cap;
  const double E[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  PrintMatI(0, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            "(  0.000000  1.000000  0.000000)\n"
            "(  0.000000  0.000000  1.000000)");
  cap.clear();
  PrintMatI(1, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            " (  0.000000  1.000000  0.000000)\n"
            " (  0.000000  0.000000  1.000000)");
  cap.clear();
  PrintMat(3, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            "   (  0.000000  1.000000  0.000000)\n"
            "   (  0.000000  0.000000  1.000000)");
  cap.clear();
  const double A[6] = {1, 2, 3, 4, 5, 6};
  PrintMatRC(2, 2, 3, A);
  EXPECT_EQ(cap.text(),
            "(  1.000000  2.000000  3.000000)\n"
            "  (  4.000000  5.000000  6.000000)");
  cap.clear();
  PrintMatRCE(0, 1, 2, A);
  EXPECT_EQ(cap.text(), "(   1.000e+00   2.000e+00)");
}

// Runs f with standard input replaced by the given bytes (or a closed pipe).
template <class F>
void WithStdin(const std::string& bytes, F f) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  if (!bytes.empty()) {
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  close(fds[1]);
  const int saved = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  f();
  dup2(saved, STDIN_FILENO);
  close(saved);
}

TEST(Pauses, WaitReadsUntilTheWantedKey) {
  con::SetKeyMode(con::KeyMode::Console);
  WithStdin("xye", [] {
    rgtest::Capture cap;
    con::WaitForKey('e');
    EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=e\nInput getch()=e");
  });
  con::SetKeyMode(con::KeyMode::AutoAnswer);
}

TEST(Pauses, ClosedInputNeverHangs) {
  con::SetKeyMode(con::KeyMode::Console);
  WithStdin("", [] {
    rgtest::Capture cap;
    EXPECT_EQ(con::PauseKey(), -1);
    con::WaitForKey('e');  // returns at once at end of input
    con::WaitForKey('e');
    EXPECT_EQ(cap.text(), "\ngetch()\nInput getch()=e\nInput getch()=e");
  });
  WithStdin("ab", [] {
    rgtest::Capture cap;
    con::WaitForKey('e');  // wrong keys, then end of input: returns
    EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=e\nInput getch()=e");
  });
  con::SetKeyMode(con::KeyMode::AutoAnswer);
}

TEST(Pauses, AutoAnswerReturnsTheRequestedKey) {
  con::SetKeyMode(con::KeyMode::AutoAnswer);
  rgtest::Capture cap;
  EXPECT_EQ(con::PauseKeyEcho('e'), 'e');
  con::WaitForKey('n');
  EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=n");
}

TEST(Capture, JapaneseTextIsKeptAsUtf8) {
  rgtest::Capture cap;
  con::Printf("\n%s=%d", "行き詰まり", 3);
  EXPECT_EQ(cap.text(), "\n\xE8\xA1\x8C\xE3\x81\x8D\xE8\xA9\xB0\xE3\x81\xBE\xE3\x82\x8A=3");
  cap.clear();
  std::string longText(3000, 'a');
  con::Printf("%s", longText.c_str());
  EXPECT_EQ(cap.text().size(), 3000u);
}

TEST(Pauses, ASilentPipeDoesNotHoldTheProgram) {
  con::SetKeyMode(con::KeyMode::Console);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);  // the write end stays open: no data, no end of input
  const int saved = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  {
    rgtest::Capture cap;
    con::WaitForKey('e');
    EXPECT_EQ(cap.text(), "\nInput getch()=e");
  }
  dup2(saved, STDIN_FILENO);
  close(saved);
  close(fds[0]);
  close(fds[1]);
  con::SetKeyMode(con::KeyMode::AutoAnswer);
}
