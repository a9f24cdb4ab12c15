// Drawing of the work (wire globe for the sphere, solid or translucent cylinder
// with a wire net and an axis arrow) and of the contact markers.
#include <cmath>

#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kSphereFill[4] = {1.0f, 0.0f, 0.0f, 0.0f};

void ZYZAngles(const double E[3][3], double ang[2]) {
  double ex[3], ey[3], ez[3], zyz[3];
  MatColumn(E, 0, ex);
  MatColumn(E, 1, ey);
  MatColumn(E, 2, ez);
  FrameToZYZ(ex, ey, ez, zyz);
  ang[0] = zyz[0];
  ang[1] = zyz[1];
}

void CylinderNetAndArrow(const double rw[3], const double Ew[3][3], double a, double h) {
  double ez[3], rf[3];
  MatColumn(Ew, 2, ez);
  VecAddScaled(rw, h, ez, rf);
  CylinderNet(rw, Ew, a + 0.02, h + 0.02);
  DrawVector(rf, ez, 20.0, 1.0, kBlack);
}

// The cylinder work with its net and axis arrow, opaque or translucent.
void WorkCylinder(const double rw[3], const double Ew[3][3], double a, double h,
                  const float colour[4], bool translucent) {
  double rf[3];
  CylinderAlongZ(rw, Ew, a, h, colour, translucent, rf);
  CylinderNetAndArrow(rw, Ew, a, h);
}

}  // namespace

void draw_work(const Model& m, char work, const double rw[3], const double Ew[3][3],
               const float colour[4]) {
  if (work == '2') {
    draw_WrkCylinder(rw, Ew, m.aCyl, m.hCyl, colour);
  } else {
    draw_WrkSphere(rw, Ew, m.aSph);
  }
}

void draw_WrkCylinder(const double rw[3], const double Ew[3][3], double a, double h,
                      const float colour[4]) {
  WorkCylinder(rw, Ew, a, h, colour, false);
}

void draw_WrkCylinderTr2(const double rw[3], const double Ew[3][3], double a, double h,
                         const float colour[4]) {
  WorkCylinder(rw, Ew, a, h, colour, true);
}

void draw_WrkSphere(const double rw[3], const double Ew[3][3], double a) {
  const double halfPi = 1.5707963278;
  // six meridians: circles whose planes contain the work's z axis, 30 degrees apart
  const double B[3][3] = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};  // columns (0,1,0), (0,0,1), (1,0,0)
  for (int i = 0; i < 6; ++i) {
    const double th = i * 3.1415926536 / 6.0;
    const double c = std::cos(th), sn = std::sin(th);
    double Bt[3][3], F[3][3], ang[2];
    for (int j = 0; j < 3; ++j) {
      Bt[j][0] = c * B[j][0] - sn * B[j][2];
      Bt[j][1] = B[j][1];
      Bt[j][2] = sn * B[j][0] + c * B[j][2];
    }
    MatMul(Ew, Bt, F);
    ZYZAngles(F, ang);
    usrDrawWireCircle3d(ang, rw, a, kBlack);
  }
  // five parallels at -60, -30, 0, 30 and 60 degrees of latitude
  double ang[2], ez[3];
  ZYZAngles(Ew, ang);
  MatColumn(Ew, 2, ez);
  for (int i = 1; i <= 5; ++i) {
    const double phi = i * (halfPi / 3.0) - halfPi;
    double centre[3];
    VecAddScaled(rw, a * std::sin(phi), ez, centre);
    usrDrawWireCircle3d(ang, centre, a * std::cos(phi), kBlack);
  }
  DrawSphereTr(rw, a, kSphereFill);
}

void DrawVector(const double P[3], const double dir[3], double L, double s,
                const float colour[4]) {
  double T[3], tip[3];
  VecAddScaled(P, L, dir, T);
  VecAddScaled(T, 1.5 * s, dir, tip);
  DrawLine(P, T, 200.0, colour);
  DrawCone(T, tip, s, colour);
}

void draw_ContactMark(int kf, const double P[3], const double n[3], const float colour[4]) {
  (void)kf;  // every finger's marker looks the same
  DrawSphere(P, 2.5, colour);
  DrawVector(P, n, 50.0, 5.0, colour);
}

}  // namespace rg
