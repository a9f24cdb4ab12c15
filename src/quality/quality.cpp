// Grasp quality: primitive wrenches of the contacts, then force closure and the
// epsilon measure from the facets of their hull nearest the origin or, when the
// volume is asked for too, all three from the whole hull by Qhull.
#include "quality/quality.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "numerics/text_number.h"
#include "numerics/vecmat.h"
#include "quality/wrench_hull.h"

namespace rg {

namespace {

constexpr int kDim = kWrenchDim;
constexpr double kTwoPi = 6.283185307179586;
// Below this fraction of the wrenches' size a direction counts as absent (rank)
// and the origin as on the hull's boundary (strictly inside needs more).
constexpr double kRelTol = 1e-10;

// Tangent-plane part of v at a contact with unit normal n; false when too short.
bool TangentPart(const double v[3], const double n[3], double scale, double t[3]) {
  VecAddScaled(v, -VecDot(v, n), n, t);
  if (VecNorm(t) <= 1e-9 * scale) return false;
  VecUnit(t, t);
  return true;
}

// First cone edge direction of contact i. It is taken from the grasp (the next
// distinct contact, else the centre, else another contact's normal) so that it
// turns with the scene. Only when all of these lie along contact i's normal does
// a coordinate axis decide; the scene is then symmetric about that line, and as
// every such contact gets the same t1, their cones turn together with no effect.
void FirstTangent(const QualityContact* c, const double (*n)[3], int count, int i,
                  const double centre[3], double scale, double t1[3]) {
  double v[3];
  for (int k = 1; k < count; ++k) {
    VecSub(c[(i + k) % count].p, c[i].p, v);
    if (TangentPart(v, n[i], scale, t1)) return;
  }
  VecSub(centre, c[i].p, v);
  if (TangentPart(v, n[i], scale, t1)) return;
  for (int k = 1; k < count; ++k)
    if (TangentPart(n[(i + k) % count], n[i], 1.0, t1)) return;
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (std::fabs(n[i][a]) < std::fabs(n[i][axis])) axis = a;
  double e[3] = {0, 0, 0};
  e[axis] = 1.0;
  TangentPart(e, n[i], 0.0, t1);
}

// Writes the wrench (f, r x f / rho + extra) of force f at offset r into w.
void PutWrench(const double f[3], const double r[3], double rho, const double extra[3], double* w) {
  double tau[3];
  VecCross(r, f, tau);
  for (int k = 0; k < 3; ++k) {
    w[k] = f[k];
    w[3 + k] = tau[k] / rho + extra[k];
  }
}

bool ParseInt(const std::string& text, int* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < -1000000 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

const char* ContactModelName(ContactModel m) { return m == ContactModel::Soft ? "soft" : "point"; }

bool QualitySettingsValid(const QualitySettings& s, std::string* err) {
  std::string why;
  if (s.model != ContactModel::Point && s.model != ContactModel::Soft)
    why = "unknown contact model";
  else if (!std::isfinite(s.mu) || s.mu < 0)
    why = "friction must be a finite number >= 0";
  else if (!std::isfinite(s.torsion) || s.torsion < 0)
    why = "torsion must be a finite number >= 0";
  else if (s.cone_edges < kMinConeEdges || s.cone_edges > kMaxConeEdges)
    why = "cone edges must be an integer from " + std::to_string(kMinConeEdges) + " to " +
          std::to_string(kMaxConeEdges);
  if (why.empty()) return true;
  if (err) *err = why;
  return false;
}

bool IsQualityOption(const std::string& option) {
  return option == "--friction" || option == "--torsion" || option == "--contact" ||
         option == "--cone-edges";
}

bool ParseQualityOption(const std::string& option, const std::string& value, QualitySettings* s,
                        std::string* err) {
  QualitySettings t = *s;
  bool parsed = true;
  if (option == "--friction") {
    parsed = ParseFiniteNumber(value, &t.mu);
  } else if (option == "--torsion") {
    parsed = ParseFiniteNumber(value, &t.torsion);
  } else if (option == "--cone-edges") {
    parsed = ParseInt(value, &t.cone_edges);
  } else if (option == "--contact") {
    if (value == "point") {
      t.model = ContactModel::Point;
    } else if (value == "soft") {
      t.model = ContactModel::Soft;
    } else {
      if (err) *err = "--contact must be point or soft, not '" + value + "'";
      return false;
    }
  } else {
    if (err) *err = "unknown quality option " + option;
    return false;
  }
  std::string why = "not a number";
  if (!parsed || !QualitySettingsValid(t, &why)) {
    if (err) *err = option + " '" + value + "': " + why;
    return false;
  }
  *s = t;
  return true;
}

int PrimitiveWrenchesPerContact(const QualitySettings& s) {
  return s.cone_edges + (s.model == ContactModel::Soft ? 2 : 0);
}

int PrimitiveWrenches(const QualityContact* c, int n, const double centre[3], double rho,
                      const QualitySettings& s, double* w) {
  if (!c || !w || n < 1 || n > kMaxQualityContacts || !QualitySettingsValid(s, nullptr)) return 0;
  if (!centre || !VecFinite(centre) || !std::isfinite(rho) || rho <= 0) return 0;
  double unitN[kMaxQualityContacts][3];
  double scale = rho;  // length scale for "too short" tangent references
  for (int i = 0; i < n; ++i) {
    if (!VecFinite(c[i].p) || !VecFinite(c[i].n) || VecNorm(c[i].n) < 1e-12) return 0;
    VecUnit(c[i].n, unitN[i]);
    double r[3];
    VecSub(c[i].p, centre, r);
    scale = std::fmax(scale, VecNorm(r));
  }
  const double zero[3] = {0, 0, 0};
  int count = 0;
  for (int i = 0; i < n; ++i) {
    const double* ni = unitN[i];
    double r[3], t1[3], t2[3];
    VecSub(c[i].p, centre, r);
    FirstTangent(c, unitN, n, i, centre, scale, t1);
    VecCross(ni, t1, t2);
    for (int k = 0; k < s.cone_edges; ++k) {
      const double a = kTwoPi * k / s.cone_edges;
      double f[3];
      for (int j = 0; j < 3; ++j) f[j] = ni[j] + s.mu * (std::cos(a) * t1[j] + std::sin(a) * t2[j]);
      PutWrench(f, r, rho, zero, w + kDim * count++);
    }
    if (s.model == ContactModel::Soft) {
      for (double sign : {1.0, -1.0}) {
        double twist[3];
        VecScale(sign * s.torsion, ni, twist);
        PutWrench(ni, r, rho, twist, w + kDim * count++);
      }
    }
  }
  return count;
}

QualityResult GraspQuality(const QualityContact* c, int n, const double centre[3], double rho,
                           const QualitySettings& s, QualityMeasures what) {
  QualityResult res;
  res.settings = s;
  if (n < 1 || n > kMaxQualityContacts || !QualitySettingsValid(s, nullptr)) return res;
  std::vector<double> w(static_cast<size_t>(kDim) * n * PrimitiveWrenchesPerContact(s));
  const int k = PrimitiveWrenches(c, n, centre, rho, s, w.data());
  if (k == 0) return res;
  res.input_ok = true;

  double scale = 0;
  for (int i = 0; i < k * kDim; ++i) scale = std::fmax(scale, std::fabs(w[i]));
  // A flat set has no volume and cannot hold the origin strictly inside.
  int simplex[kDim + 1];
  res.hull_dimension = AffineDimension(w.data(), k, scale, simplex);
  if (res.hull_dimension < kDim) return res;
  const double insideTol = kRelTol * scale;

  if (what == QualityMeasures::ClosureAndEpsilon) {
    const NearestFacetsResult g = NearestFacets(w.data(), k, simplex, scale, insideTol);
    if (g.verdict == NearestFacetsResult::Verdict::Inside) {
      res.force_closure = true;
      res.epsilon = g.depth;
      return res;
    }
    if (g.verdict == NearestFacetsResult::Verdict::NotInside) return res;
    // rounding spoilt the grown hull: the whole hull decides
  }

  // The whole hull by Qhull. Without merging Qhull is two to three times faster
  // and stops with a precision error where merging is needed; only then is the
  // merged run paid.
  double nearest = 0.0, volume = 0.0;
  if (!QhullMeasures(w.data(), k, "Q0", &nearest, &volume) &&
      !QhullMeasures(w.data(), k, "", &nearest, &volume))
    return res;  // Qhull gave up (precision trouble near a flat hull): no quality
  if (what == QualityMeasures::All) res.volume = volume > 0 ? volume : 0.0;
  if (nearest > insideTol) {
    res.force_closure = true;
    res.epsilon = nearest;
  }
  return res;
}

}  // namespace rg
