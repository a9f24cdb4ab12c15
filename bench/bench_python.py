#!/usr/bin/python3
"""What the Python module's calls cost, in CPU time of this process:
- a sweep cell of the docs' sweep (examples/sweep.py, `make sweep`: 7 x 7 start poses
  3 turn keys apart, the default velocity and Q), run in this process: the median and
  the mean over the cells (target <= 20 ms);
- trajectory() of the longest run (800 stored rows), the first call and a second one
  (target for the second <= 10 ms);
- a manipulation step taken by step(1) against one taken inside run().

usage: bench_python.py [--build build] [--repeat 5]
"""
import argparse
import os
import statistics
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "examples"))
import sweep  # noqa: E402


def cpu(f):
    t0 = time.process_time()
    f()
    return time.process_time() - t0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--build", default=str(REPO / "build"))
    p.add_argument("--repeat", type=int, default=5, help="runs of each measurement; the median")
    a = p.parse_args()
    sweep.use_build(a.build)
    import rollgrasp

    load = os.getloadavg()
    cells = sweep.grid(7, 7, ["", "Q"], spacing=3)
    per_cell = []
    steps = []
    for _ in range(a.repeat):
        for c in cells:
            r = {}
            per_cell.append(cpu(lambda: r.update(sweep.run_cell(c))))
            steps.append(r["steps"])
    cell_ms = 1000 * statistics.median(per_cell)

    first, second = [], []
    for _ in range(a.repeat):
        sim = rollgrasp.Sim()
        sim.press("VrGssA" + "s" * 4001)
        first.append(cpu(sim.trajectory))
        second.append(cpu(sim.trajectory))
    rows = len(sim.trajectory()["row"])

    stepped, ran = [], []
    for _ in range(a.repeat):
        sim = rollgrasp.Sim()
        sim.press("GssA")
        stepped.append(cpu(lambda: [sim.step(1) for _ in range(300)]) / 300)
        sim = rollgrasp.Sim()
        sim.press("GssA")
        ran.append(cpu(lambda: sim.run(300)) / 300)

    print("bench_python: load average %.2f %.2f %.2f at the start" % load)
    print("  sweep cell (7x7, spacing 3, velocities ,Q; median %d steps): median %.2f ms CPU, "
          "mean %.2f ms (target <= 20 ms)" % (statistics.median(steps), cell_ms,
                                             1000 * statistics.mean(per_cell)))
    print("  trajectory() of %d rows: first %.1f ms, second %.2f ms (target <= 10 ms)"
          % (rows, 1000 * statistics.median(first), 1000 * statistics.median(second)))
    print("  a step by step(1): %.2f us; inside run(): %.2f us"
          % (1e6 * statistics.median(stepped), 1e6 * statistics.median(ran)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
