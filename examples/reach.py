#!/usr/bin/python3
"""Reachability map: which goal orientations a hand's default grasp can roll the work to.

Every cell is one goal pose relative to the grasp pose, a turn about the work's x
axis then about its z axis (the mid-point back at its grasp position), planned in
its own rollgrasp.Sim with sim.plan (follow=False: only the plan). Per cell it
records whether the goal was reached, the closest pose's errors, the path's steps,
the planning time and the reason. Beside the map, the turn that one constant
velocity gives (mode V keys p P r R, then the manipulation run to its stop) marks
how far the work gets without planning.

The cells run on Dask distributed as examples/sweep.py runs them (a LocalCluster of
--workers processes, or --scheduler ADDRESS). Results go to a CSV and a PNG.
"""
import argparse
import csv
import math
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sweep  # noqa: E402  (the build, cluster and run helpers are shared)

FIELDS = ["hand", "work", "rx", "rz", "reached", "orientation_error_deg", "position_error",
          "steps", "planning_seconds", "reason"]


def grasped(hand, work, velocity_keys=""):
    import rollgrasp
    sim = rollgrasp.Sim()
    sim.press("H%d" % hand + ("W1" if work == "sphere" else "") + velocity_keys + "G")
    sim.press("s" * sim.state()["nF"])
    return sim


def run_cell(cell):
    hand, work, rx, rz, limit = cell
    out = grasped(hand, work).plan((rx, 0.0, rz), time_limit=limit, follow=False)
    return {"hand": hand, "work": work, "rx": rx, "rz": rz, "reached": out["reached"],
            "orientation_error_deg": out["orientation_error_deg"],
            "position_error": out["position_error"], "steps": out["steps"],
            "planning_seconds": out["planning_seconds"], "reason": out["reason"]}


# mode V keys of a constant turn about one axis: the default velocity turns about z
CONSTANT = {"R": "", "r": "Vrr", "P": "VrP", "p": "Vrp"}


def constant_turn(hand, work, key):
    """Degrees the work turns under a constant turn (CONSTANT[key]) before it stops."""
    import numpy as np
    sim = grasped(hand, work, CONSTANT[key])
    sim.press("A")
    while sim.state()["sgnMANIP"] == "Y" and sim.state()["cntMainip1"] < sweep.RECORD_ROWS - 1:
        sim.press("s" * 20)
    t = sim.trajectory()
    e0 = np.array([[t["ew%d%d" % (i, j)][0] for j in range(3)] for i in range(3)])
    e1 = np.array(sim.state()["ManipEW2"])
    c = max(-1.0, min(1.0, (np.trace(e0.T @ e1) - 1.0) / 2.0))
    return math.degrees(math.acos(c))


def plot(path, results, marks, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    xs = sorted({r["rx"] for r in results})
    zs = sorted({r["rz"] for r in results})
    m = np.full((len(xs), len(zs)), np.nan)
    for r in results:
        m[xs.index(r["rx"]), zs.index(r["rz"])] = 0.0 if r["reached"] else r["orientation_error_deg"]
    fig, ax = plt.subplots(figsize=(8, 5.6))
    hz = (zs[1] - zs[0]) / 2 if len(zs) > 1 else 0.5
    hx = (xs[1] - xs[0]) / 2 if len(xs) > 1 else 0.5
    im = ax.imshow(m, origin="lower", extent=[zs[0] - hz, zs[-1] + hz, xs[0] - hx, xs[-1] + hx],
                   aspect="auto", cmap="magma_r", vmin=0.0)
    for r in results:
        ax.text(r["rz"], r["rx"], "R" if r["reached"] else "", ha="center", va="center",
                color="black", fontsize=10, fontweight="bold")
    # how far one constant velocity turns the work about z and about x
    ax.axvline(-marks["r"], ls="--", color="cyan", label="constant turn about z stops")
    ax.axvline(marks["R"], ls="--", color="cyan")
    ax.axhline(-marks["p"], ls=":", color="cyan", label="constant turn about x stops")
    ax.axhline(marks["P"], ls=":", color="cyan")
    ax.legend(loc="upper right", fontsize=9, framealpha=0.9)
    ax.set_xlabel("goal turn about the work's z axis [deg]", fontsize=10)
    ax.set_ylabel("goal turn about the work's x axis [deg]", fontsize=10)
    ax.set_title(title, fontsize=10)
    fig.colorbar(im, ax=ax, label="orientation error of the closest pose [deg] (0: reached, R)")
    fig.tight_layout()
    fig.savefig(path, dpi=150)
    plt.close(fig)


def map_title(a, work, results, marks):
    n = sum(r["reached"] for r in results)
    return ("%s, %s: %d of %d goals reached (R), velocity planned per step, %.0f s per goal\n"
            "a constant velocity stops at z %.1f/%.1f, x %.1f/%.1f deg (cyan)" % (
                sweep.HAND_NAMES.get(a.hand, "hand %d" % a.hand), work, n, len(results),
                a.time_limit, -marks["r"], marks["R"], -marks["p"], marks["P"]))


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--hand", type=int, default=1, choices=[1, 2, 3, 4])
    p.add_argument("--sphere", action="store_true", help="the sphere work instead of the cylinder")
    p.add_argument("--rx", default="-30:30:10", help="goal turns about x, from:to:step deg")
    p.add_argument("--rz", default="-90:90:15", help="goal turns about z, from:to:step deg")
    p.add_argument("--time-limit", type=float, default=3.0, help="planning seconds per goal")
    p.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    p.add_argument("--scheduler", help="address of an existing Dask scheduler")
    p.add_argument("--build", default=str(sweep.REPO / "build"), help="build folder with python/rollgrasp")
    p.add_argument("--csv", default="reach.csv")
    p.add_argument("--png", default="reach.png")
    p.add_argument("--from-csv", metavar="CSV",
                   help="draw the map again from the results of an earlier run (no planning)")
    a = p.parse_args(argv)

    def span(text):
        lo, hi, step = (float(v) for v in text.split(":"))
        n = int(round((hi - lo) / step))
        return [lo + i * step for i in range(n + 1)]

    work = "sphere" if a.sphere else "cylinder"
    sweep.use_build(a.build)
    if a.from_csv:
        with open(a.from_csv, newline="") as f:
            results = [{**r, "hand": int(r["hand"]), "rx": float(r["rx"]), "rz": float(r["rz"]),
                        "reached": r["reached"] == "True",
                        "orientation_error_deg": float(r["orientation_error_deg"])}
                       for r in csv.DictReader(f)]
        hands = {r["hand"] for r in results}
        works = {r["work"] for r in results}
        if hands != {a.hand} or works != {work}:
            raise SystemExit("reach: %s holds hands %s, works %s" % (a.from_csv, hands, works))
        marks = {k: constant_turn(a.hand, work, k) for k in "pPrR"}
        plot(a.png, results, marks, map_title(a, work, results, marks))
        print("  map: %s (from %s)" % (a.png, a.from_csv))
        return 0
    cells = [(a.hand, work, rx, rz, a.time_limit) for rx in span(a.rx) for rz in span(a.rz)]
    if a.scheduler:
        from distributed import Client
        client = Client(a.scheduler)
    else:
        client = sweep.local_client(a.workers)
    t0 = time.perf_counter()
    try:
        if __name__ != "__main__":
            import cloudpickle
            cloudpickle.register_pickle_by_value(sys.modules[__name__])
        results = client.gather(client.map(run_cell, cells, pure=False))
    finally:
        sweep.close(client)
    wall = time.perf_counter() - t0
    marks = {k: constant_turn(a.hand, work, k) for k in "pPrR"}
    with open(a.csv, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=FIELDS)
        w.writeheader()
        w.writerows(results)
    title = map_title(a, work, results, marks)
    plot(a.png, results, marks, title)
    print("reach: %d goals on %d workers in %.1f s; %s" % (len(results), a.workers, wall,
                                                           title.replace("\n", "; ")))
    print("  results: %s, map: %s" % (a.csv, a.png))
    return 0


if __name__ == "__main__":
    sys.exit(main())
