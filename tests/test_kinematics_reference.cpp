// Finger kinematics from the model alone: every hand (the catalogue's four and the
// hand files of hands/), on both works, every finger, at six sets of joint angles,
// gives the joint positions and frames recorded in tests/reference/kinematics.fnv,
// bit for bit. No simulation is made: the kinematics reads the model's joint tables
// and the finger's mount. The reference was recorded when the mounts were still
// copied into the simulation's state; RG_RECORD_REFERENCE=1 writes it anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "batch_run.h"
#include "hand/hand.h"
#include "hand/hand_file.h"

namespace fs = std::filesystem;
using namespace rg;

namespace {

uint64_t Fnv(uint64_t h, const void* p, size_t n) {
  const unsigned char* c = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) {
    h ^= c[i];
    h *= 1099511628211ull;
  }
  return h;
}
constexpr uint64_t kFnvBasis = 1469598103934665603ull;

// The catalogue's hands, then the hand files of hands/ in name order.
std::vector<std::pair<std::string, std::shared_ptr<const Model>>> EveryHand() {
  std::vector<std::pair<std::string, std::shared_ptr<const Model>>> models;
  for (int h = 1; h <= 4; ++h) models.push_back({"hand" + std::to_string(h), CatalogueModel(h)});
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(RG_SOURCE_DIR) / "hands"))
    if (e.path().extension() == ".urdf") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    HandFileResult r = LoadHandFile(f.string());
    EXPECT_TRUE(r.model != nullptr) << r.error;
    if (r.model) models.push_back({"file-" + f.stem().string(), r.model});
  }
  return models;
}

// One line per hand, work, finger and angle set: the hash of the whole pose
// (positions 0..nJ+1, joint and link frames 0..nJ) and of the last link alone.
std::vector<std::string> KinematicsLines() {
  std::vector<std::string> lines;
  for (const auto& [name, m] : EveryHand())
    for (const char work : {'1', '2'})
      for (int kf = 1; kf <= m->nF; ++kf)
        for (int set = 0; set < 6; ++set) {
          double q[kSlots] = {};
          for (int j = 1; j <= m->nJ; ++j)
            q[j] = set == 0 ? 0.0 : set == 1 ? m->qInit[kf][j] : -1.5 + 0.37 * j + 0.29 * set;
          const FingerMount& f = m->Mount(kf, work);
          const FingerPose P = Findirect_kineR(*m, f, q);
          uint64_t h = Fnv(kFnvBasis, P.JA, sizeof P.JA[0] * (m->nJ + 2));
          h = Fnv(h, P.EAs, sizeof P.EAs[0] * (m->nJ + 1));
          h = Fnv(h, P.EA, sizeof P.EA[0] * (m->nJ + 1));
          double JAn[3], EAn[3][3];
          LastLinkKinematics(*m, f, q, JAn, EAn);
          // the last link alone is the same products, so the same bits
          EXPECT_EQ(std::memcmp(JAn, P.JA[m->nJ], sizeof JAn), 0) << name << " finger " << kf;
          EXPECT_EQ(std::memcmp(EAn, P.EA[m->nJ], sizeof EAn), 0) << name << " finger " << kf;
          const uint64_t g = Fnv(Fnv(kFnvBasis, JAn, sizeof JAn), EAn, sizeof EAn);
          char line[160];
          std::snprintf(line, sizeof line, "%s W%c f%d q%d %016llx %016llx", name.c_str(), work,
                        kf, set, static_cast<unsigned long long>(h),
                        static_cast<unsigned long long>(g));
          lines.push_back(line);
        }
  return lines;
}

TEST(KinematicsFromTheModel, EveryHandWorkFingerAndPoseIsAsRecorded) {
  const fs::path ref = fs::path(RG_SOURCE_DIR) / "tests" / "reference" / "kinematics.fnv";
  const std::vector<std::string> got = KinematicsLines();
  ASSERT_GE(got.size(), 4u * 2u * 2u * 6u);  // at least the catalogue's hands
  if (std::getenv("RG_RECORD_REFERENCE") != nullptr) {
    std::ofstream out(ref);
    for (const std::string& l : got) out << l << '\n';
    return;
  }
  ASSERT_TRUE(fs::exists(ref)) << "no reference " << ref;
  const std::vector<std::string> want = rgtest::Lines(ref);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << "line " << i;
}

}  // namespace
