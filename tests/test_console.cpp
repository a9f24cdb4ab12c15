// Console module: fixed printer layouts and waits that never hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "core/console.h"
#include "support.h"

using namespace rg;

namespace {

// A console that keeps its text, with a capture-like view of it.
struct Kept {
  Console con;
  Kept() { con.KeepText(); }
  const std::string& text() const { return con.text(); }
  void clear() { con.ClearText(); }
};

}  // namespace

TEST(Printers, VectorLayouts) {
  Kept cap;
  const double a[3] = {1.5, -2.25, 100};
  PrintVec(cap.con, 0, 2, a);
  EXPECT_EQ(cap.text(), "(  1.5000 -2.2500 100.0000)");
  cap.clear();
  PrintVec(cap.con, 1, 0, a);
  EXPECT_EQ(cap.text(), "()");
}

TEST(Printers, PrecisionChoiceAndRowBreak) {
  Kept cap;
  const double a[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  PrintVecF(cap.con, 0, 1, 1, a);
  EXPECT_EQ(cap.text(), "(  0.0  1.0)");
  cap.clear();
  PrintVecF(cap.con, 0, 0, 10, a);  // unknown precision prints no elements
  EXPECT_EQ(cap.text(), "()");
  cap.clear();
  PrintVecF(cap.con, 0, 8, 7, a);
  EXPECT_EQ(cap.text(),
            "(  0.0000000  1.0000000  2.0000000  3.0000000  4.0000000  5.0000000)\n"
            "  (  6.0000000  7.0000000  8.0000000)");
  cap.clear();
  PrintVecF(cap.con, 0, 8, 6, a);  // no break at precision 6
  EXPECT_EQ(cap.text().find('\n'), std::string::npos);
}

TEST(Printers, MatrixLayouts) {
  Kept cap;
  const double E[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  PrintMatI(cap.con, 0, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            "(  0.000000  1.000000  0.000000)\n"
            "(  0.000000  0.000000  1.000000)");
  cap.clear();
  PrintMatI(cap.con, 1, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            " (  0.000000  1.000000  0.000000)\n"
            " (  0.000000  0.000000  1.000000)");
  cap.clear();
  PrintMat(cap.con, 3, E);
  EXPECT_EQ(cap.text(),
            "(  1.000000  0.000000  0.000000)\n"
            "   (  0.000000  1.000000  0.000000)\n"
            "   (  0.000000  0.000000  1.000000)");
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
  WithStdin("xye", [] {
    Kept cap;
    cap.con.WaitForKey('e');
    EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=e\nInput getch()=e");
  });
}

TEST(Pauses, ClosedInputNeverHangs) {
  WithStdin("", [] {
    Kept cap;
    EXPECT_EQ(cap.con.PauseKey(), -1);
    cap.con.WaitForKey('e');  // returns at once at end of input
    cap.con.WaitForKey('e');
    EXPECT_EQ(cap.text(), "\ngetch()\nInput getch()=e\nInput getch()=e");
  });
  WithStdin("ab", [] {
    Kept cap;
    cap.con.WaitForKey('e');  // wrong keys, then end of input: returns
    EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=e\nInput getch()=e");
  });
}

TEST(Pauses, AutoAnswerReturnsTheRequestedKeyAndTheHookSeesOnlyRealWaits) {
  Kept cap;
  int hooked = 0;
  cap.con.beforeWait = [&hooked](char) { ++hooked; };
  cap.con.SetKeyMode(Console::KeyMode::AutoAnswer);
  EXPECT_EQ(cap.con.PauseKeyEcho('e'), 'e');
  cap.con.WaitForKey('n');
  EXPECT_EQ(cap.text(), "\nInput getch()=e\nInput getch()=n");
  EXPECT_EQ(hooked, 0);
  cap.con.SetKeyMode(Console::KeyMode::Terminal);
  WithStdin("e", [&] { cap.con.WaitForKey('e'); });
  EXPECT_EQ(hooked, 1);
}

TEST(Capture, JapaneseTextIsKeptAsUtf8) {
  Kept cap;
  cap.con.Printf("\n%s=%d", "行き詰まり", 3);
  EXPECT_EQ(cap.text(), "\n\xE8\xA1\x8C\xE3\x81\x8D\xE8\xA9\xB0\xE3\x81\xBE\xE3\x82\x8A=3");
  cap.clear();
  std::string longText(3000, 'a');
  cap.con.Printf("%s", longText.c_str());
  EXPECT_EQ(cap.text().size(), 3000u);
}

TEST(Capture, TwoSimulationsKeepTheirOwnText) {
  Kept a, b;
  std::string external;
  b.con.CaptureInto(&external);
  a.con.Printf("one");
  b.con.Printf("two");
  a.con.Printf("three");
  EXPECT_EQ(a.text(), "onethree");
  EXPECT_EQ(external, "two");
  EXPECT_EQ(b.text(), "");
}

TEST(Pauses, ASilentPipeDoesNotHoldTheProgram) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);  // the write end stays open: no data, no end of input
  const int saved = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  {
    Kept cap;
    cap.con.WaitForKey('e');
    EXPECT_EQ(cap.text(), "\nInput getch()=e");
  }
  dup2(saved, STDIN_FILENO);
  close(saved);
  close(fds[0]);
  close(fds[1]);
}
