// The damped Newton iteration shared by the contact solvers: a Newton direction
// from a fresh Jacobian, then a line search along it — a trial that lowers the error
// norm is accepted and the same step is tried again, a trial that does not is
// shortened tenfold — until the norm falls below the tolerance or the search gives up.
#pragma once

namespace rg {

struct NewtonLimits {
  double tol = 1e-6;      // converged when the error norm falls below this
  int maxReductions = 5;  // tenfold step reductions per direction
  int maxRepeats = 0;     // accepted repeats of one step before a fresh direction (0: no cap)
  int maxIterations = 0;  // trials plus fresh directions after the first (0: no cap)
  // A stalled solve gives up: when the norm at a fresh direction has not fallen
  // to stallFactor times its value stallWindow directions earlier (0: never).
  int stallWindow = 0;
  double stallFactor = 0.5;
};

enum class NewtonEnd {
  Converged,  // the norm fell below the tolerance
  Failed,     // no usable direction, or a direction along which nothing improved
  Exhausted,  // the iteration limit was reached
  Stalled     // the norm stopped falling over the last stallWindow directions
};

struct NewtonStats {
  int iterations = 0;  // trials plus fresh directions after the first
  int trials = 0;      // error evaluations at trial points
  int directions = 0;  // Jacobian updates
  int reductions = 0;  // tenfold step reductions, all directions together
};

// Runs the iteration on the N unknowns x, whose error norm is `norm` on entry (the
// caller has evaluated it; a norm already below the tolerance returns at once). The
// problem p provides
//   bool Direction(const double* x, double* step)  the step for x (x - step is tried);
//                                                  false when no usable Jacobian exists
//   double Trial(const double* x)                  the error norm at a trial point
//   void Accept()                                  the last trial becomes the current point
// On return x and norm hold the last accepted point.
template <int N, class Problem>
NewtonEnd DampedNewton(Problem& p, double* x, double& norm, const NewtonLimits& lim,
                       NewtonStats* stats = nullptr) {
  NewtonStats st;
  NewtonEnd end = NewtonEnd::Converged;
  constexpr int kMaxWindow = 64;
  double atDirection[kMaxWindow];  // the norm at the latest fresh directions, cyclically
  const int window = lim.stallWindow < kMaxWindow ? lim.stallWindow : kMaxWindow - 1;
  if (!(norm < lim.tol)) {
    for (;;) {
      double step[N];
      if (window > 0) {
        if (st.directions >= window &&
            !(norm <= lim.stallFactor * atDirection[(st.directions - window) % kMaxWindow])) {
          end = NewtonEnd::Stalled;
          break;
        }
        atDirection[st.directions % kMaxWindow] = norm;
      }
      ++st.directions;
      if (!p.Direction(x, step)) {
        end = NewtonEnd::Failed;
        break;
      }
      int improvements = 0, reductions = 0;
      bool fresh = false;
      while (!fresh) {
        ++st.iterations;
        ++st.trials;
        double xt[N];
        for (int i = 0; i < N; ++i) xt[i] = x[i] - step[i];
        const double nt = p.Trial(xt);
        if (nt < lim.tol) {
          for (int i = 0; i < N; ++i) x[i] = xt[i];
          norm = nt;
          p.Accept();
          end = NewtonEnd::Converged;
          break;
        }
        if (lim.maxIterations > 0 && st.iterations >= lim.maxIterations) {
          end = NewtonEnd::Exhausted;
          break;
        }
        if (nt < norm) {  // accept, and try the same step again
          for (int i = 0; i < N; ++i) x[i] = xt[i];
          norm = nt;
          p.Accept();
          ++improvements;
          if (lim.maxRepeats > 0 && improvements >= lim.maxRepeats) fresh = true;
        } else if (reductions < lim.maxReductions) {
          for (int i = 0; i < N; ++i) step[i] /= 10.0;
          ++reductions;
          ++st.reductions;
        } else if (improvements == 0) {
          end = NewtonEnd::Failed;
          break;
        } else {
          ++st.iterations;  // a fresh direction from the point reached
          fresh = true;
        }
      }
      if (!fresh) break;
    }
  }
  if (stats != nullptr) *stats = st;
  return end;
}

}  // namespace rg
