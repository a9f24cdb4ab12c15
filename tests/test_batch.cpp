// rollgrasp-batch as other tools use it: options, key escapes, JSON Lines state
// and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/export.h"
#include "core/program_dir.h"
#include "support.h"

using nlohmann::json;

namespace {


struct BatchRun {
  int status = -1;
  std::string out;
};

// Runs the batch driver with the given argument string (already shell-quoted); out
// holds its standard output, or with errors its standard error instead.
BatchRun Run(const std::string& args, bool errors) {
  BatchRun r;
  const std::string cmd = rgtest::BuildPath("rollgrasp-batch") + " " + args +
                          (errors ? " 2>&1 >/dev/null </dev/null" : " 2>/dev/null </dev/null");
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}
BatchRun Batch(const std::string& args) { return Run(args, false); }
BatchRun BatchErr(const std::string& args) { return Run(args, true); }

std::vector<json> ReadLines(const std::string& path) {
  std::vector<json> v;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) v.push_back(json::parse(line));
  return v;
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "rg_batch_" + name;
}

}  // namespace

// The programs' one reader of their own folder, where the planner and drawing
// modules and the viewer files beside them are looked for: for this test program,
// the build folder.
TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  std::string why = "unchanged";
  const std::string dir = rg::ProgramDir(&why);
  ASSERT_FALSE(dir.empty()) << why;
  EXPECT_EQ(why, "unchanged");
  EXPECT_NE(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(dir, rgtest::BuildPath("")));
}

TEST(BatchDriver, StartUpOutputMatchesTheWindowProgram) {
  const BatchRun r = Batch("''");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("\n●main()W:-----ワークの描画 WORK1=2", 0), 0u);
  EXPECT_NE(r.out.find("//---------------------------------------------------------------------//\n"),
            std::string::npos);
}

TEST(BatchDriver, OneStateLinePerKeyWithTheContractFields) {
  const std::string path = TempPath("state1.jsonl");
  const BatchRun r = Batch("--state " + path + " 'MXJ23pIp'");
  ASSERT_EQ(r.status, 0);
  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_TRUE(lines[0]["key"].is_null());
  EXPECT_EQ(lines[1]["key"], "M");
  const json& last = lines.back();
  for (const char* f : {"key", "console", "redraws", "sgnCAL", "sgnCALold", "sgnCALS", "sgnCALGEnd",
                        "sgnGRASP", "sgnCALGChk", "sgnMANIP", "sgnGC", "sgnCalColl", "sgnFJ", "HAND1",
                        "nF", "nJ", "nFIN", "cntQ", "COLLkf", "cntManip0", "cntMainip1", "cntRepeat",
                        "WORK1", "ManipTS", "al0", "bet0", "qam0", "WorkVel", "rwG0", "rwG", "RWW", "vw",
                        "omww", "omw", "rot", "trans", "EwG0", "EwG", "EWW", "fingers", "ManipRW2",
                        "ManipEW2", "dt"})
    EXPECT_TRUE(last.contains(f)) << f;
  EXPECT_EQ(lines[0]["sgnCALold"], "");  // the zero character
  EXPECT_EQ(lines[2]["rwG0"][0], 1.0);   // 'X' in mode 'M'
  EXPECT_EQ(last["sgnCAL"], "I");
  EXPECT_EQ(last["rot"][0], 3.0);
  EXPECT_EQ(last["sgnFJ"], "23");
  ASSERT_EQ(last["fingers"].size(), 2u);
  const json& f2 = last["fingers"][1];
  EXPECT_EQ(f2["kf"], 2);
  EXPECT_NEAR(f2["qq0"][2].get<double>(), 0.7853981639 + 0.05, 1e-12);
  for (const char* f : {"qq0", "qf", "q", "GGTYPE", "sgnGRASPM", "sgnUML", "sgnC", "Lf", "fif", "psif",
                        "Lw", "Ltw", "thw", "alw", "betw", "CPNT", "NW", "JA"})
    EXPECT_TRUE(f2.contains(f)) << f;
  EXPECT_EQ(f2["JA"].size(), 6u);  // joints 0..nJ+1
  EXPECT_EQ(lines[1]["redraws"], 1);
  // full double precision: the default angle survives the round trip exactly
  EXPECT_EQ(lines[0]["al0"].get<double>(), 0.7853981639);
}

TEST(BatchDriver, KeyEscapesAndKeysFile) {
  const std::string path = TempPath("state2.jsonl");
  BatchRun r = Batch("--state " + path + " 'I\\x50\\\\\\e'");
  EXPECT_EQ(r.status, 0);  // Escape in mode 'I' ends the run with status 0
  auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2]["key"], "P");
  EXPECT_EQ(lines[3]["key"], "\\");
  EXPECT_EQ(lines[4]["key"], "\x1b");
  EXPECT_EQ(lines[4]["rot"][0], 5.0);

  const std::string keys = TempPath("keys.bin");
  {
    std::ofstream k(keys, std::ios::binary);
    k << "H2" << '\xff' << '\0' << "I" << '\x1b' << "XX";  // stops at the Escape
  }
  r = Batch("--state " + path + " --keys-file " + keys);
  EXPECT_EQ(r.status, 0);
  lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2]["HAND1"], 2);
  EXPECT_EQ(lines[3]["key"], "\xc3\xbf");  // byte 255 as one character
  EXPECT_EQ(lines[4]["key"], std::string("\0", 1));
}

TEST(BatchDriver, BadArgumentsAndUnwritableFiles) {
  EXPECT_EQ(Batch("--frobnicate x").status, 2);
  EXPECT_EQ(Batch("'ab\\q'").status, 2);
  EXPECT_EQ(Batch("'\\x4'").status, 2);
  EXPECT_EQ(Batch("--keys-file /nonexistent/keys").status, 2);
  EXPECT_EQ(Batch("--state").status, 2);
  EXPECT_EQ(Batch("--state /nonexistent/dir/s.jsonl G").status, 1);
  EXPECT_EQ(Batch("--frames").status, 2);
}

TEST(BatchDriver, GraspQualityOptionsSetTheJudgement) {
  struct Case {
    const char* options;
    bool holds;  // the default two-finger grasp in force closure
    const char* model;
  };
  for (const Case k : {Case{"", true, "soft"}, Case{"--contact point", false, "point"},
                       Case{"--contact soft --friction 0 --torsion 0", false, "soft"},
                       Case{"--friction 0.8 --cone-edges 12", true, "soft"}}) {
    SCOPED_TRACE(k.options);
    const std::string path = TempPath("quality.jsonl");
    ASSERT_EQ(Batch(std::string(k.options) + " --state " + path + " Gss").status, 0);
    const json q = ReadLines(path).back()["quality"];
    EXPECT_EQ(q["force_closure"].get<bool>(), k.holds);
    EXPECT_EQ(q["epsilon"].get<double>() > 0.0, k.holds);
    EXPECT_EQ(q["model"].get<std::string>(), k.model);
  }
  // bad values are usage errors
  for (const char* bad : {"--friction -1 G", "--friction x G", "--cone-edges 2 G", "--contact hard G",
                          "--torsion"})
    EXPECT_EQ(Batch(bad).status, 2) << bad;
}

TEST(BatchDriver, HelpListsEveryOption) {
  const BatchRun r = Batch("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: rollgrasp-batch ", 0), 0u);
  for (const char* o : {"--state", "--trajectory", "--snapshot", "--frames", "--keys-file", "--friction",
                        "--torsion", "--contact", "--cone-edges", "--state-volume"})
    EXPECT_NE(r.out.find(std::string("\n  ") + o + " "), std::string::npos) << o;
  EXPECT_EQ(r.out.find("ワーク"), std::string::npos);  // no start-up: nothing was run
}

TEST(BatchDriver, HelpAndADirectoryAsKeysFile) {
  for (const char* opt : {"-h", "--help"}) {
    SCOPED_TRACE(opt);
    const BatchRun r = Batch(opt);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: rollgrasp-batch"), std::string::npos);
    EXPECT_NE(r.out.find("--keys-file"), std::string::npos);
    EXPECT_EQ(r.out.find("\n//----"), std::string::npos);  // no start-up was run
  }
  // "-h" as keys after "--" is still two keys
  const std::string state = TempPath("dash_h.jsonl");
  EXPECT_EQ(Batch("--state " + state + " -- -h").status, 0);
  EXPECT_EQ(ReadLines(state).size(), 3u);
  // a directory is refused with the usage status and a line that says why
  const BatchRun dir = BatchErr("--keys-file " + ::testing::TempDir());
  EXPECT_EQ(dir.status, 2);
  EXPECT_NE(dir.out.find("is a directory"), std::string::npos) << dir.out;
}

TEST(BatchDriver, TrajectoryCsvOfTheGrasp) {
  const std::string csv = TempPath("traj.csv");
  ASSERT_EQ(Batch("--trajectory " + csv + " ss").status, 0);
  std::ifstream in(csv);
  std::string header, row0, extra;
  std::getline(in, header);
  std::getline(in, row0);
  EXPECT_FALSE(std::getline(in, extra));  // only row 0 before any manipulation step
  EXPECT_EQ(header.rfind("row,step,time,rwx,rwy,rwz,ew00,", 0), 0u);
  EXPECT_NE(header.find(",q1_f2,q2_f2,q3_f2,q4_f2,Lf_f2,fif_f2,psif_f2,Lw_f2,Ltw_f2,thw_f2,"), std::string::npos);
  EXPECT_EQ(row0.rfind("0,0,0,0,140,-40,", 0), 0u);
  EXPECT_EQ(std::count(row0.begin(), row0.end(), ','), std::count(header.begin(), header.end(), ','));
  EXPECT_EQ(Batch("--trajectory /nonexistent/dir/t.csv ss").status, 1);
}

TEST(BatchDriver, SnapshotWithoutADisplayWritesNothing) {
  const std::string png = TempPath("nodisplay.png");
  std::remove(png.c_str());
  const std::string cmd = "env -u DISPLAY " + rgtest::BuildPath("rollgrasp-batch") + " --snapshot " + png +
                          " G >/dev/null 2>&1 </dev/null";
  const int st = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 1);
  std::FILE* f = std::fopen(png.c_str(), "rb");
  EXPECT_EQ(f, nullptr);
  if (f != nullptr) std::fclose(f);
}

// The drawing code is a module loaded only for pictures: a copy of the driver
// alone in a folder runs keys and writes state as usual, refuses a picture
// with a message naming the missing module, and never maps the GL libraries.
TEST(BatchDriver, DrawingModuleLoadedOnlyForPictures) {
  const std::string dir = TempPath("alone");
  ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir + " && cp " + rgtest::BuildPath("rollgrasp-batch") + " " +
                         dir + "/").c_str()),
            0);
  const std::string state = dir + "/s.jsonl";
  int st = std::system((dir + "/rollgrasp-batch --state " + state + " H2Gsss </dev/null >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
  const std::vector<json> lines = ReadLines(state);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines.back()["sgnCALGEnd"], "Y");  // the grasp completed

  const std::string err = dir + "/err.txt", png = dir + "/p.png";
  st = std::system((dir + "/rollgrasp-batch --snapshot " + png + " G </dev/null >/dev/null 2>" + err).c_str());
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 1);
  std::ifstream in(err);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("cannot load the drawing module"), std::string::npos) << text;
  EXPECT_NE(text.find("librollgrasp-render.so"), std::string::npos) << text;
  EXPECT_EQ(std::fopen(png.c_str(), "rb"), nullptr);

  // the shared libraries a run without pictures maps
  const std::string maps = dir + "/maps.txt";
  st = std::system(("LD_DEBUG=files " + rgtest::BuildPath("rollgrasp-batch") + " G </dev/null >/dev/null 2>" + maps).c_str());
  ASSERT_TRUE(WIFEXITED(st));
  std::ifstream mi(maps);
  const std::string loaded((std::istreambuf_iterator<char>(mi)), std::istreambuf_iterator<char>());
  EXPECT_NE(loaded.find("libstdc++"), std::string::npos) << "no loader trace";
  for (const char* lib : {"libGL", "libglut", "libX11", "libpng"})
    EXPECT_EQ(loaded.find(lib), std::string::npos) << lib << " is loaded by a run without pictures";
  std::system(("rm -rf " + dir).c_str());
}

TEST(BatchDriver, UsageOnNoArgumentsAndTheEqualsForm) {
  const BatchRun none = Batch("");
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out.find("ワーク"), std::string::npos);  // nothing was run
  // --opt=value is --opt value; a flag takes no value
  const std::string spaced = TempPath("spaced.jsonl"), joined = TempPath("joined.jsonl");
  ASSERT_EQ(Batch("--friction 0.3 --contact point --state " + spaced + " Gss").status, 0);
  ASSERT_EQ(Batch("--friction=0.3 --contact=point --state=" + joined + " Gss").status, 0);
  const auto a = ReadLines(spaced), b = ReadLines(joined);
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.back()["quality"]["mu"], 0.3);
  EXPECT_EQ(Batch("--summary=yes G").status, 2);
  EXPECT_EQ(Batch("--friction=x G").status, 2);
}

// --state-last and --state-every keep exactly the lines of the full --state run they
// name: the start-up (not for --state-last), every N-th key, and the last key.
TEST(BatchDriver, StateEveryAndStateLastKeepTheirLines) {
  const std::string keys = "Gss" + std::string("A") + std::string(40, 's');
  const std::string full = TempPath("full.jsonl");
  ASSERT_EQ(Batch("--state " + full + " " + keys).status, 0);
  const auto all = ReadLines(full);
  ASSERT_EQ(all.size(), keys.size() + 1);
  struct Case {
    const char* option;
    std::vector<size_t> lines;  // indices into the full run's lines
  };
  std::vector<size_t> every10 = {0, 10, 20, 30, 40, 44};
  for (const Case& c : {Case{"--state-last", {keys.size()}}, Case{"--state-every 10", every10},
                        Case{"--state-every=1", {}}}) {
    SCOPED_TRACE(c.option);
    const std::string path = TempPath("some.jsonl");
    ASSERT_EQ(Batch(std::string(c.option) + " --state " + path + " " + keys).status, 0);
    const auto got = ReadLines(path);
    if (c.lines.empty()) {
      EXPECT_EQ(got, all);
      continue;
    }
    ASSERT_EQ(got.size(), c.lines.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], all[c.lines[i]]) << i;
  }
  EXPECT_EQ(Batch("--state-every 0 G").status, 2);
}

// The state line's quality keeps its volume field: null unless --state-volume asks for
// it, then the value the trajectory shows for the same contacts. The CSV keeps its
// columns and values either way; the rest of the line stays as it was, closure and
// epsilon from the nearest facets without the volume (within 1e-13 of the hull's).
TEST(BatchDriver, TheStateShowsTheVolumeWhenAskedAsTheTrajectoryHasIt) {
  const std::string keys = "GssA" + std::string(10, 's');  // step 10 is stored row 2
  const std::string plain = TempPath("plain.jsonl"), asked = TempPath("asked.jsonl"),
                    csvPlain = TempPath("plain.csv"), csvAsked = TempPath("asked.csv");
  ASSERT_EQ(Batch("--state " + plain + " --trajectory " + csvPlain + " " + keys).status, 0);
  ASSERT_EQ(Batch("--state-volume --state " + asked + " --trajectory " + csvAsked + " " + keys).status,
            0);
  const auto a = ReadLines(plain), b = ReadLines(asked);
  ASSERT_EQ(a.size(), keys.size() + 1);
  ASSERT_EQ(b.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(a[i]["quality"].contains("volume"));
    EXPECT_TRUE(a[i]["quality"]["volume"].is_null());
    EXPECT_TRUE(b[i]["quality"]["volume"].is_number());
    EXPECT_EQ(a[i]["quality"]["force_closure"], b[i]["quality"]["force_closure"]);
    EXPECT_NEAR(a[i]["quality"]["epsilon"].get<double>(), b[i]["quality"]["epsilon"].get<double>(),
                1e-13);
    json x = a[i], y = b[i];
    x["quality"].erase("volume");
    x["quality"].erase("epsilon");
    y["quality"].erase("volume");
    y["quality"].erase("epsilon");
    EXPECT_EQ(x, y);
  }
  // the trajectory: the same file, its epsilon and volume those of the last line
  const std::string csv = rgtest::ReadText(csvAsked);
  EXPECT_EQ(rgtest::ReadText(csvPlain), csv);
  std::istringstream in(csv);
  std::string header, row, last;
  std::getline(in, header);
  while (std::getline(in, row)) last = row;
  auto fields = [](const std::string& line) {
    std::vector<std::string> f;
    std::istringstream ss(line);
    for (std::string x; std::getline(ss, x, ',');) f.push_back(x);
    return f;
  };
  const std::vector<std::string> names = fields(header), values = fields(last);
  const auto at = [&](const char* name) {
    const size_t k = std::find(names.begin(), names.end(), name) - names.begin();
    return k < values.size() ? std::stod(values[k]) : -1.0;
  };
  ASSERT_EQ(values[0], "2");
  EXPECT_GT(at("volume"), 0.0);
  EXPECT_EQ(b.back()["quality"]["volume"].get<double>(), at("volume"));
  EXPECT_EQ(b.back()["quality"]["epsilon"].get<double>(), at("epsilon"));
  EXPECT_EQ(Batch("--state-volume=yes G").status, 2);
}

// The driver makes each state in the object of the key before, in place: key by key it
// is the object made afresh, through hand changes (three fingers, then two), a gait, a
// plan (its fields appear) and the volume asked for every other key.
TEST(StateObject, MadeInPlaceItIsTheObjectMadeAfresh) {
  rg::KeyDriver d;
  const std::string keys = "H2GsssAsssss2ssBsH1GssAsssW1Gss";
  bool planned = false;
  for (size_t n = 0; n < keys.size(); ++n) {
    SCOPED_TRACE(testing::Message() << "key " << n << " '" << keys[n] << "'");
    d.Press(static_cast<unsigned char>(keys[n]));
    const rg::QualityMeasures q =
        n % 2 == 0 ? rg::QualityMeasures::All : rg::QualityMeasures::ClosureAndEpsilon;
    const json& kept = d.State(q);
    const json fresh =
        rg::StateObject(d.sim(), rg::KeyString(keys[n]), d.console(), d.redraws(), q);
    ASSERT_EQ(kept.dump(), fresh.dump());
    planned = planned || kept["plan"]["planned"].get<bool>();
  }
  ASSERT_TRUE(planned);
  // an object of another simulation's state: no plan yet, three fingers
  rg::KeyDriver e;
  e.Press('H');
  e.Press('2');
  json o = d.State();
  rg::FillStateObject(e.sim(), nullptr, e.console(), e.redraws(),
                      rg::QualityMeasures::ClosureAndEpsilon, o);
  EXPECT_EQ(o.dump(), rg::StateObject(e.sim(), nullptr, e.console(), e.redraws()).dump());
  EXPECT_FALSE(o["plan"].contains("planned_goal"));
}

TEST(BatchDriver, SummaryLineOnStandardError) {
  const BatchRun r = BatchErr("--summary 'A'");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("0 steps"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Complete Grasp Needed"), std::string::npos) << r.out;
  // where both streams meet, the summary starts a line of its own after a run whose
  // console text ends mid-line (a stop's prompt)
  BatchRun both;
  const std::string cmd = rgtest::BuildPath("rollgrasp-batch") + " --summary 'GssA" +
                          std::string(400, 's') + "' 2>&1 </dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) both.out.append(buf, n);
  ASSERT_EQ(pclose(p), 0);
  const size_t at = both.out.rfind("rollgrasp-batch: mode A");
  ASSERT_NE(at, std::string::npos) << both.out.substr(both.out.size() - 300);
  ASSERT_GT(at, 0u);
  EXPECT_EQ(both.out[at - 1], '\n') << both.out.substr(at - 80, 160);
}

// Every option's value checked: an empty one (after '=' or as the next argument),
// one out of its range or with anything after the number is refused with one line
// that names the option, then the usage line, status 2, before the start-up. The
// valid uses next to them still run.
TEST(BatchDriver, EveryOptionRefusesEmptyAndOutOfRangeValues) {
  struct Case {
    const char* args;
    const char* named;  // in the refusal line
  };
  const std::vector<Case> refused = {
      {"--hand= G", "--hand"}, {"--hand '' G", "--hand"}, {"--state= G", "--state"},
      {"--state '' G", "--state"}, {"--trajectory= G", "--trajectory"}, {"--snapshot= G", "--snapshot"},
      {"--html= G", "--html"}, {"--frames= G", "--frames"}, {"--keys-file=", "--keys-file"},
      {"--keys-file ''", "--keys-file"}, {"--show= G", "--show"}, {"--hide '' G", "--hide"},
      {"--show help, G", "--show"}, {"--zoom= G", "--zoom"}, {"--zoom 9 G", "--zoom"},
      {"--zoom 0.2 G", "--zoom"}, {"--zoom 2x G", "--zoom"}, {"--zoom ' 2' G", "--zoom"},
      {"--zoom nan G", "--zoom"}, {"--pan= G", "--pan"}, {"--pan 1 G", "--pan"},
      {"--pan 1,2,3 G", "--pan"}, {"--pan 1,2x G", "--pan"}, {"--pan ' 1,2' G", "--pan"},
      {"--pan nan,0 G", "--pan"}, {"--pan 0,101 G", "--pan"}, {"--pan ,1 G", "--pan"},
      {"--friction= G", "--friction"}, {"--torsion '' G", "--torsion"}, {"--contact= G", "--contact"},
      {"--cone-edges= G", "--cone-edges"}, {"--cone-edges 65 G", "--cone-edges"},
      {"--goal= G", "--goal"}, {"--goal 1,2 G", "--goal"}, {"--goal 1,,3 G", "--goal"},
      {"--goal 1,2,3,4 G", "--goal"}, {"--goal 1,2,inf G", "--goal"}, {"--plan-time= G", "--plan-time"},
      {"--plan-time 0 G", "--plan-time"}, {"--plan-time -1 G", "--plan-time"},
      {"--plan-time 1e9 G", "--plan-time"}, {"--plan-time 3601 G", "--plan-time"}, {"--plan-time 5s G", "--plan-time"},
      {"--state-every= G", "--state-every"}, {"--state-every 99999999999999999999999 G", "--state-every"},
      {"--state-every ' 3' G", "--state-every"}, {"--state-every 3x G", "--state-every"},
      {"--state-every -3 G", "--state-every"}, {"--progress=1 G", "--progress"},
      {"--state-last=x G", "--state-last"}, {"--=x G", "--"},
      {"--state /nonexistent/a.jsonl --trajectory /nonexistent/./a.jsonl G", "--state and --trajectory"},
      {"G -- H", "KEYS"}, {"--contact \"$(printf 'so\\nft')\" G", "--contact"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.args);
    const BatchRun r = BatchErr(std::string("--state-last ") + c.args);
    EXPECT_EQ(r.status, 2);
    const size_t eol = r.out.find('\n');
    if (eol == std::string::npos) {
      ADD_FAILURE() << "no line on standard error";
      continue;
    }
    const std::string line = r.out.substr(0, eol);
    EXPECT_EQ(line.rfind("rollgrasp-batch: ", 0), 0u) << line;
    EXPECT_NE(line.find(c.named), std::string::npos) << line;
    EXPECT_EQ(r.out.substr(eol + 1).rfind("usage: rollgrasp-batch ", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;  // the line, the usage
  }
  for (const char* valid : {"--zoom 8 --pan -0.5,0.12", "--zoom=0.25 --pan=100,-100", "--state-every=3",
                            "--plan-time 0.5", "--plan-time=3600", "--goal 0,0,10", "--goal=0,0,10,1,2,3",
                            "--cone-edges 3 --friction 0 --torsion=0", "--show help,info --hide=contacts",
                            "--contact point"}) {
    SCOPED_TRACE(valid);
    const BatchRun r = BatchErr(std::string(valid) + " ''");
    EXPECT_EQ(r.status, 0) << r.out;
  }
}
