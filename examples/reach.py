#!/usr/bin/python3
"""Reachability maps: which goal orientations a hand's default grasp can roll the work to.

Every cell is one goal pose relative to the grasp pose, a turn about the work's x
axis then about its z axis (the mid-point back at its grasp position), planned in
its own rollgrasp.Sim with sim.plan (follow=False: only the plan). The planner is
given a step budget (--plan-steps) and a seed (--seed), so the same grid, budget
and seed give the same CSV byte for byte on any machine load; the time limit is
only a safety net, and a cell that stops on it fails the run. Per cell it records
whether the goal was reached, the closest pose's errors, the path's steps, the
steps tried, which of the planner's stages found the path and the reason.

Beside each map, the turn that one constant velocity gives (mode V keys p P r R,
then the manipulation run to its stop) marks how far the work gets without
planning. --all maps hands 1-4 on the cylinder and on the sphere, one CSV and one
PNG each (reach-hand<N>-<work>.csv/png) and an overview of the eight (reach-all.png).

The cells run on Dask distributed as examples/sweep.py runs them (a LocalCluster of
--workers processes, --scheduler ADDRESS, or in this process with --workers 0).
"""
import argparse
import csv
import math
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sweep  # noqa: E402  (the build, cluster and output helpers are shared)

FIELDS = ["hand", "work", "rx", "rz", "reached", "orientation_error_deg", "position_error",
          "steps", "steps_tried", "found_by", "seed", "plan_steps", "reason"]
HANDS = (1, 2, 3, 4)
WORKS = ("cylinder", "sphere")
# bounds of the grid and the run: every input is refused beyond them
MAX_TURN_DEG = 360.0
MAX_CELLS = 20000
MAX_WORKERS = 64
MAX_PLAN_STEPS = 10000000
FINGER_STEPS = 60000  # the planner's default budget: finger solves, over the hand's fingers
MAX_SEED = 4294967295
MAX_CSV_BYTES = 16 << 20  # an earlier run's CSV to draw again
# the words of the planner's reason when its clock, not its step budget, ended the search
TIME_LIMIT_REASON = "the time limit is reached"
# what found a reached goal's path, as the map letters it
FOUND_LETTER = {"straight": "S", "legs": "L", "loops": "O", "tree": "T"}


def grasped(hand, work, velocity_keys=""):
    import rollgrasp
    sim = rollgrasp.Sim()
    sim.press("H%d" % hand + ("W1" if work == "sphere" else "") + velocity_keys + "G")
    sim.press("s" * sim.state()["nF"])
    return sim


def run_cell(cell):
    hand, work, rx, rz, plan_steps, seed, limit = cell
    sim = grasped(hand, work)
    if plan_steps is None:  # the planner's default: 60000 finger solves over the fingers
        plan_steps = FINGER_STEPS // sim.state()["nF"]
    out = sim.plan((rx, 0.0, rz), time_limit=limit, follow=False, max_steps=plan_steps,
                   seed=seed)
    return {"hand": hand, "work": work, "rx": rx, "rz": rz, "reached": out["reached"],
            "orientation_error_deg": out["orientation_error_deg"],
            "position_error": out["position_error"], "steps": out["steps"],
            "steps_tried": out["steps_tried"], "found_by": out["found_by"],
            "seed": seed, "plan_steps": plan_steps, "reason": out["reason"]}


# mode V keys of a constant turn about one axis (the velocity keys' rate, 0.02 rad per
# unit time): the default velocity turns about +z; r r takes it to -z; r then p or P
# turns about -x or +x instead
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


def run_task(task):
    """A grid cell ("cell", ...) or a constant turn ("turn", hand, work, key)."""
    if task[0] == "turn":
        return constant_turn(*task[1:])
    return run_cell(task[1:])


def span(text, name):
    """The turns of 'from:to:step' (degrees); ValueError with one line when it is not one."""
    parts = text.split(":")
    try:
        lo, hi, step = (float(v) for v in parts)
    except ValueError:
        raise ValueError("%s must be from:to:step in degrees, e.g. -30:30:10 (got %r)"
                         % (name, text)) from None
    if not all(math.isfinite(v) for v in (lo, hi, step)) or step <= 0 or hi < lo or \
            max(abs(lo), abs(hi)) > MAX_TURN_DEG:
        raise ValueError("%s needs from <= to within +-%g deg and a step above 0 (got %r)"
                         % (name, MAX_TURN_DEG, text))
    n = int(math.floor((hi - lo) / step + 1e-9))
    if n + 1 > MAX_CELLS:
        raise ValueError("%s has more than %d turns (got %r)" % (name, MAX_CELLS, text))
    return [lo + i * step for i in range(n + 1)]


def configurations(a):
    return [(h, w) for w in WORKS for h in HANDS] if a.all else [(a.hand, a.work)]


def file_stem(hand, work):
    return "reach-hand%d-%s" % (hand, work)


def output_paths(a, hand, work):
    stem = Path(a.out_dir) / file_stem(hand, work)
    csv_path = a.csv if a.csv and not a.all else str(stem) + ".csv"
    png_path = a.png if a.png and not a.all else str(stem) + ".png"
    return csv_path, png_path


def check_arguments(a):
    """The grid's turns (xs, zs); ValueError with one line saying what is wrong."""
    if a.sphere:
        a.work = "sphere"
    xs, zs = span(a.rx, "--rx"), span(a.rz, "--rz")
    if len(xs) * len(zs) * len(configurations(a)) > MAX_CELLS:
        raise ValueError("the grid has more than %d cells; take larger steps" % MAX_CELLS)
    if a.plan_steps is not None and not 1 <= a.plan_steps <= MAX_PLAN_STEPS:
        raise ValueError("--plan-steps must be a whole number from 1 to %d (got %d)"
                         % (MAX_PLAN_STEPS, a.plan_steps))
    if not 0 <= a.seed <= MAX_SEED:
        raise ValueError("--seed must be a whole number from 0 to %d (got %d)" % (MAX_SEED, a.seed))
    if not (math.isfinite(a.time_limit) and 0 < a.time_limit <= 3600):
        raise ValueError("--time-limit must be above 0 and at most 3600 s (got %r)" % a.time_limit)
    if not 0 <= a.workers <= MAX_WORKERS:
        raise ValueError("--workers must be from 0 (this process) to %d (got %d)"
                         % (MAX_WORKERS, a.workers))
    if a.all and (a.csv or a.png):
        raise ValueError("--all names its files itself in --out-dir; drop --csv and --png")
    if not Path(a.out_dir).is_dir():
        raise ValueError("--out-dir: no folder %s" % a.out_dir)
    if not list((Path(a.build) / "python").glob("rollgrasp*.so")):
        raise ValueError("--build: no Python module rollgrasp in %s/python; run make first" % a.build)
    return xs, zs


def run_tasks(tasks, a):
    """The results of the tasks in their order: on Dask, or here with --workers 0."""
    if a.workers == 0 and not a.scheduler:
        return [run_task(t) for t in tasks]
    if a.scheduler:
        from distributed import Client
        client = Client(a.scheduler)
    else:
        client = sweep.local_client(a.workers)
    try:
        if __name__ != "__main__":
            import cloudpickle
            cloudpickle.register_pickle_by_value(sys.modules[__name__])
        return client.gather(client.map(run_task, tasks, pure=False))
    finally:
        sweep.close(client)


def write_csv(path, results):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=FIELDS, lineterminator="\n")
        w.writeheader()
        w.writerows(results)


def read_csv(path, hand, work):
    """The cells of an earlier run of one configuration; ValueError when the file is not one."""
    try:
        if os.path.getsize(path) > MAX_CSV_BYTES:
            raise ValueError("%s is larger than %d bytes; not a reach map's CSV" % (path, MAX_CSV_BYTES))
        with open(path, newline="") as f:
            rows = list(csv.DictReader(f))
    except OSError as e:
        raise ValueError("%s: %s" % (path, e.strerror)) from None
    if not rows or list(rows[0].keys()) != FIELDS:
        raise ValueError("%s is not a reach map's CSV (columns %s)" % (path, ", ".join(FIELDS)))
    try:
        results = [{**r, "hand": int(r["hand"]), "rx": float(r["rx"]), "rz": float(r["rz"]),
                    "reached": r["reached"] == "True",
                    "orientation_error_deg": float(r["orientation_error_deg"])} for r in rows]
    except ValueError:
        raise ValueError("%s: a cell's hand, rx, rz or error is not a number" % path) from None
    if {(r["hand"], r["work"]) for r in results} != {(hand, work)}:
        raise ValueError("%s holds other configurations than hand %d, %s" % (path, hand, work))
    return results


def error_grid(results):
    import numpy as np
    xs = sorted({r["rx"] for r in results})
    zs = sorted({r["rz"] for r in results})
    m = np.full((len(xs), len(zs)), np.nan)
    for r in results:
        m[xs.index(r["rx"]), zs.index(r["rz"])] = 0.0 if r["reached"] else r["orientation_error_deg"]
    return xs, zs, m


def draw_map(ax, results, marks, vmax, legend=True, letters=10):
    """One map on ax: the closest pose's orientation error per goal, the reached goals
    lettered by what found their path, and where the constant turns stop (cyan)."""
    xs, zs, m = error_grid(results)
    hz = (zs[1] - zs[0]) / 2 if len(zs) > 1 else 0.5
    hx = (xs[1] - xs[0]) / 2 if len(xs) > 1 else 0.5
    im = ax.imshow(m, origin="lower", extent=[zs[0] - hz, zs[-1] + hz, xs[0] - hx, xs[-1] + hx],
                   aspect="auto", cmap="magma_r", vmin=0.0, vmax=vmax)
    for r in results:
        if r["reached"]:
            ax.text(r["rz"], r["rx"], FOUND_LETTER.get(r["found_by"], "R"), ha="center",
                    va="center", color="black", fontsize=letters, fontweight="bold")
    # how far one constant velocity turns the work about z and about x
    ax.axvline(-marks["r"], ls="--", color="cyan", label="constant turn about z stops")
    ax.axvline(marks["R"], ls="--", color="cyan")
    ax.axhline(-marks["p"], ls=":", color="cyan", label="constant turn about x stops")
    ax.axhline(marks["P"], ls=":", color="cyan")
    ax.set_xlim(zs[0] - hz, zs[-1] + hz)
    ax.set_ylim(xs[0] - hx, xs[-1] + hx)
    if legend:
        ax.legend(loc="upper right", fontsize=8, framealpha=0.9)
    return im


def vmax_of(results):
    return max([r["orientation_error_deg"] for r in results if not r["reached"]] + [1.0])


COLOUR_LABEL = "orientation error of the closest pose [deg] (0: reached)"
LETTERS = ("reached by S the straight command, L held legs, O loops, T the tree; R: the grasp "
           "pose itself")


def plot(path, results, marks, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(figsize=(8, 5.6))
    im = draw_map(ax, results, marks, vmax_of(results))
    ax.set_xlabel("goal turn about the work's z axis [deg]", fontsize=10)
    ax.set_ylabel("goal turn about the work's x axis [deg]", fontsize=10)
    ax.set_title(title, fontsize=9)
    fig.colorbar(im, ax=ax, label=COLOUR_LABEL)
    fig.tight_layout()
    fig.savefig(path, dpi=150, metadata={"Software": None})
    plt.close(fig)


def plot_overview(path, maps, a):
    """The eight maps side by side on one colour scale: hands across, works down."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    vmax = max(vmax_of(results) for results, _ in maps.values())
    fig, axes = plt.subplots(len(WORKS), len(HANDS), figsize=(16, 8.4), sharex=True, sharey=True,
                             squeeze=False, constrained_layout=True)
    for i, work in enumerate(WORKS):
        for j, hand in enumerate(HANDS):
            ax = axes[i][j]
            results, marks = maps[(hand, work)]
            im = draw_map(ax, results, marks, vmax, legend=(i, j) == (0, 0), letters=6)
            n = sum(r["reached"] for r in results)
            ax.set_title("%s, %s\n%d of %d goals reached" % (sweep.HAND_NAMES[hand], work, n,
                                                              len(results)), fontsize=9)
            if i == len(WORKS) - 1:
                ax.set_xlabel("goal turn about z [deg]", fontsize=9)
            if j == 0:
                ax.set_ylabel("goal turn about x [deg]", fontsize=9)
    fig.suptitle("Goal orientations rolling reaches from the default grasps, the mid-point back at "
                 "its grasp position (seed %d, %s)\n%s; cyan: where a "
                 "constant turn stops" % (a.seed, budget_text(a.plan_steps), LETTERS), fontsize=10)
    fig.colorbar(im, ax=axes, label=COLOUR_LABEL, shrink=0.8)
    fig.savefig(path, dpi=110, metadata={"Software": None})
    plt.close(fig)


def map_title(a, hand, work, results, marks):
    n = sum(r["reached"] for r in results)
    steps = int(results[0]["plan_steps"]) if results else a.plan_steps
    return ("%s, %s: %d of %d goals reached\n(%s)\nseed %d, %s; "
            "a constant velocity stops at z %.1f/%.1f, x %.1f/%.1f deg (cyan)" % (
                sweep.HAND_NAMES[hand], work, n, len(results), LETTERS, a.seed,
                budget_text(steps), -marks["r"], marks["R"], -marks["p"], marks["P"]))


def budget_text(steps):
    if steps is None:
        return "%d finger solves per goal (rolling steps times fingers)" % FINGER_STEPS
    return "%d rolling steps per goal" % steps


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--hand", type=int, default=1, choices=list(HANDS))
    p.add_argument("--work", default="cylinder", choices=list(WORKS))
    p.add_argument("--sphere", action="store_true", help="the same as --work sphere")
    p.add_argument("--all", action="store_true",
                   help="every hand on the cylinder and on the sphere, and their overview")
    p.add_argument("--rx", default="-30:30:5", help="goal turns about x, from:to:step deg")
    p.add_argument("--rz", default="-40:40:5", help="goal turns about z, from:to:step deg")
    p.add_argument("--plan-steps", type=int, default=None,
                   help="rolling steps per goal (default: the planner's, %d over the hand's "
                   "fingers)" % FINGER_STEPS)
    p.add_argument("--seed", type=int, default=23, help="the planner's seed (default 23)")
    p.add_argument("--time-limit", type=float, default=600.0,
                   help="planning seconds per goal, a safety net only (default 600)")
    p.add_argument("--workers", type=int, default=2,
                   help="local worker processes (default 2; 0: in this process)")
    p.add_argument("--scheduler", help="address of an existing Dask scheduler")
    p.add_argument("--build", default=str(sweep.REPO / "build"), help="build folder with python/rollgrasp")
    p.add_argument("--out-dir", default=".", help="folder of the files named by configuration")
    p.add_argument("--csv", help="the CSV of one configuration (default in --out-dir)")
    p.add_argument("--png", help="the map of one configuration (default in --out-dir)")
    p.add_argument("--from-csv", nargs="?", const="", metavar="CSV",
                   help="draw the maps again from an earlier run's CSV (no planning); without "
                        "a file, the configurations' CSVs in --out-dir")
    a = p.parse_args(argv)
    try:
        xs, zs = check_arguments(a)
    except ValueError as e:
        print("reach.py: %s" % e, file=sys.stderr)
        return 2
    sweep.use_build(a.build)
    configs = configurations(a)
    t0 = time.perf_counter()
    turns = [("turn", h, w, k) for h, w in configs for k in "pPrR"]
    if a.from_csv is not None:
        try:
            found = {(h, w): read_csv(a.from_csv or output_paths(a, h, w)[0], h, w)
                     for h, w in configs}
        except ValueError as e:
            print("reach.py: %s" % e, file=sys.stderr)
            return 2
        marks = run_tasks(turns, argparse.Namespace(workers=0, scheduler=None))
    else:
        cells = [("cell", h, w, rx, rz, a.plan_steps, a.seed, a.time_limit)
                 for h, w in configs for rx in xs for rz in zs]
        out = run_tasks(turns + cells, a)
        marks, rows = out[:len(turns)], out[len(turns):]
        late = [r for r in rows if TIME_LIMIT_REASON in r["reason"]]
        if late:
            print("reach.py: %d cells stopped on the %g s time limit, not on their step budget; "
                  "nothing written (raise --time-limit)" % (len(late), a.time_limit), file=sys.stderr)
            return 1
        per = len(xs) * len(zs)
        found = {c: rows[i * per:(i + 1) * per] for i, c in enumerate(configs)}
    wall = time.perf_counter() - t0
    maps = {c: (found[c], dict(zip("pPrR", marks[4 * i:4 * i + 4]))) for i, c in enumerate(configs)}
    for (hand, work), (results, mark) in maps.items():
        csv_path, png_path = output_paths(a, hand, work)
        title = map_title(a, hand, work, results, mark)
        if a.from_csv is None:
            sweep.write_whole(csv_path, lambda path: write_csv(path, results))
        sweep.write_whole(png_path, lambda path: plot(path, results, mark, title))
        print("  %s; %s" % (title.replace("\n", "; "), png_path))
    if a.all:
        overview = str(Path(a.out_dir) / "reach-all.png")
        sweep.write_whole(overview, lambda path: plot_overview(path, maps, a))
        print("  overview: %s" % overview)
    if a.from_csv is None:
        where = "this process" if a.workers == 0 and not a.scheduler else \
            a.scheduler or "%d local workers" % a.workers
        print("reach: %d goals in %d maps on %s in %.1f s (load average %s)" % (
            sum(len(r) for r, _ in maps.values()), len(maps), where, wall,
            " ".join("%.2f" % v for v in os.getloadavg())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
