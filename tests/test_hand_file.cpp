// Hands from description files: the built-in hands' files give the catalogue's
// models bit for bit and the same runs, and what the family cannot express is
// refused with one line naming the element and its line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "batch_run.h"
#include "core/model.h"
#include "hand/hand_file.h"

namespace {

std::string HandPath(const std::string& file) {
  return std::string(RG_SOURCE_DIR) + "/hands/" + file;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// 1-based line of the first occurrence of needle in text (0: none)
int LineOf(const std::string& text, const std::string& needle) {
  const size_t at = text.find(needle);
  if (at == std::string::npos) return 0;
  int line = 1;
  for (size_t i = 0; i < at; ++i) line += text[i] == '\n';
  return line;
}

// Keys of a whole default run: the grasp, then more manipulation steps than it takes.
std::string DefaultRun(int fingers, char work) {
  return std::string("W") + work + "G" + std::string(fingers, 's') + "A" + std::string(360, 's');
}

TEST(HandFile, BuiltInHandFilesAreTheCatalogueBitForBit) {
  for (int h = 1; h <= 4; ++h) {
    SCOPED_TRACE(h);
    const rg::HandFileResult r = rg::LoadHandFile(HandPath("hand" + std::to_string(h) + ".urdf"));
    ASSERT_TRUE(r.model) << r.error;
    EXPECT_EQ(rg::ModelDifference(*r.model, *rg::CatalogueModel(h)), "");
  }
  // the comparison sees a difference in the last bit
  rg::Model other = *rg::CatalogueModel(2);
  other.mountCylinder[3].base[0] = std::nextafter(other.mountCylinder[3].base[0], 1e9);
  EXPECT_EQ(rg::ModelDifference(other, *rg::CatalogueModel(2)), "mountCylinder[3]");
}

TEST(HandFile, RunsOfTheBuiltInHandsFromTheirFilesAreTheCatalogueRuns) {
  for (int h = 1; h <= 4; ++h) {
    for (char work : {'1', '2'}) {
      SCOPED_TRACE(std::to_string(h) + work);
      const std::string keys = DefaultRun(h % 2 == 1 ? 2 : 3, work);
      const rgtest::BatchRun cat =
          rgtest::RunBatchFiles("rg-handfile", "cat", "H" + std::to_string(h) + keys);
      const rgtest::BatchRun file = rgtest::RunBatchFiles(
          "rg-handfile", "file", keys, "--hand " + HandPath("hand" + std::to_string(h) + ".urdf"));
      ASSERT_GT(cat.csv.size(), 10u);  // the run stored rows
      EXPECT_EQ(file.csv, cat.csv);
      ASSERT_FALSE(file.state.empty());
      EXPECT_NE(file.state.back().find("\"HAND1\":0,"), std::string::npos);
    }
  }
}

// What the family cannot express: each refusal is one line naming the element
// and the line it starts on.
TEST(HandFile, RefusalsNameTheElementAndItsLine) {
  const std::string hand1 = ReadText(HandPath("hand1.urdf"));
  ASSERT_FALSE(hand1.empty());
  auto replaced = [&](const std::string& from, const std::string& to, bool all = false) {
    std::string t = hand1;
    EXPECT_NE(t.find(from), std::string::npos) << from;
    for (size_t at = 0; (at = t.find(from, at)) != std::string::npos; at += to.size()) {
      t.replace(at, from.size(), to);
      if (!all) break;
    }
    return t;
  };
  // a third to sixth finger: copies of finger 2
  std::string six = hand1;
  const size_t f2 = six.find("  <joint name=\"finger2_mount\""), end = six.find("</robot>");
  const std::string finger2 = six.substr(f2, end - f2);
  for (int k = 3; k <= 6; ++k) {
    std::string copy = finger2;
    for (size_t p; (p = copy.find("finger2")) != std::string::npos;)
      copy.replace(p, 7, "finger" + std::to_string(k));
    six.insert(six.find("</robot>"), copy);
  }
  const std::string link3 = "<link name=\"finger1_link3\">";
  std::string noCylinder = hand1;
  noCylinder.replace(
      noCylinder.find(link3),
      noCylinder.find("</link>", noCylinder.find(link3)) + 7 - noCylinder.find(link3),
      "<link name=\"finger1_link3\"/>");
  const std::string loop =
      replaced("</robot>",
               "  <joint name=\"again\" type=\"fixed\">\n    <parent link=\"finger2_tip\"/>\n"
               "    <child link=\"finger1_link2\"/>\n  </joint>\n</robot>");

  struct Case {
    const char* what;
    std::string xml, element, lineOf, says;
  };
  const Case cases[] = {
      {"continuous joint",
       replaced("\"finger1_joint2\" type=\"revolute\"", "\"finger1_joint2\" type=\"continuous\""),
       "joint 'finger1_joint2'", "<joint name=\"finger1_joint2\"", "revolute"},
      {"prismatic joint",
       replaced("\"finger2_joint4\" type=\"revolute\"", "\"finger2_joint4\" type=\"prismatic\""),
       "joint 'finger2_joint4'", "<joint name=\"finger2_joint4\"", "revolute"},
      {"link without cylinder", noCylinder, "link 'finger1_link3'", "<link name=\"finger1_link3\"",
       "cylinder"},
      {"six fingers", six, "joint 'finger6_mount'", "<joint name=\"finger6_mount\"", "at most 5"},
      {"loop", loop, "joint 'again'", "<joint name=\"again\"", "loop"},
      {"links thicker than half their length", replaced("radius=\"12\"", "radius=\"41\"", true),
       "link 'finger1_link3'", link3, "below half its length"},
      {"a palm beyond any hand", replaced("radius=\"35\"", "radius=\"1e300\""), "link 'palm'",
       "<link name=\"palm\"", "palm radius 1e+300 must lie in"},
      {"not XML", hand1.substr(0, hand1.size() / 2), "", "", "not well-formed"},
      {"no robot", "<?xml version=\"1.0\"?>\n<hand/>\n", "hand", "<hand", "<robot>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const rg::HandFileResult r = rg::ParseHandDescription(c.xml, "my.urdf");
    EXPECT_FALSE(r.model);
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    if (c.element.empty()) continue;
    const std::string at =
        "my.urdf:" + std::to_string(LineOf(c.xml, c.lineOf)) + ": " + c.element + ":";
    EXPECT_EQ(r.error.rfind(at, 0), 0u) << r.error << "\nexpected to start with " << at;
  }
}

// The malformed files of the fuzzer's corpus are each refused with one line that
// names the file and a line in it.
TEST(HandFile, TheMalformedCorpusIsRefusedLineByLine) {
  namespace fs = std::filesystem;
  int files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(RG_SOURCE_DIR) / "fuzz" / "hand-files")) {
    const std::string path = e.path().string();
    SCOPED_TRACE(path);
    const rg::HandFileResult r = rg::LoadHandFile(path);
    EXPECT_FALSE(r.model);
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    ASSERT_EQ(r.error.rfind(path + ":", 0), 0u) << r.error;
    EXPECT_GT(std::atoi(r.error.c_str() + path.size() + 1), 0) << r.error;  // a line number
    ++files;
  }
  EXPECT_GE(files, 10);
}

// The batch driver refuses with status 2 and the one line.
TEST(HandFile, TheBatchDriverRefusesWithStatus2) {
  const std::string out = testing::TempDir() + "/rg-handfile-refused.txt";
  const std::string malformed =
      std::string(RG_SOURCE_DIR) + "/fuzz/hand-files/continuous-joint.urdf";
  const std::pair<std::string, std::string> cases[] = {
      {"--hand=/nonexistent/x.urdf",
       "rollgrasp-batch: /nonexistent/x.urdf: cannot read the hand file\n"},
      {"--hand " + malformed,
       "rollgrasp-batch: " + malformed +
           ":25: joint 'finger1_joint2': type continuous: a finger's joints are revolute\n"}};
  for (const auto& [option, says] : cases) {
    const std::string cmd =
        std::string(RG_BUILD_DIR) + "/rollgrasp-batch " + option + " G 2>" + out;
    const int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
    EXPECT_EQ(ReadText(out), says);
  }
}

}  // namespace
