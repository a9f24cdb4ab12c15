// Qhull's whole hull as the reference for the grasp quality, shared by the quality
// tests: GraspQuality takes closure and epsilon from the facets it grows towards
// the origin, and must agree with the nearest facet of the whole hull.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "quality/quality.h"
#include "quality/wrench_hull.h"

namespace rgtest {

struct HullReference {
  bool full = false;     // six dimensions: a hull to build
  bool closure = false;  // the origin deeper than 1e-10 of the points' size
  double depth = 0.0;    // signed distance to the nearest facet plane
  double volume = 0.0;
  double scale = 0.0;    // the largest coordinate
};

// Qhull's hull of the k points w (6 doubles each), without merging and, when that
// meets a precision problem, with it.
inline HullReference QhullReference(const double* w, int k) {
  HullReference r;
  for (int i = 0; i < 6 * k; ++i) r.scale = std::max(r.scale, std::fabs(w[i]));
  r.full = rg::AffineDimension(w, k, r.scale, nullptr) == 6;
  if (!r.full) return r;
  const bool built = rg::QhullMeasures(w, k, "Q0", &r.depth, &r.volume) ||
                     rg::QhullMeasures(w, k, "", &r.depth, &r.volume);
  EXPECT_TRUE(built);
  r.closure = built && r.depth > 1e-10 * r.scale;
  return r;
}

// The same epsilon: 1e-13 of it, or of the points' size when it is tiny.
inline double EpsilonTolerance(const HullReference& r) {
  return 1e-13 * std::fabs(r.depth) + 1e-15 * r.scale;
}

// Judges the grasp both ways (closure and epsilon only, and with the volume) and
// checks them against Qhull's hull of its primitive wrenches: the growth towards
// the origin answers by itself, with the same closure verdict and epsilon, and
// all measures are those of Qhull's hull (the volume only when asked for).
// Returns the reference for the caller's counts.
inline HullReference ExpectQhullAgrees(const rg::QualityContact* c, int n, const double centre[3],
                                       double rho, const rg::QualitySettings& s) {
  std::vector<double> w(6 * static_cast<size_t>(n) * rg::PrimitiveWrenchesPerContact(s));
  const int k = rg::PrimitiveWrenches(c, n, centre, rho, s, w.data());
  const HullReference r = QhullReference(w.data(), k);
  int simplex[7];
  if (r.full) {  // the growth itself answers (no fallback to Qhull)
    rg::AffineDimension(w.data(), k, r.scale, simplex);
    const rg::NearestFacetsResult g = rg::NearestFacets(w.data(), k, simplex, r.scale, 1e-10 * r.scale);
    EXPECT_EQ(g.verdict, r.closure ? rg::NearestFacetsResult::Verdict::Inside
                                   : rg::NearestFacetsResult::Verdict::NotInside);
  }
  const rg::QualityResult q =
      rg::GraspQuality(c, n, centre, rho, s, rg::QualityMeasures::ClosureAndEpsilon);
  const rg::QualityResult all = rg::GraspQuality(c, n, centre, rho, s, rg::QualityMeasures::All);
  EXPECT_EQ(q.hull_dimension == 6, r.full);
  EXPECT_EQ(q.force_closure, r.closure);
  EXPECT_NEAR(q.epsilon, r.closure ? r.depth : 0.0, EpsilonTolerance(r));
  EXPECT_EQ(q.volume, 0.0);
  EXPECT_EQ(all.force_closure, r.closure);  // all measures: Qhull's hull itself
  EXPECT_EQ(all.epsilon, r.closure ? r.depth : 0.0);
  EXPECT_EQ(all.volume, r.volume);
  return r;
}

}  // namespace rgtest
