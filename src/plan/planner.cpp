#include "plan/plan.h"

#include <ompl/base/Goal.h>
#include <ompl/base/StateSampler.h>
#include <ompl/base/StateSpace.h>
#include <ompl/base/goals/GoalSampleableRegion.h>
#include <ompl/control/DirectedControlSampler.h>
#include <ompl/control/SimpleSetup.h>
#include <ompl/control/SpaceInformation.h>
#include <ompl/control/planners/rrt/RRT.h>
#include <ompl/datastructures/NearestNeighborsLinear.h>
#include <ompl/control/spaces/RealVectorControlSpace.h>
#include <ompl/util/Console.h>
#include <ompl/util/RandomNumbers.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <cstdint>
#include <cstring>
#include <string>

#include "grasp/gait.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "plan/rotation.h"
#include "plan/snapshot.h"
#include "work/work.h"

namespace rg {
namespace {

namespace ob = ompl::base;
using plan_rotation::kDeg;
using plan_rotation::RotationOf;
using plan_rotation::TurnBetween;
namespace oc = ompl::control;

// the step's first time step: one step moves the work by this much times the command
constexpr double kStepDt = kFirstDt;
// command bounds: a turn of up to 0.6 deg and a shift of up to 0.3 units per step
constexpr double kMaxTurnRate = 0.2;          // rad per unit time, each axis
constexpr double kMaxSpeed = 6.0;             // length units per unit time, each axis
constexpr int kMinSteps = 4, kMaxSteps = 30;  // steps one command is held
// goal test with a margin inside the tolerances, so the followed path is certainly within them
constexpr double kTurnMargin = 0.8, kShiftMargin = 0.8;
// the lowest conditioning the tree's random targets ask for: this fraction of the
// start's smallest one
constexpr double kConditioningFraction = 0.1;
// the baselines' commands use this share of the command bounds: one step then turns
// the work by at most 0.29 deg about each axis, so the nearest step to a goal is
// within the tolerance
constexpr double kBaselineShare = 0.5;
// a baseline leg stops once its error has grown for this many steps in a row
constexpr int kPassedSteps = 3;
// the detours of the baselines' held commands: this far along each hand axis
constexpr double kDetour = 10.0;
// Loops of held commands tried where the straight command stalls: the straight
// command and a shift along one hand axis, each held kLoopLegSteps steps, then both
// undone. The work comes back to its pose while the contacts have rolled to other
// places on the rims and links. A loop is run from the state kLoopBack steps before
// the stall, and the straight command then goes on from its end; at most kLoopRounds
// loops in a path (0: no loops).
constexpr int kLoopRounds = 16;
constexpr int kLoopLegSteps = 60;
constexpr int kLoopBack = 40;
// Gaits where the straight command stalls, on a hand whose every finger can be lifted
// with the others holding the work: at the stall each touching finger in turn
// is lifted and placed again (its default pre-shape, the first touch from there), and
// the straight command held on; the finger after whose gait it comes nearest the goal
// is kept. At most kGaitRounds such gaits in a path (0: none).
constexpr int kGaitRounds = 64;
// a gait is also tried this many steps before the stall, where the fingers it does not
// move are farther from their folds
constexpr int kGaitBack = 20;
// The tree's steps try the first time step only: a step that needs a smaller one
// creeps (by a third of a step or less) where a fold is near, and its retries cost
// more than the other steps together. A step the tree keeps is the same as the full
// step, so the path followed through the keys is the one planned. The baselines and
// the loops take every time step: their held commands may have to creep past such a
// place to reach the goal.
constexpr int kTreeAttempts = 1;
// a finger below this fraction of the start's best conditioning is made to recover
constexpr double kSafeFraction = 0.8;
// the hand's reach (length units): no two mid-points the work can take are farther apart
constexpr double kReachExtent = 400.0;
// spread of the random samples about the straight way from start to goal
constexpr double kSampleShift = 15.0, kSampleTurnDeg = 20.0;
// the samples' places along that way: from a little behind the start (0) to a little
// beyond the goal (1), so the tree also grows past a goal it overshoots
constexpr double kSampleFrom = -0.1, kSampleTo = 1.15;
constexpr int kGuidedSteps = 5;     // steps a guided command is held before it is bent again
constexpr double kRecovery = 0.05;  // share of a finger's shortfall below `safe` made up per step
constexpr int kDirectedTrials = 6;  // commands tried per extension of the tree
// spread of the trial commands about the straight one, in units of the bounds: the
// last trial's wide spread lets an extension leave a way the straight command blocks
constexpr double kTrialSpread = 0.5, kLastTrialSpread = 1.5;
// weight of the fingers' conditioning in the distance between states: the hidden
// part of the rolling state, which decides whether the work can move on
constexpr double kSigmaWeight = 60.0;
// the tree's random targets ask for a conditioning up to this factor over the start's best
constexpr double kSigmaHeadroom = 1.2;
// the share of the tree's extensions aimed at the goal itself
constexpr double kGoalBias = 0.3;
// the steering samplers' random streams are numbered from here (the space's
// state samplers from 1, the tree's own from 0)
constexpr unsigned kSteeringStreams = 1u << 16;

// The seed of random stream k of a plan seeded with `seed`. OMPL seeds every
// generator it makes from one process-wide sequence, so a plan's draws would depend
// on the plans before it; each generator here is given its own seed instead.
unsigned PlanStream(unsigned seed, unsigned k) {
  // splitmix-style mixing: nearby seeds and streams give unrelated generators
  uint64_t z = (static_cast<uint64_t>(seed) << 32) + k + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<unsigned>((z ^ (z >> 31)) & 0xFFFFFFFFu) | 1u;
}

// OMPL's control RRT with the goal-bias draws of this plan's own stream.
class SeededRRT : public oc::RRT {
 public:
  SeededRRT(const oc::SpaceInformationPtr& si, unsigned seed) : oc::RRT(si) {
    rng_.setLocalSeed(seed);
  }
};

// ---- the planner's states: a work pose and the rolling state that reached it

struct RollData {
  double mid[3] = {0, 0, 0};
  double Ew[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  RollSnapshot snap{};
  bool ok = false;     // reached by completed steps with every finger above the floor
  double sigma = 0.0;  // the smallest rolling conditioning of its fingers
  int sigmaFinger = 0;
  double fingerSigma[kSlots] = {};  // every finger's rolling conditioning
  bool anySigma = false;  // a target whose conditioning does not matter (the goal's samples)
};

class RollSpace : public ob::StateSpace {
 public:
  class StateType : public ob::State {
   public:
    RollData d;
  };
  // distance: turn in units of the turn tolerance plus shift in units of its own
  RollSpace() { setName("RollState"); }
  unsigned int getDimension() const override { return 6; }
  // the farthest two states can be: a half turn, and a shift across the hand's reach
  double getMaximumExtent() const override {
    return 180.0 / kGoalTurnTolDeg + kReachExtent / kGoalShiftTol;
  }
  double getMeasure() const override { return 1.0; }
  void enforceBounds(ob::State*) const override {}
  bool satisfiesBounds(const ob::State*) const override { return true; }
  void copyState(ob::State* d, const ob::State* s) const override {
    static_cast<StateType*>(d)->d = static_cast<const StateType*>(s)->d;
  }
  double distance(const ob::State* a, const ob::State* b) const override {
    const auto* p = &static_cast<const StateType*>(a)->d;
    const auto* q = &static_cast<const StateType*>(b)->d;
    double w[3], d[3];
    VecSub(p->mid, q->mid, d);
    double hidden = 0.0;
    if (!p->anySigma && !q->anySigma)
      for (int kf = 1; kf < kSlots; ++kf)
        hidden += std::fabs(p->fingerSigma[kf] - q->fingerSigma[kf]);
    return TurnBetween(p->Ew, q->Ew, w) / (kGoalTurnTolDeg * kDeg) + VecNorm(d) / kGoalShiftTol +
           kSigmaWeight * hidden;
  }
  bool equalStates(const ob::State* a, const ob::State* b) const override {
    return distance(a, b) < 1e-9;
  }
  void interpolate(const ob::State* from, const ob::State* to, double t,
                   ob::State* state) const override {
    const auto* p = &static_cast<const StateType*>(from)->d;
    const auto* q = &static_cast<const StateType*>(to)->d;
    auto* r = &static_cast<StateType*>(state)->d;
    double w[3], R[3][3];
    TurnBetween(p->Ew, q->Ew, w);
    VecScale(t, w, w);
    RotationOf(w, R);
    MatMul(p->Ew, R, r->Ew);
    for (int i = 0; i < 3; ++i) r->mid[i] = p->mid[i] + t * (q->mid[i] - p->mid[i]);
    r->ok = false;
  }
  ob::StateSamplerPtr allocDefaultStateSampler() const override;
  ob::State* allocState() const override { return new StateType(); }
  void freeState(ob::State* s) const override { delete static_cast<StateType*>(s); }

  // where random samples are drawn: around the straight way from start to goal, with
  // every finger's conditioning anywhere between the floor and a little above the start's
  int nF = 0;
  double sigmaLow = 0.0, sigmaHigh = 1.0;
  // this plan's seed, and the samplers drawn from the space so far: each gets a
  // stream of its own, the same for the same seed whatever ran before
  unsigned seed = 0;
  mutable unsigned samplers = 0;
  double startMid[3] = {0, 0, 0}, startEw[3][3] = {}, goalTurn[3] = {0, 0, 0}, goalShift[3] = {};
};
using RollState = RollSpace::StateType;
const RollData* Data(const ob::State* s) { return &static_cast<const RollState*>(s)->d; }
RollData* Data(ob::State* s) { return &static_cast<RollState*>(s)->d; }

class RollSampler : public ob::StateSampler {
 public:
  RollSampler(const RollSpace* sp, unsigned seed) : ob::StateSampler(sp), sp_(sp) {
    rng_.setLocalSeed(seed);
  }
  void sampleUniform(ob::State* state) override {
    auto* r = Data(state);
    const double t = rng_.uniformReal(kSampleFrom, kSampleTo);
    double w[3], R[3][3], N[3][3], E[3][3];
    VecScale(t, sp_->goalTurn, w);
    RotationOf(w, R);
    for (double& n : w) n = rng_.gaussian(0.0, kSampleTurnDeg * kDeg);
    RotationOf(w, N);
    MatMul(sp_->startEw, R, E);
    MatMul(E, N, r->Ew);
    for (int i = 0; i < 3; ++i)
      r->mid[i] = sp_->startMid[i] + t * sp_->goalShift[i] + rng_.gaussian(0.0, kSampleShift);
    for (int kf = 1; kf <= sp_->nF; ++kf)
      r->fingerSigma[kf] = rng_.uniformReal(sp_->sigmaLow, sp_->sigmaHigh);
    r->anySigma = false;
    r->ok = false;
  }
  void sampleUniformNear(ob::State* state, const ob::State* near, double distance) override {
    sampleGaussian(state, near, distance);
  }
  void sampleGaussian(ob::State* state, const ob::State* mean, double sd) override {
    const auto* m = Data(mean);
    auto* r = Data(state);
    double w[3], N[3][3];
    for (double& n : w) n = rng_.gaussian(0.0, sd * kGoalTurnTolDeg * kDeg);
    RotationOf(w, N);
    MatMul(m->Ew, N, r->Ew);
    for (int i = 0; i < 3; ++i) r->mid[i] = m->mid[i] + rng_.gaussian(0.0, sd * kGoalShiftTol);
    for (int kf = 1; kf < kSlots; ++kf) r->fingerSigma[kf] = m->fingerSigma[kf];
    r->anySigma = m->anySigma;
    r->ok = false;
  }

 private:
  const RollSpace* sp_;
};

ob::StateSamplerPtr RollSpace::allocDefaultStateSampler() const {
  return std::make_shared<RollSampler>(this, PlanStream(seed, ++samplers));
}

// ---- the rolling steps behind the planner

struct Roller {
  Sim& s;
  int lastStep = 0;    // the record's last step a path may reach
  long steps = 0;      // steps run while planning
  int attempts = kStepAttempts;  // time steps a step may try

  // the work pose and the conditioning of the latest slot, into r
  void Describe(RollData& r) {
    WorkTurnCentre(s.model(), s.WORK1, s.ManipRW2[1], s.ManipEW2[1], r.mid);
    MatCopy(s.ManipEW2[1], r.Ew);
    r.sigma = 1e300;
    for (int kf = 1; kf <= s.nF(); ++kf) {
      r.fingerSigma[kf] = 0.0;
      if (s.lifted[kf]) continue;  // a lifted finger has no rolling matrix
      r.fingerSigma[kf] = LatestConditioning(s, kf);
      if (r.fingerSigma[kf] < r.sigma) {
        r.sigma = r.fingerSigma[kf];
        r.sigmaFinger = kf;
      }
    }
  }
  // One step with command c from `from` into `to`; false when it does not complete.
  // A completed step stays on its fingers' branches (the step refuses the mirror
  // solution), so it is valid however low a conditioning falls: the conditioning
  // only steers the search.
  // A gait in the step's place (c.gait) lifts or places its finger and counts as a
  // step; it is valid when done.
  bool Step(const RollData& from, const StepCommand& c, RollData& to) {
    RestoreRoll(s, from.snap);
    to.ok = false;
    if (!from.ok || s.cntManip0 + 1 > lastStep) return false;
    ++steps;
    if (IsGait(c)) {
      const GaitEvent g = c.gait == 'L' ? LiftFinger(s, c.finger) : PlaceFinger(s, c.finger);
      SaveRoll(s, to.snap);
      Describe(to);
      to.anySigma = false;
      to.ok = g.verdict == 'Y';
      return to.ok;
    }
    const char st = PRCircleManip4(s, c.vw, c.omww, attempts);
    SaveRoll(s, to.snap);
    Describe(to);
    to.anySigma = false;
    to.ok = st == 'Y';
    return to.ok;
  }
};

StepCommand CommandOf(const oc::Control* c) {
  const double* v = c->as<oc::RealVectorControlSpace::ControlType>()->values;
  StepCommand k;
  for (int i = 0; i < 3; ++i) {
    k.vw[i] = v[i];
    k.omww[i] = v[3 + i];
  }
  return k;
}

class Propagator : public oc::StatePropagator {
 public:
  Propagator(oc::SpaceInformation* si, Roller& r) : oc::StatePropagator(si), r_(r) {}
  void propagate(const ob::State* from, const oc::Control* c, double duration,
                 ob::State* to) const override {
    const int n =
        std::max(1, static_cast<int>(std::lround(duration / si_->getPropagationStepSize())));
    const StepCommand k = CommandOf(c);
    const auto* a = Data(from);
    auto* b = Data(to);
    if (n == 1) {
      r_.Step(*a, k, *b);
      return;
    }
    RollData tmp = *a;
    for (int i = 0; i < n && tmp.ok; ++i) r_.Step(tmp, k, tmp);
    *b = tmp;
  }
  bool canPropagateBackward() const override { return false; }

 private:
  Roller& r_;
};

// The command that carries pose `a` to pose `b` in as few steps as the bounds allow
// (at least kMinSteps, at most kMaxSteps): its steps.
int Steer(const RollData& a, const RollData& b, StepCommand& k) {
  double w[3], d[3];
  TurnBetween(a.Ew, b.Ew, w);
  VecSub(b.mid, a.mid, d);
  double need = kMinSteps * kStepDt;
  for (int i = 0; i < 3; ++i)
    need = std::max({need, std::fabs(w[i]) / kMaxTurnRate, std::fabs(d[i]) / kMaxSpeed});
  const int n = std::min(kMaxSteps, static_cast<int>(std::ceil(need / kStepDt - 1e-9)));
  const double T = n * kStepDt;
  double scale = 1.0;
  for (int i = 0; i < 3; ++i)
    scale = std::max({scale, std::fabs(w[i]) / T / kMaxTurnRate, std::fabs(d[i]) / T / kMaxSpeed});
  for (int i = 0; i < 3; ++i) {
    k.omww[i] = w[i] / T / scale;
    k.vw[i] = d[i] / T / scale;
  }
  return n;
}

// The straight command to `target`, bent as little as possible so that no finger's
// conditioning falls below `safe`: each finger's conditioning after one step of each
// of the six unit commands gives its first-order change per step (row J_k); for the
// fingers below `safe` (or brought below it by the command) the change must be at
// least kRecovery times the shortfall. The least change of the straight command u
// that meets those, u + J_A^T lambda, is found on the active set (twice, for fingers
// the first correction threatens). Steps as Steer's, at most kGuidedSteps.
int Guided(Roller& r, const RollData& a, const RollData& target, double safe, StepCommand& k) {
  const int n = Steer(a, target, k);
  double u[6], J[kSlots][6];
  for (int i = 0; i < 3; ++i) {
    u[i] = k.vw[i] / kMaxSpeed;
    u[3 + i] = k.omww[i] / kMaxTurnRate;
  }
  const int nF = r.s.nF();
  RollData b;
  for (int c = 0; c < 6; ++c) {
    StepCommand e;
    if (c < 3)
      e.vw[c] = kMaxSpeed;
    else
      e.omww[c - 3] = kMaxTurnRate;
    r.Step(a, e, b);
    for (int kf = 1; kf <= nF; ++kf)
      J[kf][c] = b.ok ? b.fingerSigma[kf] - a.fingerSigma[kf] : -a.fingerSigma[kf];
  }
  const double g[6] = {u[0], u[1], u[2], u[3], u[4], u[5]};
  bool active[kSlots] = {};
  for (int pass = 0; pass < 2; ++pass) {
    double need[kSlots];
    int idx[kSlots], m = 0;
    for (int kf = 1; kf <= nF; ++kf) {
      double change = 0.0;
      for (int c = 0; c < 6; ++c) change += J[kf][c] * u[c];
      need[kf] = kRecovery * (safe - a.fingerSigma[kf]);
      if (change < need[kf] && (a.fingerSigma[kf] + n * change < safe)) active[kf] = true;
      if (active[kf]) idx[m++] = kf;
    }
    if (m == 0) break;
    // (J_A J_A^T) lambda = need_A - J_A g
    double A[kSlots * kSlots] = {}, rhs[kSlots] = {}, lam[kSlots] = {};
    for (int p = 0; p < m; ++p) {
      for (int q = 0; q < m; ++q)
        for (int c = 0; c < 6; ++c) A[p * m + q] += J[idx[p]][c] * J[idx[q]][c];
      A[p * m + p] += 1e-12;
      rhs[p] = need[idx[p]];
      for (int c = 0; c < 6; ++c) rhs[p] -= J[idx[p]][c] * g[c];
    }
    if (MatSolve(m, A, m, rhs, lam) == 0.0) break;
    for (int c = 0; c < 6; ++c) {
      u[c] = g[c];
      for (int p = 0; p < m; ++p) u[c] += lam[p] * J[idx[p]][c];
    }
  }
  double big = 1.0;  // within the bounds, the direction kept
  for (int c = 0; c < 6; ++c) big = std::max(big, std::fabs(u[c]));
  for (int i = 0; i < 3; ++i) {
    k.vw[i] = u[i] / big * kMaxSpeed;
    k.omww[i] = u[3 + i] / big * kMaxTurnRate;
  }
  return std::min(n, kGuidedSteps);
}

// Extends the tree towards a state: the straight command and noisy variants of it,
// each run while its steps stay valid; the one that ends nearest the target wins.
class SteeringSampler : public oc::DirectedControlSampler {
 public:
  SteeringSampler(const oc::SpaceInformation* si, Roller& r, double safe, unsigned seed)
      : oc::DirectedControlSampler(si), r_(r), safe_(safe) {
    rng_.setLocalSeed(seed);
  }
  unsigned int sampleTo(oc::Control* control, const ob::State* source, ob::State* dest) override {
    const auto* a = Data(source);
    const auto* target = Data(dest);
    RollData best;
    ob::State* trialState = si_->allocState();
    RollData& trial = *Data(trialState);
    double bestDist = si_->distance(source, dest);
    unsigned bestSteps = 0;
    StepCommand bestCmd;
    StepCommand straight, guided;
    const int n = Steer(*a, *target, straight);
    const int ng = Guided(r_, *a, *target, safe_, guided);
    for (int t = -1; t < kDirectedTrials; ++t) {
      StepCommand k = t < 0 ? guided : straight;
      int steps = t < 0 ? ng : n;
      if (t > 0) {
        const double noise = t < kDirectedTrials - 1 ? kTrialSpread : kLastTrialSpread;
        for (int i = 0; i < 3; ++i) {
          k.omww[i] = std::clamp(k.omww[i] + rng_.gaussian(0.0, noise * kMaxTurnRate),
                                 -kMaxTurnRate, kMaxTurnRate);
          k.vw[i] =
              std::clamp(k.vw[i] + rng_.gaussian(0.0, noise * kMaxSpeed), -kMaxSpeed, kMaxSpeed);
        }
        steps = rng_.uniformInt(kMinSteps, kMaxSteps);
      }
      oc::Control* c = si_->allocControl();
      double* v = c->as<oc::RealVectorControlSpace::ControlType>()->values;
      for (int i = 0; i < 3; ++i) {
        v[i] = k.vw[i];
        v[3 + i] = k.omww[i];
      }
      const unsigned done = si_->propagateWhileValid(source, c, steps, trialState);
      si_->freeControl(c);
      if (done < static_cast<unsigned>(kMinSteps)) continue;
      const double dist = si_->distance(trialState, dest);
      if (dist < bestDist) {
        bestDist = dist;
        best = trial;
        bestSteps = done;
        bestCmd = k;
      }
    }
    si_->freeState(trialState);
    if (bestSteps == 0) return 0;
    double* v = control->as<oc::RealVectorControlSpace::ControlType>()->values;
    for (int i = 0; i < 3; ++i) {
      v[i] = bestCmd.vw[i];
      v[3 + i] = bestCmd.omww[i];
    }
    *Data(dest) = best;
    return bestSteps;
  }
  unsigned int sampleTo(oc::Control* control, const oc::Control*, const ob::State* source,
                        ob::State* dest) override {
    return sampleTo(control, source, dest);
  }

 private:
  Roller& r_;
  double safe_;
  ompl::RNG rng_;
};

// The goal: within the tolerances (with a margin); tracks the nearest state met. Its
// samples, which the tree is drawn towards, are the goal pose with the fingers'
// conditioning of the start.
class GoalRegion : public ob::GoalSampleableRegion {
 public:
  GoalRegion(const ob::SpaceInformationPtr& si, const double mid[3], const double Ew[3][3],
             const double sigma[kSlots])
      : ob::GoalSampleableRegion(si) {
    VecCopy(mid, mid_);
    MatCopy(Ew, Ew_);
    for (int kf = 0; kf < kSlots; ++kf) sigma_[kf] = sigma[kf];
    setThreshold(1.0);
  }
  void sampleGoal(ob::State* st) const override {
    RollData* r = Data(st);
    VecCopy(mid_, r->mid);
    MatCopy(Ew_, r->Ew);
    for (int kf = 0; kf < kSlots; ++kf) r->fingerSigma[kf] = sigma_[kf];
    r->anySigma = true;
    r->ok = false;
  }
  unsigned int maxSampleCount() const override { return 1u << 30; }
  double distanceGoal(const ob::State* st) const override {
    const auto* r = Data(st);
    double w[3], d[3];
    VecSub(r->mid, mid_, d);
    const double turn = TurnBetween(r->Ew, Ew_, w) / (kGoalTurnTolDeg * kDeg);
    const double shift = VecNorm(d) / kGoalShiftTol;
    if (r->ok) best = std::min(best, std::max(turn, shift));
    return std::max(turn / kTurnMargin, shift / kShiftMargin);
  }
  // the smallest error of a valid state met, in units of the tolerances (1: at their edge)
  mutable double best = 1e300;

 private:
  double mid_[3], Ew_[3][3], sigma_[kSlots];
};

bool ModeCanRoll(const Sim& s, std::string* why) {
  if (s.sgnCALGEnd != 'Y') {
    *why = "no complete grasp";
    return false;
  }
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (!GraspRolls(s, kf)) {
      *why = "finger " + std::to_string(kf) + "'s grasp contact cannot roll";
      return false;
    }
  if (s.sgnMANIP != 'Y') {
    *why = std::string("the motion has stopped (status ") + s.sgnMANIP + ")";
    return false;
  }
  return true;
}

// Why the straight command from the closest state found goes no further.
// ---- the baselines: a constant command, or a few held ones, before any tree

// A pose the work is to reach: its mid-point and frame (hand frame).
struct Waypoint {
  double mid[3];
  double Ew[3][3];
};

// How far r is from w in units of the goal tolerances (at most 1: within them).
double ErrorTo(const RollData& r, const Waypoint& w) {
  double t[3], d[3];
  const double turn = TurnBetween(r.Ew, w.Ew, t) / (kGoalTurnTolDeg * kDeg);
  VecSub(r.mid, w.mid, d);
  return std::max(turn, VecNorm(d) / kGoalShiftTol);
}
// Within the tolerances with the margin the tree's goal test keeps.
bool Within(const RollData& r, const Waypoint& w) {
  double t[3], d[3];
  VecSub(r.mid, w.mid, d);
  return TurnBetween(r.Ew, w.Ew, t) / (kGoalTurnTolDeg * kDeg) <= kTurnMargin &&
         VecNorm(d) / kGoalShiftTol <= kShiftMargin;
}

// What a run of held commands came to: the commands of every step, the state after
// the last, and the nearest state to the final goal met on the way (with the steps
// that led there).
struct Legs {
  std::vector<StepCommand> path;
  RollData end;
  bool reached = false;  // every waypoint reached, the last within the goal's tolerances
  double bestError = 1e300;
  size_t bestSteps = 0;
  bool looped = false;  // loops of held commands lie on the way
  bool gaited = false;  // fingers are lifted and placed again on the way
};

// Holds the constant command that carries the work from `end` straight to w (a turn
// about one axis of the work, a straight shift of its mid-point) while the steps
// complete and until the work stands nearest to w; false when it does not get
// within the tolerances of w. The nearest state to `goal` met is kept in legs.
bool HoldStraight(Roller& r, const Waypoint& w, const Waypoint& goal, long budget, Legs& legs) {
  double turn[3], shift[3];
  TurnBetween(legs.end.Ew, w.Ew, turn);
  VecSub(w.mid, legs.end.mid, shift);
  double T = 0.0;  // the command's time to w: no axis beyond its share of the bounds
  for (int i = 0; i < 3; ++i)
    T = std::max({T, std::fabs(turn[i]) / (kBaselineShare * kMaxTurnRate),
                  std::fabs(shift[i]) / (kBaselineShare * kMaxSpeed)});
  if (Within(legs.end, w)) return true;
  StepCommand k;
  for (int i = 0; i < 3; ++i) {
    k.omww[i] = turn[i] / T;
    k.vw[i] = shift[i] / T;
  }
  RollData a = legs.end, b, nearest = legs.end;
  std::vector<StepCommand> steps;
  double best = ErrorTo(a, w);
  size_t bestAt = 0;
  int growing = 0;
  // the steps of the way, and as many again for steps the solver shortened
  const long limit = std::min<long>(budget, 2 * static_cast<long>(std::ceil(T / kStepDt)) + 20);
  for (long n = 0; n < limit && r.Step(a, k, b); ++n) {
    steps.push_back(k);
    a = b;
    const double e = ErrorTo(a, w), eg = ErrorTo(a, goal);
    if (eg < legs.bestError) {
      legs.bestError = eg;
      legs.bestSteps = legs.path.size() + steps.size();
    }
    if (e < best) {
      best = e;
      bestAt = steps.size();
      nearest = a;
      growing = 0;
    } else if (++growing >= kPassedSteps) {
      break;
    }
    if (Within(a, w)) break;
  }
  // keep the way up to the nearest state; that state is the leg's end
  steps.resize(bestAt);
  legs.path.insert(legs.path.end(), steps.begin(), steps.end());
  legs.end = nearest;
  return Within(nearest, w);
}

// Runs the waypoints in turn, each by one held command; stops at the first one not reached.
Legs HoldThrough(Roller& r, const RollData& start, const std::vector<Waypoint>& ways, long budget) {
  Legs legs;
  legs.end = start;
  legs.bestError = ErrorTo(start, ways.back());
  for (const Waypoint& w : ways) {
    const long left = budget - static_cast<long>(legs.path.size());
    if (left <= 0 || !HoldStraight(r, w, ways.back(), left, legs)) return legs;
  }
  legs.reached = Within(legs.end, ways.back());
  return legs;
}

// A round of a way kept: the way's first `keep` elements, then `lead` (a loop, or
// gaits), then the straight leg `next` up to its nearest state, which ends the way.
// The index where the straight leg begins.
size_t TakeRound(Legs& legs, size_t keep, const std::vector<StepCommand>& lead, Legs& next) {
  legs.path.resize(keep);
  legs.path.insert(legs.path.end(), lead.begin(), lead.end());
  const size_t legFrom = legs.path.size();
  next.path.resize(next.bestSteps);
  legs.path.insert(legs.path.end(), next.path.begin(), next.path.end());
  legs.end = next.end;
  legs.bestError = next.bestError;
  legs.bestSteps = legs.path.size();
  legs.reached = next.reached;
  return legFrom;
}

// One loop from `from`: a, b, -a, -b, each held kLoopLegSteps steps; its commands
// are appended to *steps. False when a step does not complete.
bool RunLoop(Roller& r, const RollData& from, const StepCommand& a, const StepCommand& b,
             RollData& to, std::vector<StepCommand>* steps) {
  StepCommand legs[4] = {a, b, a, b};
  for (int i = 0; i < 3; ++i) {
    legs[2].vw[i] = -a.vw[i];
    legs[2].omww[i] = -a.omww[i];
    legs[3].vw[i] = -b.vw[i];
    legs[3].omww[i] = -b.omww[i];
  }
  RollData x = from, y;
  for (const StepCommand& k : legs)
    for (int n = 0; n < kLoopLegSteps; ++n) {
      if (!r.Step(x, k, y)) return false;
      x = y;
      steps->push_back(k);
    }
  to = x;
  return true;
}

// The constant command that carries the work from r straight to w with no axis
// beyond the baselines' share of its bounds, and its time to w (0: r is at w).
double StraightCommand(const RollData& r, const Waypoint& w, StepCommand* k, bool* turning) {
  double turn[3], shift[3], Tturn = 0.0, Tshift = 0.0;
  TurnBetween(r.Ew, w.Ew, turn);
  VecSub(w.mid, r.mid, shift);
  for (int i = 0; i < 3; ++i) {
    Tturn = std::max(Tturn, std::fabs(turn[i]) / (kBaselineShare * kMaxTurnRate));
    Tshift = std::max(Tshift, std::fabs(shift[i]) / (kBaselineShare * kMaxSpeed));
  }
  const double T = std::max(Tturn, Tshift);
  for (int i = 0; T > 0.0 && i < 3; ++i) {
    k->omww[i] = turn[i] / T;
    k->vw[i] = shift[i] / T;
  }
  *turning = Tturn >= Tshift;
  return T;
}

// The way of `legs` (held commands from start) with loops where it stalls: from the
// state kLoopBack steps before its nearest pose to the goal, a loop of the straight
// command to the goal and a shift along one hand axis (a turn about one of the
// work's axes when the way is mostly a shift), then the straight command again. Of
// the 24 loops the one after which the straight command comes nearest the goal is
// kept (the loop of the round before is tried first, the others only when it no
// longer comes nearer); rounds go on while each comes nearer than the one before.
Legs LoopOn(Roller& r, const RollData& start, Legs legs, const Waypoint& goal, long budget) {
  const long before = r.steps;
  auto left = [&] { return budget - (r.steps - before); };
  legs.path.resize(std::min(legs.path.size(), legs.bestSteps));
  if (left() < static_cast<long>(legs.path.size()) + 4 * kLoopLegSteps) return legs;
  RollData legStart = start, b;  // where the latest straight leg begins, at path[legFrom]
  size_t legFrom = 0, n = 0;
  for (legs.end = start; n < legs.path.size() && r.Step(legs.end, legs.path[n], b); ++n)
    legs.end = b;
  legs.path.resize(n);
  int chosen = -1;
  for (int round = 0; round < kLoopRounds && !legs.reached; ++round) {
    // the loop's base: the leg's first steps run again
    const size_t back = legs.path.size() - legFrom > static_cast<size_t>(kLoopBack)
                            ? legs.path.size() - legFrom - kLoopBack
                            : 0;
    if (left() < static_cast<long>(back) + 4 * kLoopLegSteps) break;  // the budget is kept
    RollData base = legStart;
    size_t done = 0;
    for (; done < back && r.Step(base, legs.path[legFrom + done], b); ++done) base = b;
    StepCommand ahead;
    bool turning = false;
    if (StraightCommand(base, goal, &ahead, &turning) <= 0.0) break;
    auto loopOf = [&](int c, StepCommand* a, StepCommand* s) {  // 24 loops: axis, signs, order
      const double sa = (c / 3) % 2 ? -1.0 : 1.0, sb = (c / 6) % 2 ? -1.0 : 1.0;
      StepCommand way, side;
      for (int i = 0; i < 3; ++i) {
        way.vw[i] = sa * ahead.vw[i];
        way.omww[i] = sa * ahead.omww[i];
      }
      if (turning)
        side.vw[c % 3] = sb * kBaselineShare * kMaxSpeed;
      else
        side.omww[c % 3] = sb * kBaselineShare * kMaxTurnRate;
      *a = c < 12 ? way : side;
      *s = c < 12 ? side : way;
    };
    // each loop is judged by how near the straight command then comes to the goal
    std::vector<StepCommand> loop;
    Legs next;
    RollData loopEnd;
    next.bestError = legs.bestError;
    for (int c = chosen < 0 ? 0 : -1; c < 24; ++c) {
      if (c >= 0 && c == chosen) continue;
      if (left() < 4 * kLoopLegSteps) break;
      StepCommand a, s;
      loopOf(c < 0 ? chosen : c, &a, &s);
      Legs trial;
      std::vector<StepCommand> steps;
      if (!RunLoop(r, base, a, s, trial.end, &steps)) continue;
      const RollData end = trial.end;
      trial.bestError = ErrorTo(end, goal);
      trial.reached = HoldStraight(r, goal, goal, left(), trial);
      if (trial.bestError < next.bestError) {
        next = std::move(trial);
        loop = std::move(steps);
        loopEnd = end;
        if (c < 0) break;  // the loop before still comes nearer: no search
        chosen = c;
      }
    }
    if (loop.empty()) break;  // no loop comes nearer than the way before it
    legFrom = TakeRound(legs, legFrom + done, loop, next);
    legStart = loopEnd;
    legs.looped = true;
  }
  return legs;
}

// The way of the straight command with finger gaits where it stalls: from the state
// where the straight command comes nearest the goal (and kGaitBack steps before it),
// each touching finger, or two one after the other, is lifted and placed again and
// the straight command held on from there; the gaits after which it comes nearest are
// kept, and rounds go on while each comes nearer than the one before. A gait that is refused (the rest would not hold the work, no contact found,
// the finger would meet the work) is no candidate.
Legs GaitOn(Roller& r, const RollData& start, const Waypoint& goal, long budget) {
  const long before = r.steps;
  auto left = [&] { return budget - (r.steps - before); };
  Legs legs;
  legs.end = start;
  legs.bestError = ErrorTo(start, goal);
  legs.reached = HoldStraight(r, goal, goal, left(), legs);
  legs.path.resize(legs.bestSteps);
  RollData legStart = start;  // where the latest straight leg begins, at path[legFrom]
  size_t legFrom = 0;
  const int nF = r.s.nF();
  for (int round = 0; round < kGaitRounds && !legs.reached && left() > 0; ++round) {
    // the gaits are tried at the stall and kGaitBack steps before it
    struct Base {
      RollData at;
      size_t keep;  // the path's elements before it
    };
    std::vector<Base> bases = {{legs.end, legs.path.size()}};
    const size_t run = legs.path.size() - legFrom;
    if (run > static_cast<size_t>(kGaitBack)) {
      RollData x = legStart, y;
      size_t n = 0;
      for (; n < run - kGaitBack && r.Step(x, legs.path[legFrom + n], y); ++n) x = y;
      if (n == run - kGaitBack) bases.push_back({x, legFrom + n});
    }
    Legs next;
    next.bestError = legs.bestError;
    std::vector<StepCommand> gaits;
    RollData placed;
    size_t keep = 0;
    for (const Base& base : bases)
      // one finger, or two one after the other (two fingers may stop the way together)
      for (int c = 0; c < nF * nF && left() > 0; ++c) {
        const int f1 = c % nF + 1, f2 = c / nF;  // f2 0: f1 alone
        if (f2 != 0 && f2 <= f1) continue;
        std::vector<StepCommand> these;
        for (int kf : {f1, f2})
          if (kf != 0) {
            these.push_back({{0, 0, 0}, {0, 0, 0}, 'L', kf});
            these.push_back({{0, 0, 0}, {0, 0, 0}, 'P', kf});
          }
        RollData at = base.at, b;
        bool done = true;
        for (const StepCommand& k : these) {
          done = r.Step(at, k, b);
          if (!done) break;
          at = b;
        }
        if (!done) continue;
        Legs trial;
        trial.end = at;
        trial.bestError = ErrorTo(at, goal);
        trial.reached = HoldStraight(r, goal, goal, left(), trial);
        if (trial.bestError < next.bestError) {
          next = std::move(trial);
          gaits = these;
          placed = at;
          keep = base.keep;
        }
      }
    if (gaits.empty()) break;  // no gait lets the straight command come nearer
    legFrom = TakeRound(legs, keep, gaits, next);
    legStart = placed;
    legs.gaited = true;
  }
  return legs;
}

// Whether every finger of the hand can be lifted at `at` with the others holding the
// work: the hands gaits are planned for (a hand with a finger that can never be
// lifted, like the built-in three-fingered ones, gets no planned gaits; its fingers
// may still be lifted by the keys). A probe, not a step: it leaves the state as it was.
bool EveryFingerLifts(Roller& r, const RollData& at) {
  bool all = true;
  for (int kf = 1; kf <= r.s.nF() && all; ++kf) {
    RestoreRoll(r.s, at.snap);
    all = LiftFinger(r.s, kf).verdict == 'Y';
  }
  RestoreRoll(r.s, at.snap);
  return all;
}

// The cheap answers tried before a tree is grown: the straight constant command to
// the goal; the turn and the shift one after the other; and the turn made with the
// mid-point moved aside (by kDetour along a hand axis) and brought back. The first
// sequence that reaches the goal wins; otherwise the one that came nearest is kept
// as a candidate for the closest pose.
Legs Baselines(Roller& r, const RollData& start, const Waypoint& goal, long budget, long* used) {
  const long before = r.steps;
  Waypoint turnOnly = goal, shiftOnly = goal;
  VecCopy(start.mid, turnOnly.mid);
  MatCopy(start.Ew, shiftOnly.Ew);
  std::vector<std::vector<Waypoint>> tries = {{goal}, {turnOnly, goal}, {shiftOnly, goal}};
  for (int axis = 0; axis < 3; ++axis)
    for (double sign : {1.0, -1.0}) {
      Waypoint out = turnOnly, aside = turnOnly;
      MatCopy(start.Ew, out.Ew);
      out.mid[axis] += sign * kDetour;
      aside.mid[axis] += sign * kDetour;
      tries.push_back({out, aside, goal});  // shift aside, turn there, shift to the goal
      tries.push_back({aside, goal});       // turn while shifting aside, then to the goal
    }
  Legs nearest, straight;
  bool nearestIsStraight = false;
  nearest.end = start;
  for (const std::vector<Waypoint>& ways : tries) {
    const long left = budget - (r.steps - before);
    if (left <= 0) break;
    Legs legs = HoldThrough(r, start, ways, left);
    if (legs.reached) {
      *used = r.steps - before;
      legs.bestSteps = legs.path.size();
      return legs;
    }
    if (ways.size() == 1) straight = legs;
    if (legs.bestError < nearest.bestError) {
      nearest = std::move(legs);
      nearestIsStraight = ways.size() == 1;
    }
  }
  // gaits where the straight command stalls, on a hand whose every finger can be lifted
  if (kGaitRounds > 0 && budget - (r.steps - before) > 0 && EveryFingerLifts(r, start)) {
    Legs legs = GaitOn(r, start, goal, budget - (r.steps - before));
    if (legs.reached) {
      *used = r.steps - before;
      return legs;
    }
    if (legs.gaited && legs.bestError < nearest.bestError) nearest = std::move(legs);
  }
  // loops where the straight command stalls, and where the nearest way does
  std::vector<Legs> stalled = {straight};
  if (!nearestIsStraight) stalled.push_back(nearest);
  for (const Legs& way : stalled) {
    if (kLoopRounds == 0 || budget - (r.steps - before) <= 0) break;
    Legs legs = LoopOn(r, start, way, goal, budget - (r.steps - before));
    if (legs.reached) {
      *used = r.steps - before;
      return legs;
    }
    if (legs.bestError < nearest.bestError) nearest = std::move(legs);
  }
  *used = r.steps - before;
  nearest.path.resize(nearest.bestSteps);  // up to the nearest pose
  return nearest;
}

// What stops the path short of the goal: what the straight command from its end runs
// into ("" when it runs into nothing in the steps it would take).
std::string WhatStopsIt(Roller& r, const RollData& from, const RollData& goal) {
  StepCommand k;
  const int n = Steer(from, goal, k);
  RollData a = from, b;
  for (int i = 0; i < n; ++i) {
    if (a.snap.roll.cntManip0 + 1 > r.lastStep) return "the record is full";
    if (!r.Step(a, k, b)) {
      switch (r.s.sgnMANIP) {
        case 'D':
          return "deadlock: a finger's base reaches its contact's tangent plane";
        case 'C':
          return "collision of the work with the hand";
        case 'O':
          return "a contact leaves its finger link";
        case 'F':
          return "the record is full";
        default:
          break;
      }
      return "finger " + std::to_string(b.sigmaFinger) + " nears its singular posture";
    }
    a = b;
  }
  return "";
}

}  // namespace

PlanResult PlanWithOmpl(Sim& s, const GoalPose& g, const PlanOptions& opt) {
  const auto t0 = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  PlanResult res;
  PlanOutcome& out = res.outcome;
  out.planned = true;
  out.goal = g;
  if (!ModeCanRoll(s, &out.reason)) {
    out.refused = true;
    out.planSeconds = seconds();
    return res;
  }
  GoalError(s, g, &out.orientErrDeg, &out.posErr);
  out.minSigma = MinConditioning(s, &out.minSigmaFinger);
  if (out.orientErrDeg <= kGoalTurnTolDeg && out.posErr <= kGoalShiftTol) {  // already there
    out.reached = true;
    out.planSeconds = seconds();
    return res;
  }

  static const bool quiet = [] {
    ompl::msg::setLogLevel(ompl::msg::LOG_NONE);
    return true;
  }();
  (void)quiet;

  // the simulation is the planner's scratch: it is put back
  RollSnapshot start;
  SaveRoll(s, start);

  Roller roller{s};
  roller.lastStep = (kRows - 1) * kDecim;
  out.seed = opt.seed;
  RollData origin;
  origin.snap = start;
  roller.Describe(origin);
  origin.ok = true;  // the start is where the hand is, whatever its conditioning
  Waypoint goalWay;
  GoalFrame(s, g, goalWay.mid, goalWay.Ew);

  // the cheap answers first; a tree only when none reaches the goal
  long baselineSteps = 0;
  Legs base = Baselines(roller, origin, goalWay, opt.maxSteps, &baselineSteps);
  std::vector<StepCommand> candidate = base.path;
  double candidateError = base.bestError;
  const char* held = base.gaited ? "gaits" : base.looped ? "loops" : "legs";
  out.how = held;
  bool stagnant = false;
  long patience = 0;
  if (base.reached) {
    // a single held command is the straight one
    bool one = true;
    for (const StepCommand& k : base.path)
      one = one && !IsGait(k) && std::memcmp(k.vw, base.path.front().vw, sizeof k.vw) == 0 &&
            std::memcmp(k.omww, base.path.front().omww, sizeof k.omww) == 0;
    out.how = one ? "straight" : held;
  } else if (opt.maxSteps - baselineSteps > 0) {
    roller.attempts = kTreeAttempts;
    auto space = std::make_shared<RollSpace>();
    WorkTurnCentre(s.model(), s.WORK1, s.ManipRW2[1], s.ManipEW2[1], space->startMid);
    MatCopy(s.ManipEW2[1], space->startEw);
    TurnBetween(space->startEw, goalWay.Ew, space->goalTurn);
    space->nF = s.nF();
    space->seed = opt.seed;
    space->sigmaLow =
        opt.minConditioning > 0 ? opt.minConditioning : kConditioningFraction * out.minSigma;
    space->sigmaHigh = 0.0;
    for (int kf = 1; kf <= s.nF(); ++kf)
      space->sigmaHigh = std::max(space->sigmaHigh, kSigmaHeadroom * origin.fingerSigma[kf]);
    VecSub(goalWay.mid, space->startMid, space->goalShift);

    const double safe = kSafeFraction * space->sigmaHigh / kSigmaHeadroom;
    auto cspace = std::make_shared<oc::RealVectorControlSpace>(space, 6);
    ob::RealVectorBounds bounds(6);
    for (int i = 0; i < 3; ++i) {
      bounds.setLow(i, -kMaxSpeed);
      bounds.setHigh(i, kMaxSpeed);
      bounds.setLow(3 + i, -kMaxTurnRate);
      bounds.setHigh(3 + i, kMaxTurnRate);
    }
    cspace->setBounds(bounds);
    auto si = std::make_shared<oc::SpaceInformation>(space, cspace);
    si->setPropagationStepSize(1.0);  // one rolling step
    si->setMinMaxControlDuration(kMinSteps, kMaxSteps);
    si->setStatePropagator(std::make_shared<Propagator>(si.get(), roller));
    si->setStateValidityChecker([](const ob::State* st) { return Data(st)->ok; });
    unsigned steeringSamplers = 0;
    si->setDirectedControlSamplerAllocator(
        [&roller, safe, &opt, &steeringSamplers](const oc::SpaceInformation* s2) {
          return std::make_shared<SteeringSampler>(
              s2, roller, safe, PlanStream(opt.seed, kSteeringStreams + ++steeringSamplers));
        });
    si->setup();

    auto pdef = std::make_shared<ob::ProblemDefinition>(si);
    ob::State* st0 = si->allocState();
    *Data(st0) = origin;
    pdef->addStartState(st0);
    auto goal = std::make_shared<GoalRegion>(si, goalWay.mid, goalWay.Ew, origin.fingerSigma);
    pdef->setGoal(goal);

    auto planner = std::make_shared<SeededRRT>(si, PlanStream(opt.seed, 0));
    // Nearest neighbours by looking at every node: OMPL's default structure picks its
    // pivots with a generator seeded from the process, and the distance between
    // rolling states is no metric, so its answers would depend on what ran before.
    planner->setNearestNeighbors<ompl::NearestNeighborsLinear>();
    planner->setGoalBias(kGoalBias);
    planner->setProblemDefinition(pdef);
    planner->setup();

    // The search ends when its steps are spent or its closest pose has not come
    // nearer for kStagnantSteps steps (or, as a safety net, on the clock or a request).
    const long budget = opt.maxSteps;
    patience = opt.stagnantSteps > 0
                              ? opt.stagnantSteps
                              : std::max(kStagnantSteps, budget / kStagnantShare);
    double lastReport = 0.0, best = goal->best;
    long improvedAt = roller.steps;
    const ob::PlannerTerminationCondition ptc([&] {
      if (goal->best < best) {
        best = goal->best;
        improvedAt = roller.steps;
      }
      stagnant = roller.steps - improvedAt >= patience;
      const double t = seconds();
      if (opt.progress && t - lastReport >= 0.1) {
        lastReport = t;
        opt.progress(std::min(1.0, std::max(t / opt.timeLimit,
                                            static_cast<double>(roller.steps) / budget)),
                     std::min(goal->best, candidateError));
      }
      return roller.steps >= budget || stagnant || t >= opt.timeLimit ||
             (opt.cancel != nullptr && opt.cancel->load());
    });
    const ob::PlannerStatus status = planner->solve(ptc);
    if (status == ob::PlannerStatus::EXACT_SOLUTION ||
        status == ob::PlannerStatus::APPROXIMATE_SOLUTION) {
      auto* path = pdef->getSolutionPath()->as<oc::PathControl>();
      std::vector<StepCommand> tree;
      for (size_t i = 0; i < path->getControlCount(); ++i) {
        const StepCommand k = CommandOf(path->getControl(i));
        const int n = static_cast<int>(std::lround(path->getControlDuration(i)));
        for (int j = 0; j < n; ++j) tree.push_back(k);
      }
      const double treeError = ErrorTo(*Data(path->getState(path->getStateCount() - 1)), goalWay);
      if (treeError < candidateError || status == ob::PlannerStatus::EXACT_SOLUTION) {
        candidate = std::move(tree);
        candidateError = treeError;
        out.how = "tree";
      }
    }
    si->freeState(st0);  // the problem keeps its own copy
  }
  roller.attempts = kStepAttempts;  // what the path's steps are, and what stops it, in full
  res.path = std::move(candidate);
  res.stepsTried = roller.steps;
  out.stepsTried = roller.steps;

  // run the path once more from the start: its errors and its worst conditioning
  RollData a = origin, b;
  res.centres.push_back({a.mid[0], a.mid[1], a.mid[2]});
  for (size_t i = 0; i < res.path.size(); ++i) {
    if (!roller.Step(a, res.path[i], b)) {  // cannot happen: the path's steps were all valid
      res.path.resize(i);
      break;
    }
    if (b.sigma < out.minSigma) {
      out.minSigma = b.sigma;
      out.minSigmaFinger = b.sigmaFinger;
    }
    res.centres.push_back({b.mid[0], b.mid[1], b.mid[2]});
    a = b;
  }
  RestoreRoll(s, a.snap);
  GoalError(s, g, &out.orientErrDeg, &out.posErr);
  out.gaits = static_cast<int>(std::count_if(res.path.begin(), res.path.end(), IsGait));
  out.steps = static_cast<int>(res.path.size()) - out.gaits;
  out.reached = out.orientErrDeg <= kGoalTurnTolDeg && out.posErr <= kGoalShiftTol;
  if (!out.reached) {
    RollData goalState;
    VecCopy(goalWay.mid, goalState.mid);
    MatCopy(goalWay.Ew, goalState.Ew);
    if (opt.cancel != nullptr && opt.cancel->load()) {
      out.reason = "planning stopped";
    } else {
      // what blocks the way, then why the search ended
      const std::string cause = WhatStopsIt(roller, a, goalState);
      const std::string end =
          stagnant ? "no nearer pose found in the last " + std::to_string(patience) + " steps"
          : roller.steps >= opt.maxSteps ? "the " + std::to_string(opt.maxSteps) + " steps given are spent"
                                        : "the time limit is reached";
      out.reason = cause.empty() ? end : cause + "; " + end;
    }
  }
  RestoreRoll(s, start);
  out.planSeconds = seconds();
  if (opt.progress) opt.progress(1.0, candidateError);
  return res;
}

}  // namespace rg

// The module's one entry point, looked up by name when the planner is first used.
extern "C" __attribute__((visibility("default"))) void rg_plan_to_goal(
    rg::Sim* s, const rg::GoalPose* g, const rg::PlanOptions* opt, rg::PlanResult* out) {
  *out = rg::PlanWithOmpl(*s, *g, *opt);
}
