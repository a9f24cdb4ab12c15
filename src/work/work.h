// Work model: the sphere and cylinder works, their frames, the work selection,
// the transformation of a work pose into a finger frame, and the commands that
// move the work or set its commanded velocity.
#pragma once

#include "core/state.h"

namespace rg {

// work frames
void WorkOrien1(double al, double bet, double gam, const double E0[3][3], double Ef[3][3]);
void WorkOrien2(double al, double bet, double gam, const double Es[3][3], double Ef[3][3]);
void ITransWrkAtoM(const double rm[3], const double Em[3][3], const double rw[3],
                   const double Ew[3][3], double rwM[3], double EwM[3][3]);

// work motion commands
void MoveWork(Sim& s, char key);
void setWorkVelocity(Sim& s, char key, const double E[3][3]);
void MoveCylinder1(const double v[3], const double om[3], double dt, const double r1[3],
                   const double E1[3][3], double r2[3], double E2[3][3]);

}  // namespace rg
