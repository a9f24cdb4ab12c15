#!/usr/bin/python3
"""Sweeps the default grasp and manipulation over start poses and velocities.

Every cell of the grid is one whole run in its own rollgrasp.Sim: the work's
start pose turned in mode M about the work's x axis (keys p/P) and then about its
z axis (r/R), 0.0314 rad per key, an optional set of velocity keys in mode V,
the grasp (G, then s per finger), and the manipulation (A, then s until sgnMANIP
is no longer Y or the record is full). Per cell it records the end status, the
steps completed before it, how far the work turned, the worst grasp quality
epsilon when the state has one, the epsilon of the grasp itself, and the fraction
of the run's states (the grasp and every step) in force closure.

The cells run on Dask distributed: a LocalCluster of worker processes on this
machine by default (--workers N), or an existing cluster (--scheduler ADDRESS),
whose workers must be able to import rollgrasp (PYTHONPATH=<build>/python).
Results go to a CSV and a heat map PNG.
"""
import argparse
import csv
import math
import os
import sys
import time
from pathlib import Path

TURN_STEP = 0.0314  # rad per p/P or r/R key in mode M
RECORD_ROWS = 800
STATUS = {"Y": "still running", "F": "data overflow", "D": "deadlock",
          "O": "contact out of the finger link", "C": "hand/work collision",
          "R": "grasp not on a rim", "N": "no complete grasp"}
FIELDS = ["hand", "velocity", "turn_x", "turn_z", "turn_x_rad", "turn_z_rad", "status",
          "steps", "rolled_deg", "worst_epsilon", "grasp_epsilon", "closure_fraction"]
HAND_NAMES = {1: "hand 1 (RQPP, 2 fingers)", 2: "hand 2 (RQPP, 3 fingers)",
              3: "hand 3 (PQPP, 2 fingers)", 4: "hand 4 (PQPP, 3 fingers)"}
REPO = Path(__file__).resolve().parent.parent


def use_build(build):
    """Makes rollgrasp importable from build/python here and in local workers."""
    path = str(Path(build).resolve() / "python")
    if path not in sys.path:
        sys.path.insert(0, path)
    old = os.environ.get("PYTHONPATH", "")
    if path not in old.split(os.pathsep):
        os.environ["PYTHONPATH"] = path + (os.pathsep + old if old else "")


def turn_keys(n, minus, plus):
    return (plus if n > 0 else minus) * abs(n)


def cell_keys(hand, turn_x, turn_z, velocity):
    """Keys before the grasp: hand, start pose, velocity."""
    keys = "H%d" % hand if hand != 1 else ""
    keys += "M" + turn_keys(turn_x, "p", "P") + turn_keys(turn_z, "r", "R")
    if velocity:
        keys += "V" + velocity
    return keys


def turn_angle_deg(a, b):
    """Angle of the rotation between two frames (3x3 nested lists), in degrees."""
    tr = sum(a[i][j] * b[i][j] for i in range(3) for j in range(3))
    return math.degrees(math.acos(max(-1.0, min(1.0, (tr - 1.0) / 2.0))))


def run_cell(cell):
    """One whole run; cell is (hand, turn_x, turn_z, velocity). Returns a result dict."""
    import rollgrasp

    hand, turn_x, turn_z, velocity = cell
    sim = rollgrasp.Sim()
    sim.press(cell_keys(hand, turn_x, turn_z, velocity))
    start = sim.state()
    sim.press("G" + "s" * start["nF"] + "A")
    state = sim.state()
    worst = None
    seen = closed = 0

    def note_quality(st):
        nonlocal worst, seen, closed
        q = st.get("quality")
        if isinstance(q, dict) and q.get("epsilon") is not None:
            worst = q["epsilon"] if worst is None else min(worst, q["epsilon"])
            seen += 1
            closed += bool(q.get("force_closure"))

    note_quality(state)
    grasp_eps = worst
    status = state["sgnMANIP"]
    if state["sgnCALGEnd"] != "Y":
        status = "N"
    else:
        while status == "Y" and state["cntMainip1"] < RECORD_ROWS - 1:
            before = state["cntManip0"]
            sim.press("s")
            state = sim.state()
            note_quality(state)
            status = state["sgnMANIP"]
            if status == "Y" and state["cntManip0"] == before:
                break  # a step that records nothing would repeat forever
    return {
        "hand": hand, "velocity": velocity, "turn_x": turn_x, "turn_z": turn_z,
        "turn_x_rad": turn_x * TURN_STEP, "turn_z_rad": turn_z * TURN_STEP,
        "status": status, "steps": state["cntManip0"],
        "rolled_deg": turn_angle_deg(start["EwG"], state["ManipEW2"]) if state["cntManip0"] else 0.0,
        "worst_epsilon": worst,
        "grasp_epsilon": grasp_eps,
        "closure_fraction": closed / seen if seen else None,
    }


def grid(n_x, n_z, velocities, hand=1, spacing=1):
    """Cells centred on the default pose: n_x by n_z start poses, spacing turn keys
    apart, for every velocity."""
    return [(hand, spacing * (ix - n_x // 2), spacing * (iz - n_z // 2), v)
            for v in velocities for ix in range(n_x) for iz in range(n_z)]


def run_grid(cells, client=None):
    """Results in the order of cells; in this process without a client."""
    if client is None:
        return [run_cell(c) for c in cells]
    if __name__ != "__main__":
        # imported as a module: send its code along, workers need not find this file
        import cloudpickle
        cloudpickle.register_pickle_by_value(sys.modules[__name__])
    futures = client.map(run_cell, cells, pure=False)
    return client.gather(futures)


def local_client(workers):
    """A Client on a LocalCluster of single-threaded worker processes."""
    import logging
    from distributed import Client, LocalCluster

    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                           dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster)


def close(client):
    """Closes the client and its local cluster (None for a client of a scheduler address)."""
    cluster = client.cluster
    client.close()
    if cluster is not None:
        cluster.close()


def write_csv(path, results):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=FIELDS)
        w.writeheader()
        for r in results:
            w.writerow({k: ("" if r[k] is None else r[k]) for k in FIELDS})


def plot(path, results, velocities, hand=1):
    """Per velocity two heat maps side by side: how far the work turned before the
    stop (with the end status), and the grasp quality (epsilon at the grasp, with
    the fraction of the run in force closure written in each cell)."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    xs = sorted({r["turn_x"] for r in results})
    zs = sorted({r["turn_z"] for r in results})
    fig, axes = plt.subplots(len(velocities), 2, figsize=(12, 5.0 * len(velocities)),
                             squeeze=False)
    vmax = max(r["rolled_deg"] for r in results) or 1.0
    emax = max((r["grasp_epsilon"] or 0.0) for r in results) or 1.0
    # cells are centred on their turns, one grid spacing wide
    hz = (zs[1] - zs[0]) / 2 if len(zs) > 1 else 0.5
    hx = (xs[1] - xs[0]) / 2 if len(xs) > 1 else 0.5
    ext = [(zs[0] - hz) * TURN_STEP, (zs[-1] + hz) * TURN_STEP,
           (xs[0] - hx) * TURN_STEP, (xs[-1] + hx) * TURN_STEP]
    for row, v in zip(axes, velocities):
        turn = np.full((len(xs), len(zs)), np.nan)
        eps = np.full((len(xs), len(zs)), np.nan)
        status, frac = {}, {}
        for r in results:
            if r["velocity"] == v:
                i, j = xs.index(r["turn_x"]), zs.index(r["turn_z"])
                turn[i, j] = r["rolled_deg"]
                if r["grasp_epsilon"] is not None:
                    eps[i, j] = r["grasp_epsilon"]
                status[(i, j)] = r["status"]
                frac[(i, j)] = r["closure_fraction"]
        vel = "default velocity (omw = 0.02 about z)" if not v else \
            "velocity keys V %s" % v
        panels = [(row[0], turn, 0.0, vmax, "viridis", "work turned before the stop [deg]",
                   lambda i, j: status[(i, j)], "turn before the stop (letter: end status)"),
                  (row[1], eps, 0.0, emax, "magma", "epsilon at the grasp (per unit of normal force)",
                   lambda i, j: "-" if frac[(i, j)] is None else "%.0f%%" % (100 * frac[(i, j)]),
                   "grasp quality (text: share of the run in force closure)")]
        for ax, m, lo, hi, cmap, label, text, title in panels:
            im = ax.imshow(m, origin="lower", extent=ext, aspect="auto", cmap=cmap, vmin=lo, vmax=hi)
            if len(xs) * len(zs) <= 121:
                for (i, j) in status:
                    dark = np.isnan(m[i, j]) or m[i, j] < 0.6 * hi
                    ax.text(zs[j] * TURN_STEP, xs[i] * TURN_STEP, text(i, j), ha="center",
                            va="center", color="white" if dark else "black", fontsize=9)
            ax.set_xlabel("start turn about the work's z axis [rad]", fontsize=10)
            ax.set_ylabel("start turn about the work's x axis [rad]", fontsize=10)
            ax.set_title("%s\n%s, cylinder, %s" % (title, HAND_NAMES.get(hand, "hand %d" % hand), vel),
                         fontsize=10)
            fig.colorbar(im, ax=ax, label=label)
    fig.suptitle("Start poses of the sweep; end status D deadlock, C collision, O off the link, "
                 "R not on a rim, F record full, N no grasp", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=150)
    plt.close(fig)


def check_arguments(a):
    """(n_x, n_z, velocities) from the parsed arguments; ValueError with one line
    saying what is wrong."""
    parts = a.grid.lower().split("x")
    if len(parts) != 2 or not all(s.isdigit() for s in parts):
        raise ValueError("--grid must be NxM with whole numbers, e.g. 7x7 (got %r)" % a.grid)
    n_x, n_z = (int(s) for s in parts)
    if n_x < 1 or n_z < 1:
        raise ValueError("--grid needs at least one cell each way (got %r)" % a.grid)
    if a.spacing < 1:
        raise ValueError("--spacing must be 1 or more (got %d)" % a.spacing)
    if a.workers < 1:
        raise ValueError("--workers must be 1 or more (got %d)" % a.workers)
    velocities = a.velocities.split(",")
    for v in velocities:
        if any(k not in "xXyYzZpPqQrR" for k in v):
            raise ValueError("--velocities: %r holds a key mode V does not take "
                             "(x X y Y z Z p P q Q r R)" % v)
    module = list((Path(a.build) / "python").glob("rollgrasp*.so"))
    if not module:
        raise ValueError("--build: no Python module rollgrasp in %s/python; run make first"
                         % a.build)
    return n_x, n_z, velocities


def write_whole(path, write):
    """Writes path through a temporary file beside it, so a failure leaves nothing."""
    head, name = os.path.split(path)
    stem, suffix = os.path.splitext(name)
    tmp = os.path.join(head, ".%s.%d%s" % (stem, os.getpid(), suffix))  # the format stays
    try:
        write(tmp)
        os.replace(tmp, path)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--grid", default="21x21", help="turns about x by turns about z (default 21x21)")
    p.add_argument("--velocities", default=",Q",
                   help="comma-separated velocity keys of mode V per sweep; an empty entry is "
                        "the default velocity (default ',Q')")
    p.add_argument("--spacing", type=int, default=1,
                   help="turn keys between neighbouring cells (default 1, i.e. 0.0314 rad)")
    p.add_argument("--hand", type=int, default=1, choices=[1, 2, 3, 4])
    p.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    p.add_argument("--scheduler", help="address of an existing Dask scheduler, e.g. tcp://host:8786")
    p.add_argument("--build", default=str(REPO / "build"), help="build folder with python/rollgrasp")
    p.add_argument("--csv", default="sweep.csv")
    p.add_argument("--png", default="sweep.png")
    a = p.parse_args(argv)
    try:
        n_x, n_z, velocities = check_arguments(a)
    except ValueError as e:
        print("sweep.py: %s" % e, file=sys.stderr)
        return 2
    use_build(a.build)
    cells = grid(n_x, n_z, velocities, a.hand, a.spacing)
    if a.scheduler:
        from distributed import Client
        client = Client(a.scheduler)
        where = a.scheduler
    else:
        client = local_client(a.workers)
        where = "local cluster of %d workers" % a.workers
    t0 = time.perf_counter()
    try:
        results = run_grid(cells, client)
    finally:
        close(client)
    wall = time.perf_counter() - t0
    write_whole(a.csv, lambda path: write_csv(path, results))
    write_whole(a.png, lambda path: plot(path, results, velocities, a.hand))
    counts = {}
    for r in results:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    print("sweep: %d cells (%dx%d, %d velocities) on %s in %.1f s" %
          (len(results), n_x, n_z, len(velocities), where, wall))
    print("  end status: " + ", ".join("%s %s: %d" % (k, STATUS.get(k, k), n)
                                       for k, n in sorted(counts.items())))
    print("  results: %s, heat map: %s" % (a.csv, a.png))
    return 0


if __name__ == "__main__":
    sys.exit(main())
