// Scene files as a user relies on them: a scene saved after the setting keys and
// loaded by a fresh driver gives the same run bit for bit (every built-in hand, a
// hand file, both works, resized works); a scene file that cannot be used is refused
// with one line naming the field; the work size options are refused out of range;
// the works at the ends of their ranges stay clear of the palm at their default pose.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/hand_choice.h"
#include "app/scene.h"
#include "plan/plan.h"
#include "app/script.h"
#include "batch/batch_args.h"
#include "batch_run.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

fs::path ScratchDir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

// A state line without the key machine's memory of the setting modes (the mode a
// mode key returns to, the finger and joint chosen in mode J), which a scene does not
// hold.
json RunState(const std::string& line) {
  json o = json::parse(line);
  o.erase("sgnCALold");
  o.erase("sgnFJ");
  o.erase("cntQ");
  return o;
}

TEST(Scene, SavedAfterTheKeysLoadsIntoTheSameRun) {
  struct Case {
    const char* name;
    std::string options;  // the run set up with these options, then the keys
    const char* keys;
  };
  const std::string handFile = rgtest::SourcePath("hands/hand2.urdf").string();
  const Case cases[] = {
      {"hand1", "", "MXXpVrJ12p"},
      {"hand2-sphere", "", "H2W1MZqVPJ21m"},
      {"hand3", "--friction 0.3 --seed 7 --plan-steps 900", "H3MyVx"},
      {"hand4", "--goal 5,0,0", "H4MYVQ"},
      {"hand-file", "--hand " + handFile, "MXVr"},
      {"resized-cylinder", "--cylinder-radius 50 --cylinder-height 80", "MXVr"},
      {"resized-sphere", "--sphere-radius 55 --contact point", "W1Mz"},
  };
  const std::string run = "Gsss" + std::string("A") + std::string(40, 's');
  const fs::path dir = ScratchDir("rg-scene-roundtrip");
  for (const Case& c : cases) {
    const fs::path saved = dir / (std::string(c.name) + ".json");
    const fs::path again = dir / (std::string(c.name) + "-again.json");
    const rgtest::BatchRun a = rgtest::RunBatchFiles("rg-scene-a", c.name, c.keys + run,
                                                     c.options + " --save-scene " + saved.string());
    // the scene after the keys and the run is the scene the keys set up: loaded, it runs
    const rgtest::BatchRun b = rgtest::RunBatchFiles(
        "rg-scene-b", c.name, run, "--scene " + saved.string() + " --save-scene " + again.string());
    ASSERT_GT(a.csv.size(), 2u) << c.name << ": the run stored no rows beyond the grasp";
    EXPECT_EQ(a.csv, b.csv) << c.name;
    const size_t setUp = std::string(c.keys).size();
    ASSERT_EQ(a.state.size(), setUp + 1 + run.size()) << c.name;
    ASSERT_EQ(b.state.size(), 1 + run.size()) << c.name;
    for (size_t k = 1; k < b.state.size(); ++k)
      ASSERT_EQ(RunState(a.state[setUp + k]), RunState(b.state[k]))
          << c.name << ": state after key " << k << " of the run";
    EXPECT_EQ(rgtest::ReadText(saved), rgtest::ReadText(again)) << c.name << ": saved again differently";
  }
  // the hand file is named from the scene's folder when it lies under it
  const fs::path handDir = dir / "hands";
  fs::create_directories(handDir);
  fs::copy_file(handFile, handDir / "mine.urdf", fs::copy_options::overwrite_existing);
  const fs::path scene = dir / "beside.json";
  rgtest::RunBatchFiles("rg-scene-rel", "rel", "",
                        "--hand " + (handDir / "mine.urdf").string() + " --save-scene " + scene.string());
  EXPECT_NE(rgtest::ReadText(scene).find("\"hand\": \"hands/mine.urdf\""), std::string::npos)
      << rgtest::ReadText(scene);
  fs::remove_all(dir);
}

TEST(Scene, FilesThatCannotBeUsedAreRefusedWithOneLine) {
  struct Case {
    std::string text;
    const char* says;  // a part of the one line
  };
  const std::string v1 = "{\"rollgrasp_scene\": 1, ";
  const Case cases[] = {
      {"{\"rollgrasp_scene\": 1,", "not a JSON scene"},
      {"\xff\xfe{}", "not a JSON scene: parse error at line 1, column 1: syntax error while parsing "
                     "value - invalid literal; last read: '?'"},
      {"[1, 2]", "the scene: must be a JSON object"},
      {"{\"rollgrasp_scene\": 2}", "rollgrasp_scene: version 2 is newer than this program reads (1)"},
      {"{\"hand\": 2}", "rollgrasp_scene: missing"},
      {v1 + "\"hnad\": 2}", "'hnad': unknown field"},
      {v1 + "\"work_pose\": {\"positon\": [0, 0, 0]}}", "work_pose.positon: unknown field"},
      {v1 + "\"work_sizes\": {\"cylinder_height\": 150}}",
       "work_sizes.cylinder_height: must be a number from 20 to 100, not 150"},
      {v1 + "\"work_sizes\": {\"sphere_radius\": \"big\"}}", "work_sizes.sphere_radius: must be a number"},
      {v1 + "\"hand\": 5}", "hand: must be a whole number from 1 to 4, not 5"},
      {v1 + "\"hand\": 2.5}", "hand: must be a whole number from 1 to 4"},
      {v1 + "\"hand\": \"nowhere.urdf\"}", "hand: hand file "},
      {v1 + "\"work\": 2}", "work: must be \"cylinder\" or \"sphere\", not 2"},
      {v1 + "\"velocity\": {\"linear\": [0, 0]}}", "velocity.linear: must be an array of 3 numbers"},
      {v1 + "\"velocity\": {\"angular\": [0, 0, 3]}}", "velocity.angular[2]: must be a number from -2 to 2"},
      {v1 + "\"initial_angles\": [[0, 0, 0, 0]]}", "initial_angles: must be an array of 2 fingers"},
      {v1 + "\"work_pose\": {\"frame\": [[1, 0, 0], [0, 1, 0], [0, 0, -1]]}}",
       "work_pose.frame: must be a rotation matrix"},
      {v1 + "\"quality\": {\"cone_edges\": 100}}", "quality.cone_edges: must be a whole number from 3 to 64"},
      {v1 + "\"plan\": {\"seed\": -1}}", "plan.seed: must be a whole number from 0 to 4294967295"},
      {v1 + "\"goal\": [1, 2]}", "goal: must be an array of 3 or 6 numbers"},
      {v1 + "\"goal\": [[[[1]]]]}", "nested deeper than 4 levels"},
      {v1 + "\"hand\": 1}" + std::string(70000, ' '), "more than 65536 bytes"},
  };
  const fs::path dir = ScratchDir("rg-scene-bad");
  const fs::path file = dir / "bad.json";
  for (const Case& c : cases) {
    WriteText(file, c.text);
    const rgtest::BatchExit r = rgtest::RunBatch({"--scene", file.string(), ""});
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
  }
  const rgtest::BatchExit r = rgtest::RunBatch({"--scene", (dir / "absent.json").string(), ""});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot read the scene file"), std::string::npos) << r.err;
  fs::remove_all(dir);
}

TEST(Scene, WorkSizeOptionsAreRefusedOutOfRange) {
  struct Case {
    std::vector<const char*> args;
    const char* says;  // "" when taken
  };
  const Case cases[] = {
      {{"--sphere-radius", "20", "--cylinder-radius=80", "--cylinder-height", "100", "G"}, ""},
      {{"--sphere-radius", "19.5", "G"}, "--sphere-radius needs a number from 20 to 80 (length units), not '19.5'"},
      {{"--cylinder-radius", "81", "G"}, "--cylinder-radius needs a number from 20 to 80"},
      {{"--cylinder-height", "101", "G"}, "--cylinder-height needs a number from 20 to 100"},
      {{"--cylinder-height", "nan", "G"}, "--cylinder-height needs a number"},
      {{"--cylinder-radius", "", "G"}, "--cylinder-radius needs a value, not an empty value"},
      {{"--scene", "s.json", "--hand", "h.urdf", "G"}, "--hand and --scene both choose the hand"},
      {{"--scene", "s.json", "--sphere-radius", "30", "G"}, "the work size options and --scene"},
      {{"--save-scene", "a.json", "--state", "a.json", "G"}, "--save-scene and --state name the same file"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"rollgrasp-batch"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const rgbatch::ParsedArgs p = rgbatch::ParseBatchArgs(static_cast<int>(argv.size()), argv.data());
    if (*c.says == '\0') {
      EXPECT_EQ(p.outcome, rgbatch::ParseOutcome::Run) << p.error;
      EXPECT_EQ(p.options.sizes.sphereRadius, 20.0);
      EXPECT_EQ(p.options.sizes.cylinderRadius, 80.0);
      EXPECT_EQ(p.options.sizes.cylinderHeight, 100.0);
    } else {
      EXPECT_EQ(p.outcome, rgbatch::ParseOutcome::Refused) << c.says;
      EXPECT_EQ(p.error.rfind(c.says, 0), 0u) << p.error;
    }
  }
}

// At every corner of the size ranges the cylinder at its default pose is clear of the
// palm for every hand: the grasp is not refused for the palm, and a grasp and a few
// steps end (a finger that finds no contact, or a stop, is an outcome).
TEST(Scene, WorksAtTheEndsOfTheirRangesStayClearOfThePalm) {
  for (double a : {rg::kMinWorkRadius, rg::kMaxWorkRadius})
    for (double h : {rg::kMinCylinderHeight, rg::kMaxCylinderHeight})
      for (const char* hand : {"H1", "H2", "H3", "H4"}) {
        auto sp = rgtest::StartedSim();
        rg::Sim& s = *sp;
        std::string why;
        ASSERT_TRUE(rg::SetWorkSizes(s, {a, a, h}, &why)) << why;
        rgtest::Press(s, hand);
        rgtest::Press(s, "G");
        EXPECT_FALSE(s.sgnGRASP == 'N' && s.COLLlink == 0)
            << hand << " cylinder " << a << " x " << h << " meets the palm at its default pose";
        rgtest::Press(s, "sssA" + std::string(10, 's'));
        EXPECT_TRUE(s.cntManip0 > 0 || !rg::StatusMessage(s).empty())
            << hand << " cylinder " << a << " x " << h << ": no step and no reason given";
      }
}

}  // namespace

// What the keys can set beyond the bounds of a scene file: the goal keys stop at the
// bounds a typed goal has, so the scene saves and reads back; the setting keys have no
// bounds, so a velocity typed past them is refused on saving (the file already there
// untouched) rather than written and refused when read.
TEST(Scene, WhatTheKeysSetIsSavedReadablyOrRefused) {
  const fs::path dir = ScratchDir("rg-scene-keys");
  const fs::path file = dir / "kept.json";
  struct Case {
    std::string keys;
    const char* refusal;  // "" when the scene saves and reads back
  };
  const Case cases[] = {{"B" + std::string(205, 'P') + std::string(1005, 'x'), ""},
                        {"B" + std::string(205, 'p') + std::string(1005, 'X'), ""},
                        {"J11" + std::string(130, 'p'), "not saved: the scene: initial_angles[0][0]"}};
  for (const Case& c : cases) {
    WriteText(file, "kept");
    auto sp = rgtest::StartedSim();
    rgtest::Press(*sp, c.keys);
    const rg::GoalPose& g = sp->plan.goal;
    EXPECT_LE(std::fabs(g.rx), rg::kMaxGoalTurnDeg);
    EXPECT_LE(std::fabs(g.x), rg::kMaxGoalShift);
    std::string why;
    const bool saved = rg::SaveScene(*sp, file.string(), &why);
    EXPECT_EQ(saved, *c.refusal == '\0') << why;
    if (saved) {
      rg::Scene back;
      EXPECT_TRUE(rg::ReadScene(file.string(), &back, &why)) << why;
      EXPECT_GT(std::fabs(back.goal.rx), rg::kMaxGoalTurnDeg - 2.0) << "the goal keys did not reach the bound";
    } else {
      EXPECT_EQ(why.rfind(c.refusal, 0), 0u) << why;
      EXPECT_EQ(rgtest::ReadText(file), "kept");
    }
  }
  fs::remove_all(dir);
}
