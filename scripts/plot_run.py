#!/usr/bin/python3
"""Plots of one manipulation run from its trajectory CSV (rollgrasp-batch
--trajectory) over the physical time t: the joint angles of every finger, the
contact parameters on the finger and on the rim, how far the work has turned, and
the grasp quality epsilon.

Every plot names the run in its title (hand, work, commanded velocity, from
the state lines of rollgrasp-batch --state, when given) and carries units:
lengths in the model's length unit, angles in rad (the work's turn in deg), and
the physical time t, the sum of the time steps taken (dt = 0.05 unless reduced).

usage: plot_run.py TRAJECTORY.csv OUT_DIR [STATE.jsonl]
       (writes joints.png, contacts.png, work-turn.png, epsilon.png at 150 dpi)
"""
import csv
import json
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def read(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    head, body = rows[0], rows[1:]
    if not body:
        raise SystemExit("plot_run: %s has no stored rows" % path)
    # the numbers; the text columns (gait: the finger gaits of each row) are not plotted
    text = {"gait"}
    return {name: np.array([float(r[k]) for r in body])
            for k, name in enumerate(head) if name not in text}


HANDS = {1: "hand 1 (RQPP, 2 fingers)", 2: "hand 2 (RQPP, 3 fingers)",
         3: "hand 3 (PQPP, 2 fingers)", 4: "hand 4 (PQPP, 3 fingers)"}
DPI = 150
TIME = "physical time t (sum of the time steps)"


def run_name(cols, state_path):
    """(title line naming hand, work and commanded velocity, work is a sphere)."""
    hand, work = "hand ?", "work ?"
    sphere = False
    if state_path:
        with open(state_path) as f:
            last = json.loads(f.read().strip().splitlines()[-1])
        hand = HANDS.get(last.get("HAND1"), "hand %s" % last.get("HAND1"))
        sphere = last.get("WORK1") == "1"
        work = "sphere" if sphere else "cylinder"
    # the commanded velocity of the last stored step
    vw = [cols["cmd_v%s" % a][-1] for a in "xyz"]
    om = [cols["cmd_w%s" % a][-1] for a in "xyz"]
    vel = "vw = (%g, %g, %g), omw = (%g, %g, %g)" % (*vw, *om)
    return "%s, %s, %s" % (hand, work, vel), sphere


def fingers(cols):
    return sorted({int(c.rsplit("_f", 1)[1]) for c in cols if c.startswith("q1_f")})


def turn_deg(cols):
    """Angle of the work's rotation since row 0, from the stored frames."""
    e = np.stack([cols["ew%d%d" % (i, j)] for i in range(3) for j in range(3)], axis=1)
    tr = e @ e[0]  # trace of E0^T E for every row
    return np.degrees(np.arccos(np.clip((tr - 1.0) / 2.0, -1.0, 1.0)))


def main(argv):
    if len(argv) not in (3, 4):
        raise SystemExit(__doc__.strip().splitlines()[-2])
    cols = read(argv[1])
    name, sphere = run_name(cols, argv[3] if len(argv) == 4 else None)
    plt.rcParams.update({"font.size": 10, "legend.fontsize": 9})
    out = Path(argv[2])
    out.mkdir(parents=True, exist_ok=True)
    t = cols["t"]
    fs = fingers(cols)
    nj = sum(1 for c in cols if c.startswith("q") and c.endswith("_f1"))

    fig, axes = plt.subplots(len(fs), 1, figsize=(7, 2.2 * len(fs) + 0.6), sharex=True,
                             squeeze=False)
    for ax, kf in zip(axes[:, 0], fs):
        for j in range(1, nj + 1):
            ax.plot(t, cols["q%d_f%d" % (j, kf)], label="q%d" % j)
        ax.set_ylabel("finger %d [rad]" % kf)
        ax.grid(alpha=0.3)
        ax.legend(loc="best", ncol=nj)
    axes[0, 0].set_title("Joint angles\n" + name, fontsize=10)
    axes[-1, 0].set_xlabel(TIME)
    fig.tight_layout()
    fig.savefig(out / "joints.png", dpi=DPI)
    plt.close(fig)

    params = [("Lf", "Lf: along the last link\n[length unit]"), ("fif", "fif: about the link\n[rad]")]
    if sphere:
        params += [("alw", "alw: longitude on\nthe sphere [rad]"),
                   ("betw", "betw: latitude on\nthe sphere [rad]")]
    else:
        params += [("thw", "thw: about the\ncylinder's axis [rad]")]
    fig, axes = plt.subplots(len(params), 1, figsize=(7, 2.2 * len(params) + 0.6), sharex=True)
    for ax, (p, label) in zip(axes, params):
        for kf in fs:
            ax.plot(t, cols["%s_f%d" % (p, kf)], label="finger %d" % kf)
        ax.set_ylabel(label)
        ax.grid(alpha=0.3)
        ax.legend(loc="best")
    on = "on the sphere" if sphere else "on the rim"
    axes[0].set_title("Contact parameters (on the finger, and %s)\n%s" % (on, name), fontsize=10)
    axes[-1].set_xlabel(TIME)
    fig.tight_layout()
    fig.savefig(out / "contacts.png", dpi=DPI)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=(7, 3.2))
    ax.plot(t, turn_deg(cols), color="darkred")
    ax.set_title("Turn of the work since the start of the manipulation\n" + name, fontsize=10)
    ax.set_xlabel(TIME)
    ax.set_ylabel("angle [deg]")
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "work-turn.png", dpi=DPI)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=(7, 3.2))
    ax.plot(t, cols["epsilon"], color="darkgreen")
    ax.set_title("Grasp quality epsilon (largest disturbance resisted in the worst direction)\n"
                 + name, fontsize=10)
    ax.set_xlabel(TIME)
    ax.set_ylabel("epsilon [per unit normal force]")
    ax.set_ylim(bottom=0.0)
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "epsilon.png", dpi=DPI)
    plt.close(fig)
    print("  plots: %s %s %s %s (t = %.3g .. %.3g, %d rows)" % (
        out / "joints.png", out / "contacts.png", out / "work-turn.png", out / "epsilon.png",
        t[0], t[-1], len(t)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
