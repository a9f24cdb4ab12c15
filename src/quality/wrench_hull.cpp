// The origin's depth in a 6-D hull by growing the hull towards it, and the whole
// hull by Qhull.
//
// Growing towards the origin. The grown hull Q is the convex hull of some of the
// points, kept as simplicial facets (six vertices, six neighbours, outward unit
// normal a and offset b, so that a.x <= b inside and b is the origin's signed
// depth below the facet's plane). Q lies inside the whole hull P, so the origin is
// no deeper in Q than in P. Each round takes Q's facet of least depth and asks for
// the point farthest along its normal (the support point of P in that direction):
//   - if no point lies beyond the facet's plane, that plane bounds P too, and P's
//     depth is at most the facet's, hence equal to it: the answer;
//   - otherwise the point joins Q: the facets it sees are removed and each ridge
//     on the rim of the seen region is joined to the point by a new facet.
// While the origin is outside Q the least-depth facet is the one that has the
// origin farthest beyond it; if nothing lies beyond that plane either, P has the
// origin on its outer side (no force closure). Only the facets that come nearest
// the origin are ever built, a small part of P's for a grasp.
//
// Points within a rounding tolerance of a plane count as on it: they are neither
// beyond a facet nor seen by it. The grasp's wrenches have many points exactly in
// common planes (the edges of one friction cone lie in one 2-D plane), which this
// keeps from producing flat facets. Whatever rounding still breaks (new facets
// that do not pair up along their ridges or do not form a single cone, a facet
// through the interior point, a vertex found beyond its own hull) ends the growth
// with Failed, and the caller falls back to Qhull.
#include "quality/wrench_hull.h"

#include <libqhullcpp/Qhull.h>
#include <libqhullcpp/QhullFacet.h>
#include <libqhullcpp/QhullFacetList.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <sstream>
#include <vector>

namespace rg {

namespace {

constexpr int kD = kWrenchDim;
// Below this fraction of the points' size a direction counts as absent (rank).
constexpr double kRankTol = 1e-10;
// A point counts as beyond a plane when it lies farther than this fraction of the
// points' size above it: well above the rounding of a plane through six points
// (about 1e-15 of the size), far below any real distance between the wrenches.
constexpr double kBeyondTol = 1e-12;
// Point indices are packed nine bits each into the keys of ridges.
constexpr int kMaxPoints = 512;
// Growth stops with Failed past this many facets (a runaway from rounding).
constexpr int kMaxFacets = 1 << 20;

struct Facet {
  double a[kD];  // outward unit normal
  double b;      // a.x = b on the plane; the origin's depth below it
  double dist;   // height of the point being added above the plane (valid while mark is current)
  int v[kD];     // vertices (point indices)
  int nb[kD];    // nb[j]: the neighbour across the ridge without v[j]
  uint64_t mark;
  bool seen;   // seen from the point being added (valid while mark is current)
  bool alive;  // still a facet of the grown hull
};

struct Candidate {
  double depth;
  int facet;
  bool operator>(const Candidate& o) const { return depth > o.depth; }
};

// A ridge through the added point, filed under its four other vertices.
struct RidgeEntry {
  uint64_t key;
  int facet;  // the first new facet that filed it; -1 once a second one has come
  int slot;   // the neighbour slot of that facet
  uint64_t round;
};

// Hash table size for n entries: a power of two at least twice n.
size_t TableSize(int n) {
  size_t s = 64;
  while (s < 2 * static_cast<size_t>(n)) s *= 2;
  return s;
}

// Memory kept from call to call (one per thread): the growth allocates nothing
// once these have reached their working sizes.
struct Workspace {
  std::vector<Facet> facets;
  std::vector<Candidate> queue;  // min-heap on depth
  std::vector<int> seen;
  std::vector<std::pair<int, int>> rim;  // (seen facet, slot of its unseen neighbour)
  std::vector<char> is_vertex;
  std::vector<int> reach;
  std::vector<RidgeEntry> table;  // open addressing, entries of earlier rounds count as empty
  uint64_t mark = 0;
};

thread_local Workspace tls;

double Dot(const double* a, const double* b) {
  double s = 0;
  for (int j = 0; j < kD; ++j) s += a[j] * b[j];
  return s;
}

// Unit normal and offset of the hyperplane through the six points v of w, the
// normal pointing away from the interior point c. Gaussian elimination with full
// pivoting on the five edge vectors from the first point gives the normal as their
// null vector. False when the points are affinely dependent to rounding or the
// plane passes through c.
bool PlaneThrough(const double* w, const int v[kD], const double c[kD], double tiny, Facet* f) {
  double m[kD - 1][kD];
  const double* x0 = w + kD * v[0];
  for (int i = 1; i < kD; ++i)
    for (int j = 0; j < kD; ++j) m[i - 1][j] = w[kD * v[i] + j] - x0[j];
  int col[kD] = {0, 1, 2, 3, 4, 5};
  for (int r = 0; r < kD - 1; ++r) {
    int pr = r, pc = r;
    double best = -1;
    for (int i = r; i < kD - 1; ++i)
      for (int j = r; j < kD; ++j)
        if (std::fabs(m[i][col[j]]) > best) best = std::fabs(m[i][col[j]]), pr = i, pc = j;
    if (best <= tiny) return false;
    if (pr != r)
      for (int j = 0; j < kD; ++j) std::swap(m[pr][j], m[r][j]);
    std::swap(col[pc], col[r]);
    const double p = m[r][col[r]];
    for (int i = r + 1; i < kD - 1; ++i) {
      const double factor = m[i][col[r]] / p;
      if (factor == 0) continue;
      for (int j = r; j < kD; ++j) m[i][col[j]] -= factor * m[r][col[j]];
    }
  }
  double y[kD];
  y[col[kD - 1]] = 1.0;
  for (int r = kD - 2; r >= 0; --r) {
    double s = 0;
    for (int j = r + 1; j < kD; ++j) s += m[r][col[j]] * y[col[j]];
    y[col[r]] = -s / m[r][col[r]];
  }
  const double norm = std::sqrt(Dot(y, y));
  double b = 0;
  for (int j = 0; j < kD; ++j) f->a[j] = y[j] / norm;
  for (int i = 0; i < kD; ++i) b += Dot(f->a, w + kD * v[i]);
  b /= kD;
  const double inside = b - Dot(f->a, c);
  if (!std::isfinite(inside) || std::fabs(inside) <= tiny) return false;
  if (inside < 0) {
    for (double& x : f->a) x = -x;
    b = -b;
  }
  f->b = b;
  return true;
}

}  // namespace

int AffineDimension(const double* w, int k, double scale, int* simplex) {
  if (k < 1) return 0;
  int base = 0;  // the point farthest from the origin
  double far = -1;
  for (int i = 0; i < k; ++i) {
    const double r = Dot(w + kD * i, w + kD * i);
    if (r > far) far = r, base = i;
  }
  std::vector<double> d(static_cast<size_t>(kD) * k);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < kD; ++j) d[i * kD + j] = w[i * kD + j] - w[base * kD + j];
  if (simplex) simplex[0] = base;
  int dim = 0;
  while (dim < kD) {
    int best = -1;
    double bestNorm = kRankTol * scale;
    for (int i = 0; i < k; ++i) {
      const double n = std::sqrt(Dot(&d[i * kD], &d[i * kD]));
      if (n > bestNorm) bestNorm = n, best = i;
    }
    if (best < 0) break;
    double q[kD];
    for (int j = 0; j < kD; ++j) q[j] = d[best * kD + j] / bestNorm;
    for (int i = 0; i < k; ++i) {
      const double s = Dot(q, &d[i * kD]);
      for (int j = 0; j < kD; ++j) d[i * kD + j] -= s * q[j];
    }
    ++dim;
    if (simplex) simplex[dim] = best;
  }
  return dim;
}

NearestFacetsResult NearestFacets(const double* w, int k, const int simplex[7], double scale,
                                  double inside_tol) {
  using Verdict = NearestFacetsResult::Verdict;
  NearestFacetsResult res;
  if (k > kMaxPoints) return res;
  Workspace& ws = tls;
  const double tol = kBeyondTol * scale;
  const double tiny = 1e-14 * scale;
  std::vector<Facet>& facets = ws.facets;
  facets.clear();
  ws.queue.clear();
  ws.is_vertex.assign(k, 0);
  auto fail = [&res, &facets] {
    res.facets = static_cast<int>(facets.size());
    return res;
  };

  // the starting simplex, its centroid the interior point
  double c[kD] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i <= kD; ++i) {
    ws.is_vertex[simplex[i]] = 1;
    for (int j = 0; j < kD; ++j) c[j] += w[kD * simplex[i] + j] / (kD + 1);
  }
  // facet i leaves out simplex vertex i; across its ridge without a vertex lies
  // the facet that leaves that vertex out
  for (int i = 0; i <= kD; ++i) {
    Facet f;
    int n = 0;
    for (int j = 0; j <= kD; ++j) {
      if (j == i) continue;
      f.v[n] = simplex[j];
      f.nb[n] = j;
      ++n;
    }
    f.mark = 0;
    f.seen = false;
    f.alive = true;
    if (!PlaneThrough(w, f.v, c, tiny, &f)) return fail();
    facets.push_back(f);
    ws.queue.push_back({f.b, i});
  }
  std::make_heap(ws.queue.begin(), ws.queue.end(), std::greater<Candidate>());

  while (!ws.queue.empty()) {
    std::pop_heap(ws.queue.begin(), ws.queue.end(), std::greater<Candidate>());
    const int fi = ws.queue.back().facet;
    ws.queue.pop_back();
    if (!facets[fi].alive) continue;
    // New facets take their planes from their neighbours' (below), which is quick
    // but lets rounding add up; the facet that decides is computed afresh.
    if (!PlaneThrough(w, facets[fi].v, c, tiny, &facets[fi])) return fail();

    // the support point in the facet's normal direction
    int far = -1;
    double h = -HUGE_VAL;
    for (int i = 0; i < k; ++i) {
      const double d = Dot(facets[fi].a, w + kD * i);
      if (d > h) h = d, far = i;
    }
    if (h - facets[fi].b <= tol) {  // nothing beyond: this plane bounds the whole hull
      res.facets = static_cast<int>(facets.size());
      if (facets[fi].b > inside_tol) {
        res.verdict = Verdict::Inside;
        res.depth = facets[fi].b;
      } else {
        res.verdict = Verdict::NotInside;
      }
      return res;
    }
    if (ws.is_vertex[far]) return fail();  // a vertex beyond its own hull: rounding
    ws.is_vertex[far] = 1;
    ++res.points;
    const double* p = w + kD * far;

    // the facets that see the point: a connected region around facet fi
    const uint64_t mark = ++ws.mark;
    ws.seen.clear();
    ws.rim.clear();
    facets[fi].mark = mark;
    facets[fi].seen = true;
    facets[fi].dist = h - facets[fi].b;
    ws.seen.push_back(fi);
    for (size_t s = 0; s < ws.seen.size(); ++s) {
      const int g = ws.seen[s];
      for (int j = 0; j < kD; ++j) {
        Facet& fn = facets[facets[g].nb[j]];
        if (fn.mark != mark) {
          fn.mark = mark;
          fn.dist = Dot(fn.a, p) - fn.b;
          fn.seen = fn.dist > tol;
          if (fn.seen) ws.seen.push_back(facets[g].nb[j]);
        }
        if (!fn.seen) ws.rim.emplace_back(g, j);
      }
    }

    // A new facet on every rim ridge: the seen facet's vertices with the point in
    // place of the one across from the unseen neighbour. Its plane belongs to the
    // pencil of the two planes through the ridge, the seen facet's and the unseen
    // one's: the combination that passes through the point.
    const int first = static_cast<int>(facets.size());
    if (first + static_cast<int>(ws.rim.size()) > kMaxFacets) return fail();
    for (const auto& [g, j] : ws.rim) {
      const int self = static_cast<int>(facets.size());
      const int out = facets[g].nb[j];
      Facet f;
      for (int t = 0; t < kD; ++t) f.v[t] = facets[g].v[t], f.nb[t] = -1;
      f.v[j] = far;
      f.nb[j] = out;
      f.mark = 0;
      f.seen = false;
      f.alive = true;
      const Facet& fg = facets[g];
      Facet& fo = facets[out];
      const double dg = fg.dist, dn = fo.dist;
      double norm2 = 0;
      for (int t = 0; t < kD; ++t) {
        f.a[t] = dg * fo.a[t] - dn * fg.a[t];
        norm2 += f.a[t] * f.a[t];
      }
      const double norm = std::sqrt(norm2);
      f.b = (dg * fo.b - dn * fg.b) / norm;
      for (double& x : f.a) x /= norm;
      // Nearly opposite planes leave the combination to cancellation: compute the
      // plane from the vertices then.
      if (!(norm > 1e-2 * (dg + std::fabs(dn)) && f.b - Dot(f.a, c) > tiny) &&
          !PlaneThrough(w, f.v, c, tiny, &f))
        return fail();
      int back = 0;
      while (back < kD && fo.nb[back] != g) ++back;
      if (back == kD) return fail();
      fo.nb[back] = self;
      facets.push_back(f);
      facets[g].nb[j] = self;  // the seen facet is dropped; its slot now leads to f
    }

    // Link the new facets with each other: two of them meet where their rim
    // ridges share four vertices. Each new facet files its five ridges through the
    // point under those four vertices (sorted and packed nine bits each, which is
    // exact for at most 512 points); each key must come up exactly twice.
    const int added = static_cast<int>(facets.size()) - first;
    const size_t size = TableSize(5 * added);
    if (ws.table.size() < size) ws.table.resize(size);
    const uint64_t round = ++ws.mark;
    int pairs = 0;
    for (int nf = first; nf < first + added; ++nf) {
      const int* fv = facets[nf].v;
      int r[kD - 1], slot[kD - 1], n = 0;  // rim vertices sorted, with their slots
      for (int u = 0; u < kD; ++u) {
        if (fv[u] == far) continue;
        int at = n++;
        for (; at > 0 && r[at - 1] > fv[u]; --at) r[at] = r[at - 1], slot[at] = slot[at - 1];
        r[at] = fv[u];
        slot[at] = u;
      }
      uint64_t all = 0;  // the five, nine bits each, the smallest highest
      for (int u = 0; u < kD - 1; ++u) all = (all << 9) | static_cast<uint64_t>(r[u]);
      for (int drop = 0; drop < kD - 1; ++drop) {
        const int low = 9 * (kD - 2 - drop);  // bits of the vertices after the dropped one
        const uint64_t key = ((all >> (low + 9)) << low) | (all & ((uint64_t{1} << low) - 1));
        size_t h = static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & (size - 1);
        while (ws.table[h].round == round && ws.table[h].key != key) h = (h + 1) & (size - 1);
        RidgeEntry& e = ws.table[h];
        if (e.round != round) {
          e = {key, nf, slot[drop], round};
        } else if (e.facet >= 0 && e.facet != nf) {
          facets[nf].nb[slot[drop]] = e.facet;
          facets[e.facet].nb[e.slot] = nf;
          e.facet = -1;  // paired; a third facet on this ridge would be an error
          ++pairs;
        } else {
          return fail();
        }
      }
    }
    if (2 * pairs != 5 * added) return fail();

    // the new facets form one cone (the rim was a single piece)
    ws.reach.assign(1, first);
    const uint64_t reached = ++ws.mark;
    facets[first].mark = reached;
    for (size_t s = 0; s < ws.reach.size(); ++s)
      for (int t = 0; t < kD; ++t) {
        const int n = facets[ws.reach[s]].nb[t];
        if (n >= first && facets[n].mark != reached) {
          facets[n].mark = reached;
          ws.reach.push_back(n);
        }
      }
    if (static_cast<int>(ws.reach.size()) != added) return fail();

    for (int g : ws.seen) facets[g].alive = false;
    for (int i = first; i < first + added; ++i) {
      ws.queue.push_back({facets[i].b, i});
      std::push_heap(ws.queue.begin(), ws.queue.end(), std::greater<Candidate>());
    }
  }
  return fail();  // the queue ran dry without an answer: cannot happen with consistent facets
}

namespace {

// Qhull takes its memory from malloc for every hull and gives all of it back at
// the end: a 128 KB first buffer (at glibc's threshold for a block of its own,
// mapped and unmapped each time) and blocks at the top of the heap, which free()
// then trims. Each hull of a grasp thus paid about 40 page faults for memory it
// had just returned. These are the thresholds glibc adopts by itself after a
// 4 MB block has been freed; set once for the process, they let freed memory up
// to that size stay with it for the next hull.
bool KeepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
  return true;
}

}  // namespace

bool QhullMeasures(const double* w, int k, const char* options, double* nearest, double* volume) {
  static const bool keep = KeepFreedMemory();
  (void)keep;
  try {
    std::ostringstream sink;
    orgQhull::Qhull qh;
    qh.setOutputStream(&sink);
    qh.setErrorStream(&sink);
    qh.runQhull("", kD, k, w, options);
    // Facet normals point outwards with offsets such that n.x + offset = 0 on the
    // facet: the origin lies -offset inside each facet.
    double d = HUGE_VAL;
    for (const orgQhull::QhullFacet& f : qh.facetList()) d = std::fmin(d, -f.hyperplane().offset());
    const double v = qh.volume();
    if (!sink.str().empty() || qh.hasQhullMessage() || !std::isfinite(d) || !std::isfinite(v))
      return false;
    *nearest = d;
    *volume = v;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace rg
