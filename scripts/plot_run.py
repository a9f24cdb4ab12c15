#!/usr/bin/python3
"""Plots of one manipulation run from its trajectory CSV (rollgrasp-batch
--trajectory) over the physical time t: the joint angles of every finger, the
contact parameters on the finger and on the rim, how far the work has turned, and
the grasp quality epsilon.

usage: plot_run.py TRAJECTORY.csv OUT_DIR
       (writes joints.png, contacts.png, work-turn.png, epsilon.png)
"""
import csv
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
    return {name: np.array([float(r[k]) for r in body]) for k, name in enumerate(head)}


def fingers(cols):
    return sorted({int(c.rsplit("_f", 1)[1]) for c in cols if c.startswith("q1_f")})


def turn_deg(cols):
    """Angle of the work's rotation since row 0, from the stored frames."""
    e = np.stack([cols["ew%d%d" % (i, j)] for i in range(3) for j in range(3)], axis=1)
    tr = e @ e[0]  # trace of E0^T E for every row
    return np.degrees(np.arccos(np.clip((tr - 1.0) / 2.0, -1.0, 1.0)))


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__.strip().splitlines()[-1])
    cols = read(argv[1])
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
        ax.legend(loc="best", fontsize=7, ncol=nj)
    axes[0, 0].set_title("Joint angles")
    axes[-1, 0].set_xlabel("t (physical time)")
    fig.tight_layout()
    fig.savefig(out / "joints.png", dpi=80)
    plt.close(fig)

    params = [("Lf", "Lf: along the last link"), ("fif", "fif: about the link [rad]"),
              ("thw", "thw: about the work axis [rad]")]
    fig, axes = plt.subplots(len(params), 1, figsize=(7, 6.6), sharex=True)
    for ax, (p, label) in zip(axes, params):
        for kf in fs:
            ax.plot(t, cols["%s_f%d" % (p, kf)], label="finger %d" % kf)
        ax.set_ylabel(label, fontsize=8)
        ax.grid(alpha=0.3)
        ax.legend(loc="best", fontsize=7)
    axes[0].set_title("Contact parameters (on the finger, and on the rim)")
    axes[-1].set_xlabel("t (physical time)")
    fig.tight_layout()
    fig.savefig(out / "contacts.png", dpi=80)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=(7, 3.2))
    ax.plot(t, turn_deg(cols), color="darkred")
    ax.set_title("Turn of the work since the start of the manipulation")
    ax.set_xlabel("t (physical time)")
    ax.set_ylabel("angle [deg]")
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "work-turn.png", dpi=80)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=(7, 3.2))
    ax.plot(t, cols["epsilon"], color="darkgreen")
    ax.set_title("Grasp quality epsilon (largest disturbance resisted in the worst direction)")
    ax.set_xlabel("t (physical time)")
    ax.set_ylabel("epsilon")
    ax.set_ylim(bottom=0.0)
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "epsilon.png", dpi=80)
    plt.close(fig)
    print("  plots: %s %s %s %s (t = %.3g .. %.3g, %d rows)" % (
        out / "joints.png", out / "contacts.png", out / "work-turn.png", out / "epsilon.png",
        t[0], t[-1], len(t)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
