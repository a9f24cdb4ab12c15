// The damped Newton iteration's endings: convergence, a failed line search, the
// iteration limit, and the stall stop that gives up a solve whose error norm no
// longer falls, while a solve that keeps falling, however slowly at first, goes on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numerics/newton.h"

using namespace rg;

namespace {

// One unknown whose error norm is scripted per fresh direction: the first trial of
// direction d lowers the norm to norms[d]; a second trial along it never improves,
// so the line search shortens the step to its limit and asks for a fresh direction.
struct Scripted {
  std::vector<double> norms;
  int direction = -1;
  int trialsHere = 0;
  bool Direction(const double*, double* step) {
    ++direction;
    trialsHere = 0;
    step[0] = 1.0;
    return direction < static_cast<int>(norms.size());
  }
  double Trial(const double*) {
    return trialsHere++ == 0 ? norms[direction] : HUGE_VAL;
  }
  void Accept() {}
};

// n directions whose norms fall geometrically by `rate` from `start`
std::vector<double> Geometric(double start, double rate, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(start *= rate);
  return v;
}

NewtonEnd Solve(Scripted& p, const NewtonLimits& lim, NewtonStats* st) {
  double x[1] = {0.0};
  double norm = 1.0;
  return DampedNewton<1>(p, x, norm, lim, st);
}

}  // namespace

TEST(DampedNewton, StallStopGivesUpOnlyWhereTheNormNoLongerFalls) {
  NewtonLimits lim;
  lim.tol = 1e-6;
  lim.maxReductions = 2;
  lim.stallWindow = 12;
  lim.stallFactor = 0.9;

  // after a first fall from 1 to 0.5, creeping by 0.1 % a direction: stopped at the
  // first direction whose norm is above 0.9 times the norm twelve directions before
  Scripted creep{Geometric(0.5, 0.999, 200)};
  NewtonStats st;
  EXPECT_EQ(Solve(creep, lim, &st), NewtonEnd::Stalled);
  EXPECT_EQ(st.directions, 13);

  // without the stall stop the same solve runs until its directions give out
  NewtonLimits noStall = lim;
  noStall.stallWindow = 0;
  Scripted creep2{Geometric(0.5, 0.999, 200)};
  EXPECT_EQ(Solve(creep2, noStall, &st), NewtonEnd::Failed);
  EXPECT_EQ(st.directions, 201);

  // a long plateau followed by convergence, falling by a third over every twelve
  // directions as the slowest converging solves of real runs do, is not stopped
  Scripted slow{Geometric(0.5, std::pow(0.66, 1.0 / 12.0), 300)};
  slow.norms.push_back(1e-7);
  EXPECT_EQ(Solve(slow, lim, &st), NewtonEnd::Converged);
  EXPECT_EQ(st.directions, 301);

  // a stall after a good start: three tenfold falls, then a plateau at 0.9e-3 that
  // sinks by 0.01 % a direction; the window first spans only plateau norms at the
  // sixteenth direction (the norm before it, 1e-3, still counts as a fall)
  std::vector<double> fastThenFlat = Geometric(1.0, 0.1, 3);
  for (int i = 1; i <= 40; ++i) fastThenFlat.push_back(0.9e-3 * (1.0 - 1e-4 * i));
  Scripted flat{fastThenFlat};
  EXPECT_EQ(Solve(flat, lim, &st), NewtonEnd::Stalled);
  EXPECT_EQ(st.directions, 16);
}

TEST(DampedNewton, OtherEndingsAreUnchangedByTheStallStop) {
  NewtonLimits lim;
  lim.maxReductions = 2;
  lim.stallWindow = 12;
  NewtonStats st;
  // converged within the first direction
  Scripted quick{{1e-9}};
  EXPECT_EQ(Solve(quick, lim, &st), NewtonEnd::Converged);
  EXPECT_EQ(st.directions, 1);
  // no usable direction at all
  Scripted none{{}};
  EXPECT_EQ(Solve(none, lim, &st), NewtonEnd::Failed);
  // the iteration limit comes first
  lim.maxIterations = 20;
  Scripted creep{Geometric(0.5, 0.999, 200)};
  EXPECT_EQ(Solve(creep, lim, &st), NewtonEnd::Exhausted);
  EXPECT_GE(st.iterations, 20);
  EXPECT_LT(st.directions, lim.stallWindow);
}
