// Manipulation by rolling contact (PR motion) of the grasped cylinder.
#pragma once

#include "app/state.h"

namespace rg {

// manipulation driver: one step; returns 'Y', 'C', 'O' or 'D'
char PRCircleManip4(Sim& s, const double vw[3], const double omw[3]);

}  // namespace rg
