// The constant model of one hand and of the works it handles: what a simulation
// runs on and never changes (rg::Sim holds what does). A model comes from the
// compiled catalogue (CatalogueModel) or from a hand description file
// (hand/hand_file.h); both fill the same fields the same way.
#pragma once

#include <memory>
#include <string>

#include "core/catalogue.h"

namespace rg {

// Fingers a model may have: finger slots run 1..kMaxFingers inside the kSlots
// capacity of the finger-indexed arrays.
constexpr int kMaxFingers = 5;
static_assert(kMaxFingers < kSlots, "finger slots 1..kMaxFingers must fit the arrays");

// Where a finger sits on the palm: its base point and its base frame (columns are
// the finger frame's axes), both in the hand frame.
struct FingerMount {
  double base[3] = {};
  double frame[3][3] = {};
};

struct Model {
  std::string name;  // the robot's name, as the window's hand line shows it
  // the description file the model was read from, as an absolute path ("" for the
  // catalogue's hands); a scene names the hand by it
  std::string source;
  int nF = 0;        // fingers, 1..nF
  int nJ = 0;        // joints of each finger, 1..nJ (nJ + 1 = the fingertip)
  // joint letters by axis in the finger frame: 'R' along the finger, 'Q' about the
  // palm's normal, 'P' across the finger ([0] and [nJ + 2..] are blanks)
  char jointType[kSlots] = {};
  double Ls[kSlots][3] = {};          // link from joint j-1 to joint j, in the frame of joint j-1
  double Cs[kSlots][3][3] = {};       // frame of joint j at zero angle, in the frame of joint j-1
  double qInit[kSlots][kSlots] = {};  // initial angles qInit[kf][1..nJ]
  // each finger's mount with the sphere, and with the cylinder
  FingerMount mountSphere[kSlots];
  FingerMount mountCylinder[kSlots];

  // hand dimensions
  double lFin = 0.0;   // length of each of the two finger links
  double aFin = 0.0;   // radius of the links and of the fingertip
  double rRjnt = 0.0;  // drawn body of an 'R' joint: radius
  double lRjnt = 0.0;  //                              length
  double rPalm = 0.0;  // palm radius
  double hPalm = 0.0;  // palm thickness along the palm frame's Y axis

  // work dimensions
  double aSph = 0.0;  // sphere radius
  double aCyl = 0.0;  // cylinder radius
  double hCyl = 0.0;  // cylinder height

  // the mount of finger kf with work '1' (sphere) or '2' (cylinder)
  const FingerMount& Mount(int kf, char work) const {
    return work == '2' ? mountCylinder[kf] : mountSphere[kf];
  }
};

// Whether the model's counts fit the state's finger- and joint-indexed arrays:
// fingers 1..kMaxFingers, joints 1..kSlots - 2 (the fingertip is joint nJ + 1). The
// catalogue's models do by construction and a hand file's by its reader's checks,
// so the loops over a run's fingers and joints need no bound of their own.
inline bool CountsFit(const Model& m) {
  return m.nF >= 1 && m.nF <= kMaxFingers && m.nJ >= 1 && m.nJ <= kSlots - 2;
}

// The model of built-in hand 1..4, built from the compiled catalogue once and
// shared (any other number gives hand 1's).
std::shared_ptr<const Model> CatalogueModel(int hand);

// The sizes of the two works. A model carries the catalogue's unless a run asks
// for others; the work sizes belong to the works, not to the hand, so choosing
// another hand keeps them.
struct WorkSizes {
  double sphereRadius = catalogue::aSph;
  double cylinderRadius = catalogue::aCyl;
  double cylinderHeight = catalogue::hCyl;
};

// The range each size may take: a work small enough to sit between the closed
// fingers and large enough to be held by them, and never reaching the palm from
// its default pose in front of it. The cylinder's default pose leans its top end
// towards the palm: it meets the palm once radius + height reach about 184 (a
// radius of 80 with a height of 104, 60 with 124), so the largest radius and the
// largest height together stay below that (the sphere of radius 80 keeps 10 units
// from the palm's face).
constexpr double kMinWorkRadius = 20.0;
constexpr double kMaxWorkRadius = 80.0;
constexpr double kMinCylinderHeight = 20.0;
constexpr double kMaxCylinderHeight = 100.0;

WorkSizes SizesOf(const Model& m);

// "" when every size is a finite number within its range, else one line naming the
// first one that is not and the range it must lie in.
std::string WorkSizesError(const WorkSizes& w);

// The model with the given work sizes: the same model when it has them already
// (so the catalogue's sizes keep the shared catalogue model), else a copy with
// them. The sizes must have passed WorkSizesError.
std::shared_ptr<const Model> WithWorkSizes(std::shared_ptr<const Model> m, const WorkSizes& w);

// The first field in which a and b differ, bit for bit ("" when they are equal).
std::string ModelDifference(const Model& a, const Model& b);

}  // namespace rg
