// Hands from description files: the built-in hands' files give the catalogue's
// models bit for bit and the same runs, and what the family cannot express is
// refused with one line naming the element and its line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "batch_run.h"
#include "core/model.h"
#include "hand/hand_file.h"
#include "support.h"

namespace {

std::string HandPath(const std::string& file) {
  return rgtest::SourcePath("hands/" + file).string();
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
  const std::string hand1 = rgtest::ReadText(HandPath("hand1.urdf"));
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
  const std::string palmEnd = "</geometry>\n    </collision>\n  </link>";
  const std::string secondDisc =
      replaced(palmEnd,
               "</geometry>\n    </collision>\n    <collision>\n      <origin "
               "rpy=\"1.5707963267948966 0 0\"/>\n"
               "      <geometry><cylinder radius=\"50\" length=\"5\"/></geometry>\n"
               "    </collision>\n  </link>");
  const std::string tipEnd = "<geometry><sphere radius=\"12\"/></geometry>";
  const std::string secondBall =
      replaced(tipEnd, std::string(tipEnd) +
                           "\n    </collision>\n    <collision>\n"
                           "      <geometry><sphere radius=\"12.0\"/></geometry>");
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
      {"two discs on the palm, the last of which won", secondDisc, "cylinder in link 'palm'",
       "<cylinder radius=\"50\"", "a second cylinder collision shape"},
      {"two balls on a fingertip", secondBall, "sphere in link 'finger1_tip'",
       "<sphere radius=\"12.0\"", "a second sphere collision shape"},
      {"two fingers on one mount",
       replaced("xyz=\"-3.5723883770798737e-10 0 -35.0\" rpy=\"0 3.1415926536 0\"",
                "xyz=\"0 0 35.0\" rpy=\"0 0.0 0\""),
       "joint 'finger2_mount'", "<joint name=\"finger2_mount\"",
       "its base is 0 from finger 1's (line 10): fingers' bases stand at least the links' "
       "thickness 24 apart"},
      {"a finger mounted beyond any hand", replaced("xyz=\"0 0 35.0\"", "xyz=\"0 0 1e300\""),
       "origin in joint 'finger1_mount'", "xyz=\"0 0 1e300\"",
       "xyz '0 0 1e300' must be three numbers within +-10000 length units"},
      {"a mount turned 1e300 radians", replaced("rpy=\"0 0.0 0\"", "rpy=\"0 1e300 0\""),
       "origin in joint 'finger1_mount'", "rpy=\"0 1e300 0\"", "within +-6.28319 radians"},
      {"an initial angle of 1e300 radians",
       replaced("<initial_angle value=\"0.01\"/>", "<initial_angle value=\"-1e300\"/>"),
       "initial_angle in joint 'finger1_joint1'", "value=\"-1e300\"", "within +-6.28319 radians"},
      {"a palm of 1e-300", replaced("radius=\"35\"", "radius=\"1e-300\""), "link 'palm'",
       "<link name=\"palm\"", "palm radius 1e-300 must lie in [0.001, 10000] length units"},
      {"links of radius 1e-300", replaced("radius=\"12\"", "radius=\"1e-300\"", true),
       "link 'finger1_link3'", link3, "finger link radius 1e-300 must lie in [0.001, 10000]"},
      {"a limit urdfdom cannot read, named by the joint", replaced("effort=\"0\"", "effort=\"\""),
       "joint 'finger1_joint1'", "<joint name=\"finger1_joint1\"",
       "effort value () is not a valid float"},
      {"a collision shape urdfdom leaves out", replaced("radius=\"35\"", "radius=\"wide\""),
       "link 'palm'", "<link name=\"palm\"", "radius [wide] is not a valid float"},
      {"a ball urdfdom cannot read, on a link named as its joint",
       replaced("<sphere radius=\"12\"/>", "<sphere radius=\"round\"/>"), "link 'finger1_tip'",
       "<link name=\"finger1_tip\"", "radius [round] is not a valid float"},
      {"no fingers", hand1.substr(0, hand1.find("  <joint name=")) + "</robot>\n", "link 'palm'",
       "<link name=\"palm\"", "0 finger(s) mounted on it"},
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

// One attribute of a built-in hand file, and what its element relates to, for the
// mutation test. The built-in files are plain: one tag a line or less, values in
// double quotes, no markup inside comments.
struct AttributeSite {
  size_t at = 0, length = 0;  // the attribute, name="value"
  size_t valueAt = 0, valueLength = 0;
  int line = 0;             // its element's line
  std::vector<int> around;  // lines of the elements around it, the robot's excepted
  std::string owner;        // "link name" or "joint name" it is part of ("" for the robot's)
  std::string value;
};

struct HandFileSites {
  std::vector<AttributeSite> sites;
  // "link name" or "joint name": its line, and the joints and links it names or is
  // named by ("<mount>_cylinder" names its finger's mount)
  std::map<std::string, int> lineOf;
  std::map<std::string, std::vector<std::string>> related;
};

HandFileSites SitesOf(const std::string& t) {
  HandFileSites h;
  std::vector<std::pair<std::string, int>> open;  // enclosing elements: "tag name", line
  std::string joint;
  for (size_t i = t.find('<'); i != std::string::npos; i = t.find('<', i + 1)) {
    if (t.compare(i, 4, "<!--") == 0) {
      i = t.find("-->", i);
      continue;
    }
    if (t[i + 1] == '?') continue;
    if (t[i + 1] == '/') {
      open.pop_back();
      continue;
    }
    const size_t end = t.find('>', i);
    const int line = 1 + static_cast<int>(std::count(t.begin(), t.begin() + i, '\n'));
    const std::string tag = t.substr(i + 1, t.find_first_of(" />", i + 1) - i - 1);
    std::string name;
    for (size_t a = t.find('=', i); a < end; a = t.find('=', a + 1)) {
      AttributeSite s;
      s.at = t.rfind(' ', a) + 1;
      s.valueAt = a + 2;
      s.valueLength = t.find('"', a + 2) - s.valueAt;
      s.length = s.valueAt + s.valueLength + 1 - s.at;
      s.value = t.substr(s.valueAt, s.valueLength);
      s.line = line;
      for (size_t k = 1; k < open.size(); ++k) s.around.push_back(open[k].second);
      if (t.compare(s.at, 5, "name=") == 0) name = s.value;
      s.owner = open.size() > 1 ? open[1].first : open.size() == 1 ? tag + " " + name : "";
      h.sites.push_back(s);
    }
    if (open.size() == 1) {
      h.lineOf[tag + " " + name] = line;
      if (tag == "joint") joint = "joint " + name;
      const size_t mount = name.rfind("_cylinder");
      if (tag == "joint" && mount != std::string::npos) {
        h.related[joint].push_back("joint " + name.substr(0, mount));
        h.related["joint " + name.substr(0, mount)].push_back(joint);
      }
    }
    if (open.size() == 2 && (tag == "parent" || tag == "child")) {
      h.related[joint].push_back("link " + h.sites.back().value);
      h.related["link " + h.sites.back().value].push_back(joint);
    }
    if (t[end - 1] != '/') open.emplace_back(tag + " " + name, line);
  }
  return h;
}

// Whether the refusal is one line a terminal shows as it is: no control byte
// (C0, DEL, or C1 as UTF-8) but as \xHH text.
bool PrintableOneLine(const std::string& error) {
  for (size_t i = 0; i < error.size(); ++i) {
    const auto c = static_cast<unsigned char>(error[i]);
    if (c < 0x20 || c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < error.size() &&
        (static_cast<unsigned char>(error[i + 1]) & 0xE0) == 0x80)
      return false;
  }
  return true;
}

// hand1's text with extra elements nested inside its palm link (depth 2), so
// that the deepest of them is levels + 2 deep; each level is a line of its own: an
// empty element and, adding no depth, a comment, CDATA, a processing instruction
// and quoted values that look like tags, then the element that opens the level.
std::string Hand1NestedInThePalm(int levels) {
  std::string t = rgtest::ReadText(HandPath("hand1.urdf"));
  std::string nest;
  for (int k = 0; k < levels; ++k)
    nest += "<e/><!-- <z> --><![CDATA[<z>]]><?z?><x a='>' b=\"<y>\">\n";
  for (int k = 0; k < levels; ++k) nest += "</x>";
  const std::string palm = "<link name=\"palm\">\n";
  t.insert(t.find(palm) + palm.size(), nest + "\n");
  return t;
}

// Text no parser should see: refused in one pass before TinyXML and urdfdom
// read it (they recurse once per level of nesting), with one printable line that
// names the line where the fault is.
TEST(HandFile, HostileTextIsRefusedBeforeAnyParserAtItsLine) {
  const std::string hand1 = rgtest::ReadText(HandPath("hand1.urdf"));
  ASSERT_FALSE(hand1.empty());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string t = hand1;
    EXPECT_NE(t.find(from), std::string::npos) << from;
    return t.replace(t.find(from), from.size(), to);
  };
  // 40 000 levels, one a line after the robot's on line 2: the 33rd level is line 34
  std::string deep = "<?xml version=\"1.0\"?>\n<robot name=\"deep\">\n";
  for (int k = 0; k < 40000; ++k) deep += "<a>\n";
  const int palmLine = LineOf(hand1, "<link name=\"palm\">");
  const std::string laughs =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE robot [\n <!ENTITY a \"aaaaaaaaaa\">\n"
      " <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n]>\n<robot name=\"&b;\"/>\n";
  const std::string external =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE robot [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
      "<robot name=\"&x;\"/>\n";
  struct Case {
    const char* what;
    std::string xml;
    int line;
    std::string says;
  };
  const Case cases[] = {
      {"40 000 levels", deep, 34, "a: nested 33 elements deep: a hand file nests at most 32"},
      {"one level too many behind decoys", Hand1NestedInThePalm(31), palmLine + 31,
       "e: nested 33 elements deep"},
      {"entities expanding a billion times", laughs, 2,
       "<!DOCTYPE: a document type or entity declaration"},
      {"an external entity", external, 2, "<!DOCTYPE: a document type"},
      {"a Latin-1 robot name", replaced("RQPP 2-Finger", "Main \xE0 deux doigts"), 3,
       "byte \\xE0 is not UTF-8"},
      {"an overlong '/'", replaced("finger1_joint2\"", "finger1_joint2\xC0\xAF\""), 25,
       "byte \\xC0 is not UTF-8"},
      {"a surrogate", replaced("finger1_link4\"", "finger1_link4\xED\xA0\x80\""),
       LineOf(hand1, "finger1_link4\""), "byte \\xED is not UTF-8"},
      {"a terminal escape in a name", replaced("finger1_joint2\"", "finger1_joint2\x1B[2J\""), 25,
       "control character \\x1B"},
      {"a NUL, after which TinyXML would read nothing",
       replaced("</robot>", std::string("\0<x/>", 5)), LineOf(hand1, "</robot>"),
       "control character \\x00"},
      {"a control character through a reference", replaced("RQPP 2-Finger", "a&#27;[2Jb"), 3,
       "'&' starts no reference to an allowed character"},
      {"a reference without its ';'", replaced("RQPP 2-Finger", "a&#x1b"), 3,
       "'&' starts no reference"},
      {"an unquoted value", replaced("type=\"revolute\"", "type=revolute"), 16,
       "the value of attribute 'type' of <joint> is not quoted"},
      {"a '<' that starts no tag", replaced("</robot>", "< robot>"), LineOf(hand1, "</robot>"),
       "'<' starts no tag"},
      {"a processing instruction ending early", replaced("<robot", "<?a > <b> ?>\n<robot"), 3,
       "a processing instruction ends with '?>' at its first '>'"},
      {"a comment without its end", replaced("<link name=\"palm\">", "<!-- <link name=\"palm\">"),
       palmLine, "a comment without its end '-->'"},
      {"an element of 33 attributes",
       replaced(
           "<link name=\"palm\">", "<link name=\"palm\"" +
                                       [] {
                                         std::string a;
                                         for (int k = 0; k < 33; ++k)
                                           a += " a" + std::to_string(k) + "=\"\"";
                                         return a;
                                       }() +
                                       ">"),
       palmLine, "<link> has more than 32 attributes"},
      {"a name with a C1 control (a terminal's CSI)", replaced("RQPP 2-Finger", "a&#x9B;2Jb"), 3,
       "robot 'a\\xC2\\x9B2Jb': a control character in the name"},
      {"DEL in a joint's type", replaced("type=\"revolute\"", "type=\"revolute\x7F\""), 16,
       "has no known type [revolute\\x7F]"},
      {"an empty file", "", 1, "not well-formed XML"},
      {"nothing but a comment", "<?xml version=\"1.0\"?>\n<!-- a\nhand -->\n\n", 3,
       "no element here: the file's root element must be <robot>"},
      {"text before the root", "<!-- a hand -->\nhand\n<robot name=\"r\"/>\n", 2,
       "no element here"},
      {"more than the largest hand file", hand1 + std::string(rg::kMaxHandFileBytes, ' '), 0,
       "more than 262144 bytes: a hand file is at most 256 kB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const rg::HandFileResult r = rg::ParseHandDescription(c.xml, "my.urdf");
    EXPECT_FALSE(r.model);
    EXPECT_TRUE(PrintableOneLine(r.error)) << r.error;
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    const std::string at = c.line > 0 ? "my.urdf:" + std::to_string(c.line) + ": " : "my.urdf: ";
    EXPECT_EQ(r.error.rfind(at, 0), 0u) << r.error << "\nexpected to start with " << at;
  }
  // the largest depth is no fault: hand1 with its palm 32 deep is hand 1
  const rg::HandFileResult nested = rg::ParseHandDescription(Hand1NestedInThePalm(30), "my.urdf");
  ASSERT_TRUE(nested.model) << nested.error;
  EXPECT_EQ(rg::ModelDifference(*nested.model, *rg::CatalogueModel(1)), "");
}

// The file is read through a bounded window: an endless device, a file one byte
// too large and a directory are refused with one line; a file of the largest size
// is read whole.
TEST(HandFile, TheFileIsReadUpToItsBound) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::path(testing::TempDir()) / ("rg-handfile-read-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string hand1 = rgtest::ReadText(HandPath("hand1.urdf"));
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  };
  // hand 1 padded with a comment to exactly the largest size, and one byte beyond
  std::string largest = hand1 + "<!--";
  largest += std::string(rg::kMaxHandFileBytes - largest.size() - 2, '-') + "->";
  ASSERT_EQ(largest.size(), rg::kMaxHandFileBytes);
  const std::string atBound = write("largest.urdf", largest);
  const rg::HandFileResult whole = rg::LoadHandFile(atBound);
  ASSERT_TRUE(whole.model) << whole.error;
  EXPECT_EQ(rg::ModelDifference(*whole.model, *rg::CatalogueModel(1)), "");

  ASSERT_TRUE(fs::exists("/dev/zero"));
  const std::string strange = (dir / "no\x1B[2Jsuch.urdf").string();
  const std::pair<std::string, std::string> cases[] = {
      {"/dev/zero", "/dev/zero: more than 262144 bytes: a hand file is at most 256 kB"},
      {write("beyond.urdf", largest + " "),
       (dir / "beyond.urdf").string() + ": more than 262144 bytes: a hand file is at most 256 kB"},
      {dir.string(), dir.string() + ": is a directory, not a hand file"},
      {strange, (dir / "no\\x1B[2Jsuch.urdf").string() + ": cannot read the hand file"},
  };
  for (const auto& [path, says] : cases) {
    SCOPED_TRACE(path);
    const rg::HandFileResult r = rg::LoadHandFile(path);
    EXPECT_FALSE(r.model);
    EXPECT_EQ(r.error, says);
  }
  fs::remove_all(dir);
}

// Every attribute of every built-in hand file, deleted, emptied or made NaN, huge,
// tiny, negative or a word: a refusal names the line of the mutated element, of one
// around it, or of a link or joint it is part of or names, and the robot's line
// only for the robot's own attributes; what is read is finite and within bounds.
TEST(HandFile, MutatedBuiltInFilesAreRefusedAtTheMutatedElement) {
  namespace fs = std::filesystem;
  int files = 0, refused = 0;
  for (const auto& e : fs::directory_iterator(rgtest::SourcePath("hands"))) {
    if (e.path().extension() != ".urdf") continue;
    const std::string text = rgtest::ReadText(e.path().string());
    const HandFileSites h = SitesOf(text);
    ASSERT_GT(h.sites.size(), 100u) << e.path();
    ++files;
    for (const AttributeSite& s : h.sites) {
      const std::string negative =
          s.value.empty() || s.value[0] == '-' ? s.value.substr(1) : "-" + s.value;
      for (const char* to : {"", "nan", "1e300", "1e-300", "word", "-", "delete"}) {
        std::string t = text;
        if (std::string(to) == "delete")
          t.erase(s.at - 1, s.length + 1);
        else
          t.replace(s.valueAt, s.valueLength, std::string(to) == "-" ? negative : to);
        const rg::HandFileResult r = rg::ParseHandDescription(t, "m.urdf");
        const std::string what = e.path().filename().string() + ":" + std::to_string(s.line) + " " +
                                 text.substr(s.at, s.length) + " -> '" + to + "': ";
        if (r.model) {
          const rg::Model& m = *r.model;
          EXPECT_TRUE(m.lFin >= 1e-3 && m.lFin <= 1e4 && m.aFin >= 1e-3 && m.rPalm >= 1e-3 &&
                      m.rPalm <= 1e4 && m.hPalm >= 1e-3 && m.hPalm <= 1e4)
              << what;
          for (int kf = 1; kf <= m.nF; ++kf)
            for (int i = 0; i < 3; ++i)
              EXPECT_TRUE(std::fabs(m.mountSphere[kf].base[i]) <= 1e4 &&
                          std::fabs(m.mountCylinder[kf].base[i]) <= 1e4 &&
                          std::fabs(m.qInit[kf][i + 1]) <= 6.3)
                  << what;
          continue;
        }
        ++refused;
        ASSERT_TRUE(PrintableOneLine(r.error)) << what << r.error;
        ASSERT_EQ(r.error.rfind("m.urdf:", 0), 0u) << what << r.error;
        const int line = std::atoi(r.error.c_str() + 7);
        std::vector<int> allowed = s.around;
        allowed.push_back(s.line);
        for (const std::string& name : {s.owner, "link " + s.value, "joint " + s.value}) {
          if (!h.lineOf.count(name)) continue;
          allowed.push_back(h.lineOf.at(name));
          if (h.related.count(name))
            for (const std::string& other : h.related.at(name))
              if (h.lineOf.count(other)) allowed.push_back(h.lineOf.at(other));
        }
        // a clash of two elements names the later one and the earlier's line
        const size_t also = r.error.find("(line ");
        const int other = also == std::string::npos ? 0 : std::atoi(r.error.c_str() + also + 6);
        EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), line) != allowed.end() ||
                    std::find(allowed.begin(), allowed.end(), other) != allowed.end())
            << what << r.error;
      }
    }
  }
  EXPECT_GE(files, 6);
  EXPECT_GT(refused, 2000);
}

// The malformed files of the fuzzer's corpus are each refused with one line that
// names the file and a line in it.
TEST(HandFile, TheMalformedCorpusIsRefusedLineByLine) {
  namespace fs = std::filesystem;
  int files = 0;
  for (const auto& e : fs::directory_iterator(rgtest::SourcePath("fuzz/hand-files"))) {
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
           ":25: joint 'finger1_joint2': type continuous: a finger's joints are revolute\n"},
      // an endless device is read no further than the largest hand file (it once
      // filled the memory), a directory is no XML to parse
      {"--hand /dev/zero",
       "rollgrasp-batch: /dev/zero: more than 262144 bytes: a hand file is at most 256 kB\n"},
      {"--hand " + std::string(RG_SOURCE_DIR) + "/hands",
       "rollgrasp-batch: " + std::string(RG_SOURCE_DIR) +
           "/hands: is a directory, not a hand file\n"}};
  for (const auto& [option, says] : cases) {
    const std::string cmd =
        rgtest::BuildPath("rollgrasp-batch") + " " + option + " G 2>" + out;
    const int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
    EXPECT_EQ(rgtest::ReadText(out), says);
  }
}

}  // namespace
