// Fingertip against an end disk of the cylinder: the tip centre must lie on the
// face plane lifted by aFin, one first-degree equation in q with a closed form.
#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "numerics/vecmat.h"

namespace rg {

using grasp_detail::FinNormalAngle;
using grasp_detail::LinkDir;
using grasp_detail::TipNormalAngle;

namespace {
constexpr double kNoAngle = 1000.0;     // contact angle of "no contact"
constexpr double kFaceInPlane = 1e-12;  // |mW_xy| below this: face parallel to the link plane
constexpr double kReachSlack = 1e-7;    // |cos| up to 1 + this still reaches (rounding), clamped
}  // namespace

int FinTipDiskContactm2(const Model& m, char sgnUL, const double PWm[3], const double EwM[3][3],
                        const double mW[3], ContactM& c) {
  c = ContactM();
  c.q = kNoAngle;
  c.prm.Lf = m.lFin;
  c.prm.Lw = (sgnUL == 'U') ? m.hCyl : 0.0;
  c.prm.Ltw = m.aCyl;
  // The joint origin on the inner side of the face plane cannot reach the face.
  if (VecDot(PWm, mW) > 0.0) return 0;

  double PWf[3];
  VecAddScaled(PWm, m.aFin, mW, PWf);  // face centre lifted by the tip radius
  VecCopy(mW, c.NWm);
  VecNeg(mW, c.NFm);

  // lFin*(mW_x cos q + mW_y sin q) = PWf.mW, i.e. cos(q - phi) = cf.
  const double rho = std::sqrt(mW[0] * mW[0] + mW[1] * mW[1]);
  // A face parallel to the link plane: the tip centres never cross the lifted
  // plane (or lie in it for every q); no single contact angle.
  if (!(rho > kFaceInPlane)) return 0;
  const double phi = std::atan2(mW[1], mW[0]);
  double cf = (VecDot(PWf, mW) / m.lFin) / rho;
  if (!(std::fabs(cf) <= 1.0 + kReachSlack)) return 0;
  if (cf > 1.0) cf = 1.0;
  if (cf < -1.0) cf = -1.0;
  const double q1 = WrapPiC(phi + std::acos(cf));
  const double q2 = WrapPiC(phi - std::acos(cf));

  // the smaller non-negative root; q1 on a tie
  double q;
  if (q1 >= 0.0 && q2 >= 0.0)
    q = (q2 < q1) ? q2 : q1;
  else if (q1 >= 0.0)
    q = q1;
  else if (q2 >= 0.0)
    q = q2;
  else
    return 0;

  double u[3], T[3], d[3], xw[3], yw[3];
  MatColumn(EwM, 0, xw);
  MatColumn(EwM, 1, yw);
  LinkDir(q, u);
  VecScale(m.lFin, u, T);
  c.q = q;
  VecSub(T, PWf, d);
  c.prm.Ltw = VecNorm(d);  // distance of the tip centre from the face axis
  VecAddScaled(T, -m.aFin, mW, c.RCm);
  VecSub(c.RCm, PWm, d);
  c.prm.thw = std::atan2(VecDot(d, yw), VecDot(d, xw));
  c.prm.fif = FinNormalAngle(u, c.NFm);
  c.prm.psif = TipNormalAngle(u, c.NFm, c.prm.fif);

  // The rear half of the tip sphere cannot touch the face without the link cutting in.
  c.solF = grasp_detail::FrontHalf(m, c.prm.psif) ? 2 : 0;
  c.solW = (c.prm.Ltw <= m.aCyl) ? 3 : 4;
  if (!grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  return (c.solF == 2 && c.solW == 3) ? 3 : 4;
}

}  // namespace rg
