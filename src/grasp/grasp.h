// Grasp solution: the first contact of each finger with the cylinder work as
// its last joint closes, and the grasp driver that records it.
#pragma once

#include "app/state.h"

namespace rg {

// grasp driver (one finger per call)
int GRASP(Sim& s, int kf, const double* q0, const double rwG[3], const double EwG[3][3],
          double* qf, double RC[3], double NW[3], char GTYPE[2]);

}  // namespace rg
