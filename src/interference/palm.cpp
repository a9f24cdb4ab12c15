// The palm disc against the work cylinder, in the hand frame. The palm face tested is
// the plane y = aa/2 (aa the palm thickness); the palm is the disc of radius rr about the
// Y axis in that plane. Face-plane coordinates are (x, z).
#include <cmath>

#include "interference/interference.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

// The work's axis counts as lying in the palm face's plane when its component along
// the face normal is below this (and as along the normal when it is that near 1).
constexpr double kAxisInFace = 1e-5;
// sin of the axis's tilt from the normal below which the end lines are not tested
constexpr double kAxisAlongNormal = 1e-12;

// Of the cylinder's ends r (base) and top (base + Lw ez), the one with the smaller
// coordinate c becomes A, and mw points from A to the other end.
void NearEnd(const double r[3], const double top[3], const double ez[3], int c, double A[3],
             double mw[3]) {
  if (top[c] < r[c]) {
    VecCopy(top, A);
    VecNeg(ez, mw);
  } else {
    VecCopy(r, A);
    VecCopy(ez, mw);
  }
}

char PalmCylinder(double aa, double rr, const double r[3], double aw, double Lw,
                  const double EwT[3][3], double* Lc) {
  const double Y0 = aa / 2.0;
  *Lc = 0.0;
  // rows of the transposed frame are the work axes; row 2 is the cylinder axis
  const double ez[3] = {EwT[2][0], EwT[2][1], EwT[2][2]};
  double top[3];
  VecAddScaled(r, Lw, ez, top);

  // A: the end nearer to the face (smaller y); mw points from A to the other end.
  double A[3], mw[3];
  NearEnd(r, top, ez, 1, A, mw);
  const double my = mw[1];

  if (std::fabs(my) >= kAxisInFace && std::fabs(std::fabs(my) - 1.0) < kAxisInFace) {
    // Axis perpendicular to the face: the section is the end disc itself. With the near
    // end at or above the face the whole cylinder lies on the far side of it.
    if (!(A[1] < Y0)) return 'F';
    *Lc = Y0 - A[1];
    const double Dc = std::sqrt(A[0] * A[0] + A[2] * A[2]);
    return (Dc < aw + rr) ? 'C' : 'F';
  }

  if (std::fabs(my) >= kAxisInFace) {
    // Oblique axis: the face cuts the (infinite) cylinder in an ellipse centred where the
    // axis meets it, short semi-axis aw across, long semi-axis aw/cos(beta) along the
    // axis's projection u. A face point at long-axis coordinate Z lies at axial length
    // Lc0 + Z sin(beta) from A.
    const double Lc0 = (Y0 - A[1]) / my;
    double re[3];
    VecAddScaled(A, Lc0, mw, re);
    const double cb = std::fmax(-1.0, std::fmin(1.0, my));
    const double beta = std::acos(cb);
    const double sb = std::sin(beta);
    const double alpha = std::atan2(mw[2], mw[0]);
    const double b = aw / cb;
    // Palm centre relative to the ellipse centre, turned by pi/2 - alpha so that u is +Z.
    const double vx = -re[0], vz = -re[2];
    const double Xp = vx * std::sin(alpha) - vz * std::cos(alpha);
    const double Zp = vx * std::cos(alpha) + vz * std::sin(alpha);

    double pts[4][2];
    const int np = EllipseCircleCPnt(aw, b, Xp, Zp, rr, pts);
    if (np > 0) {
      for (int i = 0; i < np; ++i) {
        *Lc = aw * sb * pts[i][1] + Lc0;
        if (*Lc > 0.0 && *Lc < Lw) return 'C';
      }
    } else {
      const double Rp1 = (Xp / aw) * (Xp / aw) + (Zp / b) * (Zp / b) - 1.0;  // < 0: palm centre in the ellipse
      const double Rp2 = (Xp * Xp + Zp * Zp) / (rr * rr) - 1.0;               // < 0: ellipse centre in the palm
      if (!(Rp1 < 0.0) && !(Rp2 < 0.0)) return 'F';                            // disjoint
      const double Lce1 = Lc0 + sb * (Zp + rr);
      const double Lce2 = Lc0 + sb * (Zp - rr);
      if ((Lce1 > 0.0 && Lce1 < Lw) || (Lce2 > 0.0 && Lce2 < Lw)) {
        *Lc = (Lce1 > 0.0 && Lce1 < Lw) ? Lce1 : Lce2;
        return 'C';
      }
    }
    // The cylinder ends cut the ellipse along the lines Z = (0 - Lc0)/sin(beta) and
    // (Lw - Lc0)/sin(beta); where the palm overlaps such a line inside the ellipse, an
    // end of the work lies in the palm (an end rim poking into it) although no crossing
    // of the two curves lies between the ends.
    if (sb > kAxisAlongNormal) {
      const double Lends[2] = {0.0, Lw};
      for (double Le : Lends) {
        const double Zb = (Le - Lc0) / sb;
        if (!(std::fabs(Zb) < b)) continue;
        const double Xe = aw * std::sqrt(1.0 - (Zb / b) * (Zb / b));
        const double dz = Zb - Zp;
        if (!(std::fabs(dz) < rr)) continue;
        const double Xc = std::sqrt(rr * rr - dz * dz);
        if (Xp - Xc < Xe && Xp + Xc > -Xe) {
          *Lc = Le;
          return 'C';
        }
      }
    }
    return 'F';
  }

  // Axis parallel to the face. Here A is the end with the smaller z; the x and z
  // coordinates are turned by pi/2 - alpha so that the axis runs along +z'.
  NearEnd(r, top, ez, 2, A, mw);
  const double alpha = std::atan2(mw[2], mw[0]);
  const double xA = A[0] * std::sin(alpha) - A[2] * std::cos(alpha);
  const double zA = A[0] * std::cos(alpha) + A[2] * std::sin(alpha);
  const double zB = zA + Lw;
  const double h = Y0 - A[1];  // height of the face above the axis
  if (zB <= -rr || zA >= rr) return 'F';  // no overlap along the axis
  const double w2 = aw * aw - h * h;      // the face cuts the side in x' in [xA - w, xA + w]
  if (zA <= 0.0 && 0.0 < zB) {
    if (w2 < 0.0) return 'F';
    const double w = std::sqrt(w2);
    const double dd1 = xA - w, dd2 = xA + w;
    if ((dd1 > -rr && dd1 < rr) || (dd2 > -rr && dd2 < rr) || (dd1 < -rr && dd2 > rr)) return 'C';
    return 'F';
  }
  // Only one end plane z' = zE crosses the palm circle, at x' = +-sqrt(D).
  const double zE = (zA > 0.0) ? zA : zB;
  const double sD = std::sqrt(std::fmax(0.0, rr * rr - zE * zE));
  const double dd1 = std::sqrt(h * h + (sD - xA) * (sD - xA));
  const double dd2 = std::sqrt(h * h + (-sD - xA) * (-sD - xA));
  if (dd1 - aw < 0.0 || dd2 - aw < 0.0) return 'C';  // a chord end inside the end disc
  // The chord may also span the whole width the end disc leaves in the face.
  if (w2 > 0.0) {
    const double w = std::sqrt(w2);
    if (xA - w > -sD && xA + w < sD) return 'C';
  }
  return 'F';
}

}  // namespace

bool PalmFaceClearOfCylinder(const Model& m, const CylinderSolid& w) {
  // The lowest point (smallest y) of an end circle of radius a about the axis ez lies
  // a sqrt(1 - ez_y^2) below its centre; the cylinder's lowest point is on one of them.
  constexpr double kMargin = 1.0;  // length units, as the finger checks' clearance
  const double ezy = w.E[1][2];
  const double drop = w.a * std::sqrt(std::fmax(0.0, 1.0 - ezy * ezy));
  const double lowest = std::fmin(w.r[1], w.r[1] + w.h * ezy) - drop;
  return lowest > m.hPalm / 2.0 + kMargin;
}

char RPalmCylinderCollision2(const Model& m, const CylinderSolid& w, double* Lc) {
  double ET[3][3];
  MatTrans(w.E, ET);
  return PalmCylinder(m.hPalm, m.rPalm, w.r, w.a, w.h, ET, Lc);
}

}  // namespace rg
