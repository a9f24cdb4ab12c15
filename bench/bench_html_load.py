#!/usr/bin/python3
"""The replay page of the default run (the demo's: grasp, then rolling until it
stops): its size, the CPU time --html adds to the batch run, and how long headless
Chromium takes to load it, from the start of the navigation to the viewer's first
drawn frame as the page measures it (performance.now() at the first frame). Cold:
a fresh browser for every load (its first WebGL context included); warm: the page
opened again in a running browser. Medians of several loads, with the page's own
marks (modules loaded, WebGL context made, scene built). Targets: under 2 MB, a
cold load under 1 s.

usage: bench_html_load.py [--build build] [--repeat 5]
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
sys.path.insert(0, str(REPO / "scripts"))
from headless_chromium import Chromium  # noqa: E402

KEYS = "ssA" + "s" * 340
MARKS = ("rg-modules", "rg-context", "rg-scene")
LOAD = ("window.rgViewer.ready.then(v => ({load: v.loadMs, marks: Object.fromEntries("
        "performance.getEntriesByType('mark').map(m => [m.name, m.startTime]))}))")


def cpu_of(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def summary(name, loads):
    med = lambda key: statistics.median(l["marks"].get(key, float("nan")) for l in loads)  # noqa: E731
    total = statistics.median(l["load"] for l in loads)
    print("%-5s load %6.0f ms (median of %d; min %.0f, max %.0f)   modules %.0f, context %.0f, scene %.0f ms"
          % (name, total, len(loads), min(l["load"] for l in loads), max(l["load"] for l in loads),
             *(med(k) for k in MARKS)))
    return total


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(REPO / "build"))
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()
    exe = Path(args.build) / "rollgrasp-batch"
    if not exe.is_file():
        sys.exit("bench_html_load.py: no batch driver at %s; build first" % exe)
    print("load average: %.2f %.2f %.2f" % os.getloadavg())
    with tempfile.TemporaryDirectory() as tmp:
        page = Path(tmp) / "replay.html"
        plain = statistics.median(cpu_of([str(exe), KEYS]) for _ in range(args.repeat))
        html = statistics.median(cpu_of([str(exe), "--html", str(page), KEYS]) for _ in range(args.repeat))
        size = page.stat().st_size
        print("page: %d bytes (%.2f MB; target < 2 MB)" % (size, size / 2**20))
        print("batch run: %.1f ms CPU, with --html %.1f ms CPU" % (1000 * plain, 1000 * html))
        cold = []
        for _ in range(args.repeat):
            with Chromium() as c:
                c.open(page.as_uri())
                cold.append(c.evaluate(LOAD))
        with Chromium() as c:
            warm = []
            for _ in range(args.repeat + 1):
                c.open(page.as_uri())
                warm.append(c.evaluate(LOAD))
            warm = warm[1:]  # the first is a cold one
    cold_ms = summary("cold", cold)
    summary("warm", warm)
    print("load average: %.2f %.2f %.2f" % os.getloadavg())
    return 0 if size < 2 * 2**20 and cold_ms < 1000 else 1


if __name__ == "__main__":
    sys.exit(main())
