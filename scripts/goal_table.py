#!/usr/bin/env python3
"""The goal table of docs/goals.md: every goal of the set planned from the default
grasp of hands 1-4 on the cylinder and of hand 1 on the sphere, with a seed and a
step budget, so the same arguments give the same table whatever the machine's load.
Prints the markdown table (and, with --csv, every cell as CSV); the CPU time of each
plan is measured in the process itself.

    python3 scripts/goal_table.py --build build [--seed 23] [--plan-steps N] [--csv FILE]

RG_PLAN_MODULE names another planner module to compare (its own options permitting)."""
import argparse
import csv
import os
import sys
import time

GOALS = ([(0, 0, z) for z in (45, 90, 180)] + [(a, 0, 0) for a in (10, -10, 20, -20, 30, -30)] +
         [(0, a, 0) for a in (10, -10, 20, -20, 30, -30)] + [(15, 0, 30)])
CONFIGS = [("hand 1", 1, "cylinder"), ("hand 2", 2, "cylinder"), ("hand 3", 3, "cylinder"),
           ("hand 4", 4, "cylinder"), ("sphere", 1, "sphere")]
COLUMNS = ["config", "rx", "ry", "rz", "reached", "turn_error_deg", "shift_error", "steps",
           "steps_tried", "found_by", "cpu_seconds", "reason"]


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--build", default="build", help="the build folder with python/rollgrasp")
    p.add_argument("--seed", type=int, default=23)
    p.add_argument("--plan-steps", type=int, default=None,
                   help="rolling steps per plan (default: the planner's, 60000 over the fingers)")
    p.add_argument("--time-limit", type=float, default=600.0, help="a safety net, seconds")
    p.add_argument("--csv", help="write every cell here (whole or not at all)")
    a = p.parse_args()
    if not 0 <= a.seed <= 2 ** 32 - 1 or not (a.plan_steps is None or 1 <= a.plan_steps <= 10 ** 7):
        sys.exit("goal_table.py: --seed 0..4294967295 and --plan-steps 1..10000000")
    sys.path.insert(0, os.path.join(os.path.abspath(a.build), "python"))
    try:
        import rollgrasp
    except ImportError as e:
        sys.exit("goal_table.py: no rollgrasp module under %s/python (%s); build first" % (a.build, e))

    rows = []
    for name, hand, work in CONFIGS:
        for g in GOALS:
            sim = rollgrasp.Sim(hand=hand, work=work)
            sim.grasp()
            t0 = time.process_time()
            out = sim.plan(g, time_limit=a.time_limit, follow=False, max_steps=a.plan_steps,
                           seed=a.seed)
            cpu = time.process_time() - t0
            rows.append({"config": name, "rx": g[0], "ry": g[1], "rz": g[2],
                         "reached": out["reached"], "turn_error_deg": out["orientation_error_deg"],
                         "shift_error": out["position_error"], "steps": out["steps"],
                         "steps_tried": out.get("steps_tried", ""), "found_by": out.get("found_by", ""),
                         "cpu_seconds": cpu, "reason": out["reason"]})
            print("%s %s: %s" % (name, g, "reached" if out["reached"] else "not reached"),
                  file=sys.stderr, flush=True)

    print("| goal rx, ry, rz (deg) | " + " | ".join(c[0] for c in CONFIGS) + " |")
    print("|---|" + "---|" * len(CONFIGS))
    for g in GOALS:
        cells = []
        for name, _, _ in CONFIGS:
            r = next(r for r in rows if r["config"] == name and (r["rx"], r["ry"], r["rz"]) == g)
            if r["reached"]:
                cells.append("**yes** %d steps (%s), %d tried" % (r["steps"], r["found_by"], r["steps_tried"]))
            else:
                cells.append("no: %.2f°, %.2f (%d steps), %d tried" %
                             (r["turn_error_deg"], r["shift_error"], r["steps"], r["steps_tried"]))
        print("| %g, %g, %g | %s |" % (g[0], g[1], g[2], " | ".join(cells)))
    cpu = [r["cpu_seconds"] for r in rows]
    print("\nreached %d of %d; CPU per plan %.2f-%.2f s (median %.2f)" %
          (sum(r["reached"] for r in rows), len(rows), min(cpu), max(cpu), sorted(cpu)[len(cpu) // 2]))
    late = sorted(r["cpu_seconds"] for r in rows if not r["reached"])
    if late:
        print("verdicts not reached: CPU median %.2f s, at most %.2f s" % (late[len(late) // 2], late[-1]))

    if a.csv:
        tmp = a.csv + ".tmp.%d" % os.getpid()
        try:
            with open(tmp, "w", newline="") as f:
                w = csv.DictWriter(f, fieldnames=COLUMNS)
                w.writeheader()
                w.writerows(rows)
            os.replace(tmp, a.csv)
        finally:
            if os.path.exists(tmp):
                os.remove(tmp)


if __name__ == "__main__":
    main()
