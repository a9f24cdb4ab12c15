// Qhull's whole hull as the reference for the grasp quality tests: the growth
// towards the origin and GraspQuality must agree with its nearest facet.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "quality/quality.h"
#include "quality/wrench_hull.h"

namespace rgtest {

struct HullReference {
  bool full = false, closure = false;  // six dimensions; the origin deeper than 1e-10 of scale
  double depth = 0, volume = 0, scale = 0;  // nearest facet's signed distance; largest coordinate
};

// Qhull's hull of the k points w (6 doubles each), merged only after a precision problem.
inline HullReference QhullReference(const double* w, int k) {
  HullReference r;
  for (int i = 0; i < 6 * k; ++i) r.scale = std::max(r.scale, std::fabs(w[i]));
  r.full = rg::AffineDimension(w, k, r.scale, nullptr) == 6;
  const bool built = r.full && (rg::QhullMeasures(w, k, "Q0", &r.depth, &r.volume) ||
                                rg::QhullMeasures(w, k, "", &r.depth, &r.volume));
  EXPECT_EQ(built, r.full);
  r.closure = built && r.depth > 1e-10 * r.scale;
  return r;
}

// The growth by itself (no fallback to Qhull): the reference's verdict and depth.
inline void ExpectGrowthAgrees(const double* w, int k, const HullReference& r) {
  using Verdict = rg::NearestFacetsResult::Verdict;
  int simplex[7];
  ASSERT_EQ(rg::AffineDimension(w, k, r.scale, simplex), 6);
  const rg::NearestFacetsResult g = rg::NearestFacets(w, k, simplex, r.scale, 1e-10 * r.scale);
  EXPECT_EQ(g.verdict, r.closure ? Verdict::Inside : Verdict::NotInside);
  EXPECT_NEAR(g.depth, r.closure ? r.depth : 0.0, 1e-13 * std::fabs(r.depth));
}

// The grasp judged both ways against Qhull's hull of its primitive wrenches: closure
// and epsilon alone the same (epsilon within 1e-13 of it, or of the wrenches' size
// when tiny) and no volume; all measures exactly Qhull's.
inline HullReference ExpectQhullAgrees(const rg::QualityContact* c, int n, const double centre[3],
                                       double rho, const rg::QualitySettings& s) {
  std::vector<double> w(6 * static_cast<size_t>(n) * rg::PrimitiveWrenchesPerContact(s));
  const int k = rg::PrimitiveWrenches(c, n, centre, rho, s, w.data());
  const HullReference r = QhullReference(w.data(), k);
  if (r.full) ExpectGrowthAgrees(w.data(), k, r);
  const double eps = r.closure ? r.depth : 0.0;
  const auto q = rg::GraspQuality(c, n, centre, rho, s, rg::QualityMeasures::ClosureAndEpsilon);
  EXPECT_EQ(q.force_closure, r.closure);
  EXPECT_NEAR(q.epsilon, eps, 1e-13 * eps + 1e-15 * r.scale);
  EXPECT_EQ(q.volume, 0.0);
  const auto all = rg::GraspQuality(c, n, centre, rho, s, rg::QualityMeasures::All);
  EXPECT_EQ(all.epsilon, eps);
  EXPECT_EQ(all.volume, r.volume);
  return r;
}

}  // namespace rgtest
