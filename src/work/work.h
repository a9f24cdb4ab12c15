// Work model: the sphere and cylinder works, their frames, the work selection,
// the transformation of a work pose into a finger frame, and the commands that
// move the work or set its commanded velocity.
#pragma once

#include "core/state.h"

namespace rg {

// the turn of one rotation key of the setting modes (rad)
constexpr double kTurnStep = 0.031415926536;

// work frames
void WorkOrien1(double al, double bet, double gam, const double E0[3][3], double Ef[3][3]);
void WorkOrien2(double al, double bet, double gam, const double Es[3][3], double Ef[3][3]);
// The angles (al, bet, gam) in radians with WorkOrien1(al, bet, gam, I) = E: turns
// about the x, y and z axes in turn, as the start-up's al0, bet0, qam0 give the
// default pose. bet lies in [-pi/2, pi/2], al and gam in (-pi, pi]; where
// cos(bet) is 0 only al + gam (or al - gam) is defined, and gam is given as 0.
void WorkOrienAngles(const double E[3][3], double ang[3]);
void ITransWrkAtoM(const double rm[3], const double Em[3][3], const double rw[3],
                   const double Ew[3][3], double rwM[3], double EwM[3][3]);

// The work-side parameters of a contact on the sphere from the outward unit normal
// n at the contact, given in the work frame: the longitude alw (from the work's x
// axis towards its y axis) and latitude betw (towards its z axis) of n, and the
// contact point's cylindrical coordinates thw = alw, Lw = aSph sin betw,
// Ltw = aSph cos betw.
void SphereContactAngles(double aSph, const double n[3], ContactPrm& prm);
// thw, Lw and Ltw from the angles alw and betw already in prm (aSph the radius)
void SphereAnglesPrm(double aSph, ContactPrm& prm);
// The outward unit normal, in the work frame, of longitude alw and latitude betw.
void SphereNormal(double alw, double betw, double n[3]);

// work motion commands
void MoveWork(Sim& s, char key);
void setWorkVelocity(Sim& s, char key, const double E[3][3]);
// The commanded velocity set in numbers (any real values), with its label and omw
// (= E omww) as the keys of mode 'V' leave them.
void SetWorkVelocityValues(Sim& s, const double vw[3], const double omww[3], const double E[3][3]);
// The point a motion step turns the work about, whose velocity the commanded linear
// velocity is: the cylinder's mid-point, the sphere's centre (pose r, E).
void WorkTurnCentre(const Model& m, char work, const double r[3], const double E[3][3],
                    double c[3]);
// A pose of the work: r the cylinder's lower face centre or the sphere's centre, E
// its axes (columns, in the hand frame).
struct WorkPose {
  double r[3] = {};
  double E[3][3] = {};
};
// The works' default poses in the hand frame, where start-up and the work selection
// put them: the sphere's centre with the hand frame's axes, and the cylinder's lower
// face centre turned about its own x axis by kCylinderHomeTurn (pi/4 to ten
// decimals; its other two angles are 0).
constexpr double kSphereHome[3] = {0, 100, 5};
constexpr double kCylinderHome[3] = {0, 140, -40};
constexpr double kCylinderHomeTurn = 0.7853981639;
// The default pose of work '1' (sphere) or '2' (cylinder).
WorkPose DefaultWorkPose(char work);
// One time step of the work of type work ('1' sphere, '2' cylinder) from `from`: its
// turn centre moves by dt*v and it turns by dt*om about its own axes.
WorkPose MoveWorkStep(const Model& m, char work, const double v[3], const double om[3], double dt,
                      const WorkPose& from);

}  // namespace rg
