// Grasp quality from plain contact data: force closure, the Ferrari-Canny
// epsilon and the volume of the grasp wrench space. Nothing here reads the
// simulation state, so it can judge a grasp and every manipulation step after it.
//
// Wrenches are 6-vectors (f, tau/rho): the force, then the torque about the
// work's reference centre divided by a characteristic length rho, so that force
// and torque carry the same unit and the measures do not change with the unit
// of length. Callers pass the work's radius as rho.
//
// Each contact contributes primitive wrenches, every one carrying a unit normal
// force, and the grasp wrench space is their convex hull: all wrenches the
// contacts can apply with normal forces summing to one.
//   point contact: the m edges of the friction cone |f_t| <= mu*f_n, linearised
//     as an inscribed m-sided pyramid, f_k = n + mu*(cos a_k t1 + sin a_k t2),
//     a_k = 2*pi*k/m, t2 = n x t1, applied at the contact point;
//   soft finger: those m edges plus the normal push with a torsional friction
//     torque +-torsion*rho about the normal, i.e. (n, (r x n)/rho +- torsion*n).
//     Their hull keeps |f_t|/mu + |tau_n|/(torsion*rho) <= f_n, a linearisation
//     inside the elliptic soft-finger limit surface.
//   torsion is a fraction of rho (dimensionless) so that one default suits works
//   of any size: 0.1 means a torsional lever arm of a tenth of the work's radius.
// The first edge direction t1 is fixed by the grasp itself (in the tangent plane,
// towards the next contact in the given order, else the centre, else along another
// contact's normal), so moving or turning the whole scene moves the edges with it
// and leaves the measures alone. Listing the contacts in another order may turn a
// cone by part of its edge spacing; the measures then stay between those of
// circular cones with friction mu*cos(pi/m) and mu.
// Closure and epsilon alone come from the facets of the hull nearest the origin,
// grown towards it from a starting simplex (quality/wrench_hull.h); with the
// volume all three come from the whole hull, computed with Qhull. Calls may run in
// parallel (per-thread workspaces, a Qhull instance per call). The first whole hull
// raises glibc's mmap and trim thresholds for the process (to 4 and 8 MB) so that
// Qhull's freed memory is not returned to the kernel after every hull.
#pragma once

#include <string>

namespace rg {

enum class ContactModel { Point, Soft };

// Contact model and friction used to build the primitive wrenches.
struct QualitySettings {
  ContactModel model = ContactModel::Point;
  double mu = 0.5;       // Coulomb friction coefficient, >= 0
  double torsion = 0.1;  // soft finger: torsion torque per unit normal force over rho, >= 0
  int cone_edges = 8;    // edges m of the linearised friction cone, 3..64
};
constexpr int kMinConeEdges = 3;
constexpr int kMaxConeEdges = 64;
constexpr int kMaxQualityContacts = 6;

// One contact: its point and the unit inward normal (pointing into the work, the
// direction the finger pushes; normalised here), in any frame shared by all
// contacts and the centre.
struct QualityContact {
  double p[3] = {0, 0, 0};
  double n[3] = {0, 0, 1};
};

// What an evaluation computes: closure and epsilon take a small part of the hull,
// the volume all of it (ten to fifty times the time for three fingers).
enum class QualityMeasures { ClosureAndEpsilon, All };

struct QualityResult {
  bool input_ok = false;       // 1..6 finite contacts, non-zero normals, rho > 0, valid settings
  bool force_closure = false;  // the origin strictly inside the hull of the primitive wrenches
  double epsilon = 0.0;        // distance from the origin to the nearest facet; 0 without closure
  double volume = 0.0;         // 6-D volume of the hull, closure or not; 0 when it is flat
                               // or not asked for
  int hull_dimension = 0;      // affine dimension of the primitive wrenches (6 = full)
  QualitySettings settings;    // the settings used
};

// settings and the options that set them
const char* ContactModelName(ContactModel m);  // "point" or "soft"
// true when s is usable; otherwise false with the reason in *err (err may be null)
bool QualitySettingsValid(const QualitySettings& s, std::string* err);
// true for --friction, --torsion, --contact and --cone-edges
bool IsQualityOption(const std::string& option);
// Applies one option and its value ("--friction", "0.8") to *s. An unknown option
// or a bad value (not a number, trailing text, negative friction or torsion,
// fewer than 3 or more than 64 cone edges, a model other than point|soft) gives
// false with a message in *err and leaves *s unchanged.
bool ParseQualityOption(const std::string& option, const std::string& value, QualitySettings* s,
                        std::string* err);

// primitive wrenches
int PrimitiveWrenchesPerContact(const QualitySettings& s);  // m, or m + 2 for a soft finger
// Writes the primitive wrenches of n contacts into w (6 doubles each, n times
// PrimitiveWrenchesPerContact(s) of them, contact by contact) and returns their
// number; 0 and nothing written when the input is not acceptable.
int PrimitiveWrenches(const QualityContact* c, int n, const double centre[3], double rho,
                      const QualitySettings& s, double* w);

// Quality measures: never prints, never throws, never returns NaN. Input that is
// not acceptable, a flat wrench set (found before any hull is built) and a hull
// that cannot be built give no force closure, epsilon 0 and volume 0. Both ways of
// asking give the same closure verdict and the same epsilon to rounding (within
// 1e-13 of it on the grasps tested). For 16..30 wrenches closure and epsilon take
// about 10..90 us, the whole hull with the volume 0.3..1.3 ms; a flat set is
// refused in about 1 us.
QualityResult GraspQuality(const QualityContact* c, int n, const double centre[3], double rho,
                           const QualitySettings& s = QualitySettings(),
                           QualityMeasures what = QualityMeasures::All);

}  // namespace rg
