#!/usr/bin/python3
"""What the batch driver's state output costs over a long run (3995 steps, the
record filled): the CPU time of one whole process without --state, with
--state-last, with --state-every 100 and with --state (a line per key), the median
of several runs each. Target: --state-last within 10 % of no --state.

usage: bench_state_output.py [--build build] [--repeat 9]
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
KEYS = "VrGss" + "A" + "s" * 4000  # no commanded motion: steps until the record is full


def cpu_of(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(REPO / "build"))
    ap.add_argument("--repeat", type=int, default=9)
    args = ap.parse_args()
    exe = Path(args.build) / "rollgrasp-batch"
    if not exe.is_file():
        sys.exit("bench_state_output.py: no batch driver at %s; build first" % exe)
    with tempfile.TemporaryDirectory() as tmp:
        state = os.path.join(tmp, "s.jsonl")
        cases = [("no --state", []), ("--state-last", ["--state-last", "--state", state]),
                 ("--state-every 100", ["--state-every", "100", "--state", state]),
                 ("--state (every key)", ["--state", state])]
        times = {}
        for name, opts in cases:
            times[name] = statistics.median(cpu_of([str(exe)] + opts + [KEYS])
                                            for _ in range(args.repeat))
            size = os.path.getsize(state) if opts else 0
            print("%-22s %8.1f ms CPU  %10d bytes of state" % (name, 1000 * times[name], size))
    ratio = times["--state-last"] / times["no --state"]
    print("--state-last / no --state: %.3f (target <= 1.10)" % ratio)
    return 0 if ratio <= 1.10 else 1


if __name__ == "__main__":
    sys.exit(main())
