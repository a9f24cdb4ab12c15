// Convex hulls of points in six dimensions (the primitive wrenches of a grasp) and
// the origin's place in them, by two methods:
//   - NearestFacets grows the hull from a starting simplex towards the origin,
//     building only the facets that come nearest it, and stops at the first facet
//     that no point lies beyond: that facet bounds the whole hull, so its distance
//     is the origin's distance to the hull's boundary, exactly;
//   - QhullMeasures builds the whole hull with Qhull, which the volume needs.
// Both take k points of 6 doubles each and their size, the largest coordinate.
#pragma once

namespace rg {

constexpr int kWrenchDim = 6;

// Affine dimension of the k points (up to six) found by Gram-Schmidt on their
// differences from the point farthest from the origin, the largest remaining one
// first. When simplex is not null it receives the indices of that point and the
// dimension points picked after it: for dimension six a starting simplex of
// seven points as far apart as the greedy choice finds them (which, started from
// the far point, leaves the growth a fifth fewer facets to build than started
// from the first).
int AffineDimension(const double* w, int k, double scale, int* simplex);

struct NearestFacetsResult {
  enum class Verdict {
    Inside,     // the origin lies strictly inside the hull, at depth from its boundary
    NotInside,  // on the boundary or outside: a facet's plane has the origin on its outer side
    Failed,     // rounding made the grown hull inconsistent; no answer
  };
  Verdict verdict = Verdict::Failed;
  double depth = 0.0;  // distance from the origin to the nearest facet plane (Inside only)
  int facets = 0;      // facets built, the starting simplex's included
  int points = 0;      // points the hull took beyond the starting simplex
};

// The origin's depth in the hull of the k points (at most 512, of affine
// dimension six), grown from the starting simplex that AffineDimension picked.
// The origin counts as inside when its depth exceeds inside_tol. Uses a
// per-thread workspace that keeps its memory from call to call, so calls may run
// in parallel and the steady state allocates nothing.
NearestFacetsResult NearestFacets(const double* w, int k, const int simplex[7], double scale,
                                  double inside_tol);

// Runs Qhull on the k points (Qhull options in options, e.g. "Q0" for no merging)
// and gives the signed distance of the origin to the nearest facet plane
// (negative when outside) and the hull's volume. False when Qhull fails or has
// anything to say (a precision warning) or a value is not finite; Qhull's messages
// go to a string, never to the console. Each call has its own Qhull context. The
// first call sets glibc's mmap and trim thresholds for the process (4 and 8 MB),
// which keeps the memory Qhull frees for the next hull instead of returning it.
bool QhullMeasures(const double* w, int k, const char* options, double* nearest, double* volume);

}  // namespace rg
