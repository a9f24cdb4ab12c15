// Grasp quality: force closure, the epsilon measure and the wrench-space volume
// of known grasps, checked against a hand derivation and the support function.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "numerics/vecmat.h"
#include "quality/quality.h"
#include "quality_reference.h"

using namespace rg;

namespace {

const double kOrigin[3] = {0, 0, 0};
using Contacts = std::vector<QualityContact>;

// Contact on a sphere (centre c, radius R) at polar angle pol and azimuth az,
// pushing towards the centre.
QualityContact OnSphere(const double c[3], double R, double pol, double az) {
  const double d[3] = {std::sin(pol) * std::cos(az), std::sin(pol) * std::sin(az), std::cos(pol)};
  QualityContact k;
  VecAddScaled(c, R, d, k.p);
  VecNeg(d, k.n);
  return k;
}

QualityResult Quality(const Contacts& c, const double centre[3], double rho,
                      const QualitySettings& s) {
  return GraspQuality(c.data(), static_cast<int>(c.size()), centre, rho, s);
}

std::vector<double> Wrenches(const Contacts& c, const double centre[3], double rho,
                             const QualitySettings& s) {
  std::vector<double> w(6 * c.size() * PrimitiveWrenchesPerContact(s));
  w.resize(6 * PrimitiveWrenches(c.data(), static_cast<int>(c.size()), centre, rho, s, w.data()));
  return w;
}

// Support value h(u) = max over the wrenches of u.w. The epsilon ball lies in
// the hull, so every unit u has h(u) >= epsilon.
double Support(const std::vector<double>& w, const std::array<double, 6>& u) {
  double h = -HUGE_VAL;
  for (size_t i = 0; i < w.size(); i += 6) {
    double d = 0;
    for (int j = 0; j < 6; ++j) d += u[j] * w[i + j];
    h = std::max(h, d);
  }
  return h;
}

// Smallest support value over the unit normals of the planes v.x = 1 through any
// six wrenches. Each facet's plane is among them, with h equal to its distance
// 1/|v|, so the minimum is epsilon itself (no sampling error but rounding).
double PlaneSupportEpsilon(const std::vector<double>& w) {
  const int K = static_cast<int>(w.size() / 6);
  double best = HUGE_VAL;
  int idx[6];
  std::function<void(int, int)> pick = [&](int depth, int from) {
    if (depth < 6) {
      for (int i = from; i <= K - 6 + depth; ++i) idx[depth] = i, pick(depth + 1, i + 1);
      return;
    }
    double A[6][7];  // [six wrenches | 1], reduced to v by Gauss-Jordan elimination
    for (int r = 0; r < 6; ++r) {
      for (int c = 0; c < 6; ++c) A[r][c] = w[6 * idx[r] + c];
      A[r][6] = 1.0;
    }
    for (int c = 0; c < 6; ++c) {
      int p = c;
      for (int r = c + 1; r < 6; ++r)
        if (std::fabs(A[r][c]) > std::fabs(A[p][c])) p = r;
      if (std::fabs(A[p][c]) < 1e-9) return;  // the six span no such plane
      std::swap(A[p], A[c]);
      for (int r = 0; r < 6; ++r)
        for (int k = 6; r != c && k >= c; --k) A[r][k] -= A[r][c] / A[c][c] * A[c][k];
    }
    std::array<double, 6> u;
    double norm = 0;
    for (int c = 0; c < 6; ++c) u[c] = A[c][6] / A[c][c], norm += u[c] * u[c];
    if (1.0 / std::sqrt(norm) >= best) return;  // h(u) >= 1/|v| already
    for (double& x : u) x /= std::sqrt(norm);
    best = std::min(best, Support(w, u));
  };
  pick(0, 0);
  return best;
}

}  // namespace

TEST(QualityGrasps, ThreeEquatorialPointContactsMatchTheHandDerivedEpsilon) {
  // Unit-radius picture (R = rho): contact k at azimuth 120k deg, n = -p, first
  // cone edge towards the next contact, t1 = e_az, t2 = n x t1 = -z. Contact 1
  // (p = x) has the wrenches (-1, mu c, -mu s; 0, mu s, mu c), c and s the cosine
  // and sine of the edge angle a. The weakest direction is mostly a twist about a
  // contact's radius (only the other two contacts' tangential forces resist it),
  // so take the facet v.w = 1 that holds contact 1's whole cone: for every a,
  // v1 = -1, v6 = -v2, v5 = v3. Contact 2 then gives v.w = A + B c + C s with
  // A = -1/2 - (sqrt3/2) v2, B = mu (sqrt3/2 - 3 v2/2), C = -mu (3 v3/2 + (sqrt3/2) v4),
  // and contact 3 A' + B' c + C' s, A' = -1/2 + (sqrt3/2) v2, C' = mu ((sqrt3/2) v4 - 3 v3/2).
  // With m = 8 the facet closes on contact 2's edges at a = 90 and 45 deg and
  // contact 3's at 270 deg: A + C = 1, A + (B + C)/sqrt2 = 1, A' - C' = 1, whence
  //   v2 = (sqrt3 mu - 3 (sqrt2 - 1)) / (3 mu + sqrt3 (sqrt2 - 1)),
  //   v4 = -sqrt3/mu, v3 = -v2/(sqrt3 mu),
  // and epsilon = 1/|v| = 1/sqrt(1 + 2 v2^2 + 2 v3^2 + v4^2) (0.27593 for mu = 0.5).
  // No wrench lies beyond that plane (checked below), so it bounds epsilon from
  // above; the hull's own nearest facet must be this one.
  const double mu = 0.5, R = 2.0, s3 = std::sqrt(3.0), r2 = std::sqrt(2.0);
  const double v2 = (s3 * mu - 3 * (r2 - 1)) / (3 * mu + s3 * (r2 - 1));
  const double v3 = -v2 / (s3 * mu), v4 = -s3 / mu;
  const std::array<double, 6> v = {-1, v2, v3, v4, v3, -v2};
  const double epsHand = 1.0 / std::sqrt(1 + 2 * v2 * v2 + 2 * v3 * v3 + v4 * v4);

  Contacts c;
  for (int k = 0; k < 3; ++k) c.push_back(OnSphere(kOrigin, R, kPi / 2, k * k2Pi / 3));
  QualitySettings s;
  s.mu = mu;
  EXPECT_LE(Support(Wrenches(c, kOrigin, R, s), v), 1.0 + 1e-12);
  const QualityResult q = Quality(c, kOrigin, R, s);
  EXPECT_TRUE(q.input_ok && q.force_closure);
  EXPECT_NEAR(q.epsilon, epsHand, 1e-9);
  EXPECT_GT(q.volume, 0.0);
  s.model = ContactModel::Soft;  // torsion only adds wrenches
  const QualityResult soft = Quality(c, kOrigin, R, s);
  EXPECT_GT(soft.epsilon, q.epsilon);
  EXPECT_GT(soft.volume, q.volume);
  EXPECT_EQ(soft.settings.model, ContactModel::Soft);
}

TEST(QualityGrasps, AntipodalPairClosesOnlyWithTorsionalFriction) {
  const double centre[3] = {0.3, -0.2, 1.0};
  const Contacts c = {OnSphere(centre, 1.5, 1.0, 0.4), OnSphere(centre, 1.5, kPi - 1.0, 0.4 + kPi)};
  QualitySettings s;
  const QualityResult point = Quality(c, centre, 1.5, s);
  EXPECT_FALSE(point.force_closure);  // nothing resists a twist about the grasp line
  EXPECT_EQ(point.hull_dimension, 5);
  EXPECT_EQ(point.epsilon, 0.0);
  s.model = ContactModel::Soft;
  const QualityResult soft = Quality(c, centre, 1.5, s);
  EXPECT_TRUE(soft.force_closure);
  // only the two torsional wrenches (+-torsion) twist about the grasp line, so
  // that pure twist direction bounds epsilon
  EXPECT_GT(soft.epsilon, 0.0);
  EXPECT_LE(soft.epsilon, s.torsion + 1e-12);
}

TEST(QualityGrasps, ConesInOneHalfSpaceNeverClose) {
  // Normals 40 deg from +z and friction cones of half-angle atan(0.5) = 26.6 deg:
  // every contact pushes up, so no grasp resists a push along +z.
  for (int n = 2; n <= 6; ++n)
    for (ContactModel m : {ContactModel::Point, ContactModel::Soft}) {
      Contacts c;
      for (int k = 0; k < n; ++k)
        c.push_back(OnSphere(kOrigin, 1.0, kPi - 0.698, k * k2Pi / n + 0.1 * k));
      QualitySettings s;
      s.model = m;
      const QualityResult q = Quality(c, kOrigin, 1.0, s);
      EXPECT_FALSE(q.force_closure) << n << " contacts, " << ContactModelName(m);
      EXPECT_EQ(q.epsilon, 0.0);
    }
}

TEST(QualityGrasps, EpsilonIsTheSmallestSupportValueAndIgnoresRigidMotion) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> U(-1, 1);
  double A[3][3], B[3][3], E[3][3];
  Cz(0.7, A);
  Cx(-1.1, B);
  MatMul(A, B, E);
  int closed = 0;
  for (int trial = 0; trial < 6; ++trial) {
    const double centre[3] = {U(rng), U(rng), U(rng)};
    Contacts c, moved;
    for (int k = 0; k < 3; ++k) {
      const double pol = 1.57 + 0.4 * U(rng);
      c.push_back(OnSphere(centre, 1.2, pol, k * 2.1 + 0.3 * U(rng)));
    }
    QualitySettings s;  // 24 wrenches either way
    if (trial % 2) s.model = ContactModel::Soft, s.cone_edges = 6;
    const QualityResult q = Quality(c, centre, 1.2, s);
    if (!q.force_closure) continue;
    ++closed;
    EXPECT_NEAR(PlaneSupportEpsilon(Wrenches(c, centre, 1.2, s)), q.epsilon, 1e-9)
        << "trial " << trial;

    // the whole scene turned by E and shifted by 5 along each axis
    double movedCentre[3];
    MatVec(E, centre, movedCentre);
    for (double& x : movedCentre) x += 5.0;
    for (QualityContact k : c) {
      MatVec(E, k.p, k.p);
      for (double& x : k.p) x += 5.0;
      MatVec(E, k.n, k.n);
      moved.push_back(k);
    }
    const QualityResult m = Quality(moved, movedCentre, 1.2, s);
    EXPECT_TRUE(m.force_closure);
    EXPECT_NEAR(m.epsilon, q.epsilon, 1e-9 * q.epsilon) << "trial " << trial;
    EXPECT_NEAR(m.volume, q.volume, 1e-9 * q.volume) << "trial " << trial;
  }
  EXPECT_GE(closed, 4);
}

TEST(QualityDegenerate, FlatOrBrokenInputGivesNoQualityQuietly) {
  auto quiet = [](const Contacts& c, const QualitySettings& s, const char* what) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const QualityResult q = Quality(c, kOrigin, 1.0, s);
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "")
        << what;
    EXPECT_TRUE(std::isfinite(q.epsilon) && std::isfinite(q.volume)) << what;
    return q;
  };
  auto none = [&](const Contacts& c, const QualitySettings& s, const char* what) {
    const QualityResult q = quiet(c, s, what);
    EXPECT_FALSE(q.force_closure) << what;
    EXPECT_EQ(q.epsilon, 0.0) << what;
    EXPECT_EQ(q.volume, 0.0) << what;
    return q;
  };
  Contacts ring, ball;  // on the equator with normals turned in its plane; anywhere, radial
  double Ez[3][3];
  Cz(0.3, Ez);
  for (int k = 0; k < 6; ++k) {
    ring.push_back(OnSphere(kOrigin, 1.0, kPi / 2, k * k2Pi / 6));
    MatVec(Ez, ring.back().n, ring.back().n);
    ball.push_back(OnSphere(kOrigin, 1.0, 0.5 * k, 1.3 * k));
  }
  QualitySettings frictionless, torsionOnly, twoEdges;
  frictionless.mu = torsionOnly.mu = 0;
  torsionOnly.model = ContactModel::Soft;
  twoEdges.cone_edges = 2;
  EXPECT_LT(none(ring, frictionless, "coplanar, no friction").hull_dimension, 6);
  EXPECT_LT(none(ring, torsionOnly, "coplanar, torsion only").hull_dimension, 6);
  EXPECT_LT(none(ball, frictionless, "no friction, normals through the centre").hull_dimension, 6);
  EXPECT_TRUE(none({ring[0]}, torsionOnly, "one contact").input_ok);
  EXPECT_TRUE(none({ring[0], ring[0], ring[0]}, QualitySettings(), "one point thrice").input_ok);
  Contacts broken = ring;
  broken[2].p[1] = NAN;
  EXPECT_FALSE(none(broken, torsionOnly, "NaN in a point").input_ok);
  broken = ring;
  broken[3].n[0] = broken[3].n[1] = broken[3].n[2] = 0;
  EXPECT_FALSE(none(broken, QualitySettings(), "zero normal").input_ok);
  EXPECT_FALSE(none(Contacts(7, ring[0]), QualitySettings(), "seven contacts").input_ok);
  EXPECT_FALSE(none(ring, twoEdges, "two cone edges").input_ok);
  EXPECT_FALSE(GraspQuality(ring.data(), 6, kOrigin, 0.0, QualitySettings()).input_ok);

  // a contact listed twice adds only copies of its wrenches
  Contacts three, doubled;
  for (int k = 0; k < 3; ++k) three.push_back(OnSphere(kOrigin, 1.0, kPi / 2, k * k2Pi / 3));
  for (const QualityContact& k : three) doubled.insert(doubled.end(), {k, k});
  const QualityResult once = Quality(three, kOrigin, 1.0, QualitySettings());
  const QualityResult twice = Quality(doubled, kOrigin, 1.0, QualitySettings());
  EXPECT_TRUE(twice.force_closure);
  EXPECT_NEAR(twice.epsilon, once.epsilon, 1e-12);
  EXPECT_NEAR(twice.volume, once.volume, 1e-12);

  // a hair of friction: six dimensions, but too thin for Qhull to be sure of
  QualitySettings hair;
  hair.model = ContactModel::Soft;
  hair.mu = hair.torsion = 1e-8;
  const QualityResult thin = quiet(three, hair, "nearly flat");
  EXPECT_EQ(thin.hull_dimension, 6);
  EXPECT_LT(thin.epsilon, 1e-7);
}

TEST(QualityAgainstQhull, HandBuiltGraspsOfSphereAndCylinder) {
  // sphere of radius 1.5 about c; cylinder of radius 1 on the z axis from z = 0 to
  // 2, judged about its mid-point m: contacts on its side push towards the axis,
  // those on its end disks along it
  const double c[3] = {0.3, -0.2, 1.0}, m[3] = {0, 0, 1};
  auto side = [](double az, double z) {
    return QualityContact{{std::cos(az), std::sin(az), z}, {-std::cos(az), -std::sin(az), 0}};
  };
  auto disk = [](double x, double y, double z) { return QualityContact{{x, y, z}, {0, 0, 1 - z}}; };
  const std::pair<Contacts, const double*> grasps[] = {
      {{OnSphere(c, 1.5, 1.0, 0.4), OnSphere(c, 1.5, 2.1, 3.6)}, c},  // nearly antipodal
      {{OnSphere(c, 1.5, kPi / 2, 0), OnSphere(c, 1.5, kPi / 2, k2Pi / 3),
        OnSphere(c, 1.5, kPi / 2, 2 * k2Pi / 3)},
       c},  // symmetric: many facets at one depth
      {{OnSphere(c, 1.5, 2.4, 0.2), OnSphere(c, 1.5, 2.5, 2.3), OnSphere(c, 1.5, 2.3, 4.4)}, c},
      {{disk(0.3, 0.1, 2), disk(-0.2, 0.4, 0)}, m},  // parallel normals
      {{side(0, 0.8), side(2.1, 1.3), side(4.2, 0.9)}, m},
      {{side(0.3, 1), side(3.4, 1), disk(0, 0.5, 2)}, m},
  };
  int closed = 0, open = 0;
  for (size_t i = 0; i < std::size(grasps); ++i)
    for (ContactModel model : {ContactModel::Point, ContactModel::Soft})
      for (int edges : {3, 8, 16}) {
        SCOPED_TRACE(testing::Message() << "grasp " << i << ", " << ContactModelName(model) << ", "
                                        << edges << " edges");
        const auto& [contacts, centre] = grasps[i];
        QualitySettings s;
        s.model = model;
        s.cone_edges = edges;
        const auto r = rgtest::ExpectQhullAgrees(contacts.data(), static_cast<int>(contacts.size()),
                                                 centre, centre == c ? 1.5 : 1.0, s);
        (r.closure ? closed : open) += r.full;
      }
  EXPECT_GE(closed, 15);  // both verdicts are met with on full hulls
  EXPECT_GE(open, 6);
}

TEST(QualityAgainstQhull, PolytopesOfKnownDepthInAnyOrientation) {
  // The cube [-1,1]^6 shifted by s has depth 1 - max |s_i| (none when the origin
  // lies on a facet or outside), and every facet is a plane of 32 points; every
  // facet of the cross-polytope of the unit vectors lies at 1/sqrt6, and no
  // simplex of its vertices holds the origin inside.
  auto cube = [](double s0, double s1) {
    std::vector<double> w;
    for (int v = 0; v < 64; ++v)
      for (int j = 0; j < 6; ++j) w.push_back(((v >> j) & 1 ? 1.0 : -1.0) + (j ? s1 : s0));
    return w;
  };
  std::vector<double> cross(72, 0.0);
  for (int v = 0; v < 12; ++v) cross[6 * v + v / 2] = v % 2 ? -1.0 : 1.0;
  const std::pair<std::vector<double>, double> sets[] = {
      {cube(0.3, -0.1), 0.7}, {cube(1, 0.2), 0}, {cube(-1.5, 0), 0}, {cross, 1 / std::sqrt(6.0)}};
  for (const auto& [points, depth] : sets)
    for (double turn : {0.0, 0.7}) {  // turned in the planes of axes (0,1), (1,2), ... (4,5)
      SCOPED_TRACE(testing::Message() << "depth " << depth << ", turned " << turn);
      std::vector<double> w = points;
      for (size_t i = 0; i < w.size(); i += 6)
        for (int a = 0; a < 5; ++a) {
          const double x = w[i + a], y = w[i + a + 1], t = turn * (a + 1);
          w[i + a] = std::cos(t) * x - std::sin(t) * y;
          w[i + a + 1] = std::sin(t) * x + std::cos(t) * y;
        }
      const int k = static_cast<int>(w.size() / 6);
      const rgtest::HullReference ref = rgtest::QhullReference(w.data(), k);
      EXPECT_NEAR(ref.closure ? ref.depth : 0.0, depth, 1e-13);
      rgtest::ExpectGrowthAgrees(w.data(), k, ref);
    }
}

TEST(QualityOptions, GoodValuesSetAndBadOnesExplainThemselves) {
  QualitySettings s;
  std::string err;
  const char* good[][2] = {
      {"--friction", "0.8"}, {"--torsion", "0"}, {"--contact", "soft"}, {"--cone-edges", "12"}};
  for (const auto& [option, value] : good)
    EXPECT_TRUE(ParseQualityOption(option, value, &s, &err))
        << option << " " << value << ": " << err;
  auto holdsGoodValues = [&] {
    return s.mu == 0.8 && s.torsion == 0.0 && s.model == ContactModel::Soft && s.cone_edges == 12;
  };
  EXPECT_TRUE(holdsGoodValues());
  EXPECT_TRUE(IsQualityOption("--cone-edges"));
  EXPECT_FALSE(IsQualityOption("--state"));
  const char* bad[][2] = {{"--friction", "-0.1"}, {"--friction", "abc"},   {"--friction", ""},
                          {"--friction", "0.5x"}, {"--friction", "nan"},   {"--torsion", "-1"},
                          {"--cone-edges", "2"},  {"--cone-edges", "4.5"}, {"--cone-edges", "65"},
                          {"--contact", "hard"},  {"--frictoin", "0.5"}};
  for (const auto& [option, value] : bad) {
    err.clear();
    EXPECT_FALSE(ParseQualityOption(option, value, &s, &err)) << option << " " << value;
    EXPECT_NE(err.find(option), std::string::npos) << err;
  }
  EXPECT_TRUE(holdsGoodValues());  // rejected values leave the settings alone
}
