// The contact traces that show the rolling: for each finger, the path of its
// contact point over the stored steps of the manipulation as it lies on the work
// in the work's drawn pose, and as it lies on the finger's last link in the
// finger's latest pose. Each trace ends with the latest contact point, so it
// grows with every step.
#pragma once

#include <vector>

#include "core/state.h"

namespace rg {

struct Point3 {
  double p[3];
};

// Work-side trace of finger kf: the contact of stored rows 0..cntMainip1 on the
// work in its drawn pose (RWW, EWW), then the latest contact.
void WorkTrace(const Sim& s, int kf, std::vector<Point3>& out);
// Finger-side trace of finger kf: the contact of stored rows 0..cntMainip1 on the
// last link in the finger's latest pose (qqa2[1]), then the latest contact.
void LinkTrace(const Sim& s, int kf, std::vector<Point3>& out);

}  // namespace rg
