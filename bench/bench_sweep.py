#!/usr/bin/python3
"""Throughput of the sweep (examples/sweep.py) on a local Dask cluster of one
worker process and of two, measured in one run on the same grid: whole cells per
second and their ratio (target: two workers at least 1.8 times one). Exits 1 when
the ratio misses the target.

usage: bench_sweep.py [--grid 9x9] [--velocities Q] [--repeat 2] [--build build]
"""
import argparse
import os
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "examples"))
import sweep  # noqa: E402

TARGET = 1.8


def cpu_seconds():
    t = os.times()
    return t.user + t.system


def timed_grid(cells, workers):
    """Seconds for the whole grid on a fresh local cluster whose workers have
    already imported the module (start-up is not part of the throughput), and
    the share of a core each worker process had meanwhile (below 1 when other
    programs compete for the cores)."""
    client = sweep.local_client(workers)
    try:
        client.wait_for_workers(workers)
        client.run(lambda: __import__("rollgrasp") and None)
        cpu0 = client.run(cpu_seconds)
        t0 = time.perf_counter()
        results = sweep.run_grid(cells, client)
        wall = time.perf_counter() - t0
        cpu1 = client.run(cpu_seconds)
    finally:
        sweep.close(client)
    if len(results) != len(cells) or any(r["steps"] <= 0 for r in results):
        raise SystemExit("bench_sweep: the grid did not run every cell")
    share = sum(cpu1[w] - cpu0[w] for w in cpu0) / (wall * workers)
    return wall, share


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--grid", default="9x9")
    p.add_argument("--velocities", default="Q")
    p.add_argument("--repeat", type=int, default=2, help="alternating runs; the best of each")
    p.add_argument("--build", default=str(REPO / "build"))
    a = p.parse_args()
    sweep.use_build(a.build)
    n_x, n_z = (int(v) for v in a.grid.split("x"))
    cells = sweep.grid(n_x, n_z, a.velocities.split(","))
    load = os.getloadavg()
    best = {1: (float("inf"), 0.0), 2: (float("inf"), 0.0)}
    for _ in range(a.repeat):
        for w in (1, 2):
            best[w] = min(best[w], timed_grid(cells, w))
    share = {w: best[w][1] for w in best}
    best = {w: best[w][0] for w in best}
    rate = {w: len(cells) / best[w] for w in best}
    ratio = rate[2] / rate[1]
    print("bench_sweep: %d cells (%s, velocities %s), %d cores, load average %.2f %.2f %.2f at the start"
          % (len(cells), a.grid, a.velocities, os.cpu_count(), *load))
    for w in (1, 2):
        print("  %d worker%s: %.1f s, %.2f cells/s, each worker busy %.0f%% of the time"
              % (w, "" if w == 1 else "s", best[w], rate[w], 100 * share[w]))
    print("  throughput ratio 2/1 workers: %.2f (target >= %.1f: %s)"
          % (ratio, TARGET, "met" if ratio >= TARGET else "NOT met"))
    return 0 if ratio >= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
