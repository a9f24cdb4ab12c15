// The keyboard command machine: mode keys and the sub-commands of each mode.
#pragma once

#include "core/state.h"

namespace rg {

// Handles one key press. Returns true when the key asks the program to end
// (Escape in mode 'I'); the caller then exits with status 0.
bool keyboard(Sim& s, unsigned char key, int x, int y);

// hand selection and initial joint angles
void selectHand(Sim& s, char key);
void setq(Sim& s, char key);

// view steps of mode 'I'
void ViewStep(Sim& s, char key);

}  // namespace rg
