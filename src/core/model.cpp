// The built-in hands' models from the compiled catalogue, and the comparison of two
// models.
#include "core/model.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "numerics/vecmat.h"

namespace rg {

namespace {

// Frames of a model hold no negative zeros (Cy(0) has one): a frame read from a
// file, which cannot tell the two apart, is then the same bits as the catalogue's.
void PositiveZeros(double E[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (E[i][j] == 0.0) E[i][j] = 0.0;
}

// A finger base on the palm's rim at angle phi about the palm's Y axis, its frame
// turned by the same angle.
void RimMount(double phi, double radius, FingerMount& m) {
  VecSet(radius * std::sin(phi), 0.0, radius * std::cos(phi), m.base);
  Cy(phi, m.frame);
  PositiveZeros(m.frame);
}

Model BuildCatalogueModel(int hand) {
  Model m;
  m.name = kHandLabel[hand] + 4;  // the label without its "H=n:" key
  m.nF = kNfin[hand];
  m.nJ = kNjnt[hand];
  m.lFin = catalogue::lFin;
  m.aFin = catalogue::aFin;
  m.rRjnt = catalogue::rRjnt;
  m.lRjnt = catalogue::lRjnt;
  m.rPalm = catalogue::rPalm;
  m.hPalm = catalogue::hPalm;
  m.aSph = catalogue::aSph;
  m.aCyl = catalogue::aCyl;
  m.hCyl = catalogue::hCyl;

  const bool pqpp = (hand == 3 || hand == 4);
  const char letters[kSlots] = {' ', pqpp ? 'P' : 'R', 'Q', 'P', 'P', 'P', ' '};
  std::memcpy(m.jointType, letters, sizeof letters);
  // joints 1..3 sit at the finger base, joint 4 and the fingertip one link apart
  VecSet(catalogue::lFin, 0, 0, m.Ls[4]);
  VecSet(catalogue::lFin, 0, 0, m.Ls[5]);
  // the joint frames at zero angles, and each one in the frame of the joint before
  double Es[5][3][3];
  MatIdentity(Es[0]);
  if (pqpp)
    MatCopy(kMp, Es[1]);
  else
    MatIdentity(Es[1]);
  MatCopy(kMq, Es[2]);
  MatCopy(kMp, Es[3]);
  MatCopy(kMp, Es[4]);
  for (int j = 1; j <= 4; ++j) {
    MatTMul(Es[j - 1], Es[j], m.Cs[j]);
    PositiveZeros(m.Cs[j]);
  }

  for (int kf = 1; kf <= m.nF; ++kf) {
    RimMount(kFingerAngle[hand][kf], catalogue::rPalm, m.mountSphere[kf]);
    m.mountCylinder[kf] = m.mountSphere[kf];
  }
  // for these hands finger 1 points up and the others straight down
  for (char work : {'1', '2'}) {
    if (!(hand == 4 || (hand == 2 && work == '2'))) continue;
    for (int kf = 1; kf <= m.nF; ++kf) {
      FingerMount& f = work == '1' ? m.mountSphere[kf] : m.mountCylinder[kf];
      MatIdentity(f.frame);
      if (kf >= 2) {
        f.frame[0][0] = -1.0;
        f.frame[2][2] = -1.0;
      }
    }
  }
  for (int kf = 1; kf <= m.nF; ++kf)
    for (int j = 1; j <= m.nJ; ++j) m.qInit[kf][j] = kInitAngles[hand][j];
  return m;
}

bool SameBits(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

}  // namespace

std::shared_ptr<const Model> CatalogueModel(int hand) {
  static const std::shared_ptr<const Model> models[5] = {
      nullptr, std::make_shared<const Model>(BuildCatalogueModel(1)),
      std::make_shared<const Model>(BuildCatalogueModel(2)),
      std::make_shared<const Model>(BuildCatalogueModel(3)),
      std::make_shared<const Model>(BuildCatalogueModel(4))};
  return (hand >= 1 && hand <= 4) ? models[hand] : models[1];
}

WorkSizes SizesOf(const Model& m) { return WorkSizes{m.aSph, m.aCyl, m.hCyl}; }

std::string WorkSizesError(const WorkSizes& w) {
  struct Size {
    const char* name;
    double value, lo, hi;
  };
  const Size sizes[] = {{"sphere radius", w.sphereRadius, kMinWorkRadius, kMaxWorkRadius},
                        {"cylinder radius", w.cylinderRadius, kMinWorkRadius, kMaxWorkRadius},
                        {"cylinder height", w.cylinderHeight, kMinCylinderHeight, kMaxCylinderHeight}};
  for (const Size& s : sizes)
    if (!(s.value >= s.lo && s.value <= s.hi)) {  // NaN fails both comparisons
      char line[128];
      std::snprintf(line, sizeof line, "%s %g is outside %g..%g", s.name, s.value, s.lo, s.hi);
      return line;
    }
  return "";
}

std::shared_ptr<const Model> WithWorkSizes(std::shared_ptr<const Model> m, const WorkSizes& w) {
  if (m->aSph == w.sphereRadius && m->aCyl == w.cylinderRadius && m->hCyl == w.cylinderHeight)
    return m;
  auto resized = std::make_shared<Model>(*m);
  resized->aSph = w.sphereRadius;
  resized->aCyl = w.cylinderRadius;
  resized->hCyl = w.cylinderHeight;
  return resized;
}

std::string ModelDifference(const Model& a, const Model& b) {
  if (a.name != b.name) return "name";
  if (a.nF != b.nF) return "finger count";
  if (a.nJ != b.nJ) return "joint count";
#define RG_SAME(field) \
  if (!SameBits(&a.field, &b.field, sizeof a.field)) return #field
  RG_SAME(jointType);
  RG_SAME(Ls);
  RG_SAME(Cs);
  RG_SAME(qInit);
  RG_SAME(lFin);
  RG_SAME(aFin);
  RG_SAME(rRjnt);
  RG_SAME(lRjnt);
  RG_SAME(rPalm);
  RG_SAME(hPalm);
  RG_SAME(aSph);
  RG_SAME(aCyl);
  RG_SAME(hCyl);
#undef RG_SAME
  for (int kf = 0; kf < kSlots; ++kf) {
    const FingerMount* ma[2] = {&a.mountSphere[kf], &a.mountCylinder[kf]};
    const FingerMount* mb[2] = {&b.mountSphere[kf], &b.mountCylinder[kf]};
    for (int w = 0; w < 2; ++w)
      if (!SameBits(ma[w]->base, mb[w]->base, sizeof ma[w]->base) ||
          !SameBits(ma[w]->frame, mb[w]->frame, sizeof ma[w]->frame))
        return std::string(w == 0 ? "mountSphere[" : "mountCylinder[") + std::to_string(kf) + "]";
  }
  return "";
}

}  // namespace rg
