#!/usr/bin/python3
"""Which fingers hold the work without the others: force closure and epsilon of subsets of a grasp.

For a hand file, on the cylinder and on the sphere: the grasp (G, then s per finger)
and its contact types, then the quality of every subset of one finger fewer (the
hold while one finger is lifted) and of every pair of fingers at the grasp, and of
the one-fewer subsets along a default-velocity run, every --every steps, until the
run stops (its length and the reason are reported).

Every subset is judged by the program itself: a hand file holding only the subset's
fingers (the other fingers' mounts, links and joints left out, the rest as the file
has them) is grasped and run in its own rollgrasp.Sim, and the quality of its state
(force closure, epsilon; the run's contact model, friction, torsion and cone edges)
is the subset's. Each finger closes onto the work and rolls on it on its own, against
the work's commanded motion, so the subset's contacts are the whole hand's; the
script checks that at every judged state, bit for bit, and refuses to report
otherwise.

--mounts puts the fingers on the palm's rim at other angles about the palm's normal
(degrees, one per finger; a mount's origin then is (r sin phi, 0, r cos phi) with
rpy (0, phi, 0), r the palm's radius), to compare placements. The nearest approach
of two fingers' links (surface to surface, which the simulation does not check) is
reported for each state judged.
"""
import argparse
import csv
import itertools
import math
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sweep  # noqa: E402  (the build and output helpers are shared)

WORKS = ("cylinder", "sphere")
FIELDS = ["work", "step", "fingers", "force_closure", "epsilon"]
MAX_EVERY = 1000
MAX_STEPS = 4000  # the record holds 3995 steps
MAX_MOUNT_DEG = 360.0


class HandText:
    """A hand file's elements: the palm, and per finger (in the file's order) its
    mount joint and everything that hangs from it."""

    def __init__(self, path):
        self.tree = ET.parse(path)
        robot = self.tree.getroot()
        joints = robot.findall("joint")
        parent = {j.find("parent").get("link"): [] for j in joints}
        for j in joints:
            parent[j.find("parent").get("link")].append(j)
        children = {j.find("child").get("link") for j in joints}
        self.palm = next(l for l in robot.findall("link") if l.get("name") not in children)
        # a mount hangs a chain from the palm; "<mount>_cylinder" only an empty link
        self.mounts = [j for j in parent[self.palm.get("name")]
                       if j.find("child").get("link") in parent]
        self.parts = []
        for m in self.mounts:
            names, todo = set(), [m]
            while todo:
                j = todo.pop()
                names |= {("joint", j.get("name")), ("link", j.find("child").get("link"))}
                todo += parent.get(j.find("child").get("link"), [])
            for j in parent[self.palm.get("name")]:
                if j.get("name") == m.get("name") + "_cylinder":
                    names |= {("joint", j.get("name")), ("link", j.find("child").get("link"))}
            self.parts.append(names)
        self.link_radius = self._link_radius(robot)

    def _link_radius(self, robot):
        for l in robot.findall("link"):
            if l is not self.palm:
                c = l.find("collision/geometry/cylinder")
                if c is not None:
                    return float(c.get("radius"))
        raise ValueError("no finger link with a cylinder")

    def set_mounts(self, degrees):
        r = float(self.palm.find("collision/geometry/cylinder").get("radius"))
        for m, deg in zip(self.mounts, degrees):
            phi = math.radians(deg)
            for j in self.tree.getroot().findall("joint"):
                if j.get("name") in (m.get("name"), m.get("name") + "_cylinder"):
                    o = j.find("origin")
                    o.set("xyz", "%r 0 %r" % (r * math.sin(phi), r * math.cos(phi)))
                    o.set("rpy", "0 %r 0" % phi)

    def write(self, path, fingers=None):
        """The hand with only fingers (1-based, the file's order; all when None)."""
        keep = set().union(*(self.parts[k - 1] for k in fingers)) if fingers else None
        drop = set().union(*self.parts) - keep if keep is not None else set()
        root = ET.Element("robot", self.tree.getroot().attrib)
        for e in self.tree.getroot():
            if (e.tag, e.get("name")) not in drop:
                root.append(e)
        ET.ElementTree(root).write(path, encoding="unicode", xml_declaration=True)


def segment_distance(p, q, r, s):
    """Nearest distance between the segments p-q and r-s (3-vectors)."""
    def sub(a, b): return [a[i] - b[i] for i in range(3)]
    def dot(a, b): return sum(a[i] * b[i] for i in range(3))
    d1, d2, w = sub(q, p), sub(s, r), sub(p, r)
    a, e, b, c, f = dot(d1, d1), dot(d2, d2), dot(d1, d2), dot(d1, w), dot(d2, w)
    best = math.inf
    # the interior critical point, then every end point against the other segment
    den = a * e - b * b
    cands = []
    if den > 1e-12 * a * e:
        cands.append(((b * f - c * e) / den, (a * f - b * c) / den))
    for t in (0.0, 1.0):
        cands.append((t, (b * t + f) / e))
        cands.append(((b * t - c) / a, t))
    for t, u in cands:
        t, u = min(1.0, max(0.0, t)), min(1.0, max(0.0, u))
        x = [p[i] + t * d1[i] - r[i] - u * d2[i] for i in range(3)]
        best = min(best, math.sqrt(dot(x, x)))
    return best


def finger_gap(state, radius):
    """Nearest approach of two fingers' links (base to joint 4 to the tip), surface
    to surface."""
    caps = [[f["JA"][0], f["JA"][-2], f["JA"][-1]] for f in state["fingers"]]
    return min(segment_distance(a[i], a[i + 1], b[k], b[k + 1]) - 2 * radius
               for a, b in itertools.combinations(caps, 2) for i in (0, 1) for k in (0, 1))


class Run:
    """One Sim of a hand file on a work: the grasp, then steps on demand."""

    def __init__(self, path, work):
        import rollgrasp
        self.sim = rollgrasp.Sim(hand=path, work=work)
        self.contacts = self.sim.grasp()
        self.state = self.sim.state()
        self.grasp_state = self.state
        self.steps, self.result = 0, None

    def to(self, step):
        """Steps on to step (completed); False when the run stops before."""
        import rollgrasp
        while self.steps < step:
            self.result = self.sim.step(1)
            if self.result.status != rollgrasp.Status.RUNNING:
                return False
            self.steps += 1
            self.state = self.sim.state()
        return True


def contacts_of(state, fingers):
    return [(state["fingers"][k - 1]["CPNT"], state["fingers"][k - 1]["NW"]) for k in fingers]


def judge(hand, work, every, max_steps, tmp):
    """Rows of (step, fingers, force closure, epsilon) and the run's figures."""
    path = str(Path(tmp) / "hand.urdf")
    hand.write(path)
    whole = Run(path, work)
    nF = len(hand.mounts)
    fewer = list(itertools.combinations(range(1, nF + 1), nF - 1))
    pairs = list(itertools.combinations(range(1, nF + 1), 2)) if nF > 3 else []
    subs = {}
    for fingers in fewer + pairs:
        p = str(Path(tmp) / ("hand-%s.urdf" % "".join(map(str, fingers))))
        hand.write(p, fingers)
        subs[fingers] = Run(p, work)
    rows, gaps = [], []
    step = 0
    while True:
        st = whole.state
        gaps.append(finger_gap(st, hand.link_radius))
        rows.append((step, tuple(range(1, nF + 1)), st["quality"]["force_closure"],
                     st["quality"]["epsilon"]))
        for fingers, run in subs.items():
            if step and fingers in pairs:
                continue
            if not run.to(step):
                raise RuntimeError("%s: fingers %s stop at step %d before the whole hand"
                                   % (work, fingers, run.steps + 1))
            if contacts_of(run.state, range(1, len(fingers) + 1)) != contacts_of(st, fingers):
                raise RuntimeError("%s: fingers %s do not touch where the whole hand's do at "
                                   "step %d" % (work, fingers, step))
            q = run.state["quality"]
            rows.append((step, fingers, q["force_closure"], q["epsilon"]))
        if step + every > max_steps or not whole.to(step + every):
            break
        step += every
    if whole.result is None or whole.result.status.name == "RUNNING":
        whole.to(max_steps)  # the remaining steps, to find where the run stops
    turned = sweep.turn_angle_deg(whole.grasp_state["EwG"], whole.state["ManipEW2"])
    run_info = {"types": [c["type"] for c in whole.contacts], "steps": whole.steps,
                "status": whole.result.status.name if whole.result else "RUNNING",
                "message": whole.result.message if whole.result else "",
                "turned_deg": turned,
                "gap_grasp": gaps[0], "gap_min": min(gaps)}
    return rows, run_info, fewer, pairs


def report(work, rows, info, fewer, pairs, out):
    name = lambda f: "+".join(map(str, f))
    end = ("still rolling" if info["status"] == "RUNNING"
           else "then %s (%s)" % (info["status"], info["message"]))
    print("%s: grasp %s; %d steps complete, %s; the work turned %.1f deg"
          % (work, " ".join(info["types"]), info["steps"], end, info["turned_deg"]), file=out)
    print("  nearest two fingers' links: %.2f at the grasp, %.2f along the run"
          % (info["gap_grasp"], info["gap_min"]), file=out)
    at = {(s, f): (fc, e) for s, f, fc, e in rows}
    whole = tuple(range(1, len(fewer[0]) + 2))
    print("  all fingers at the grasp: closure %s, epsilon %.4f" % at[(0, whole)], file=out)
    for f in fewer + pairs:
        fc, e = at[(0, f)]
        line = "  fingers %-7s at the grasp: closure %-5s epsilon %.4f" % (name(f), fc, e)
        if f in fewer:
            run = [(s, fc, e) for s, g, fc, e in rows if g == f]
            held = sum(fc for _, fc, _ in run)
            lost = next((s for s, fc, _ in run if not fc), None)
            line += "; along the run held in %d of %d states, least epsilon %.4f%s" % (
                held, len(run), min(e for _, _, e in run),
                "" if lost is None else ", first lost at step %d" % lost)
        print(line, file=out)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--hand", default=str(sweep.REPO / "hands" / "gait-4finger.urdf"),
                   help="the hand file (default hands/gait-4finger.urdf)")
    p.add_argument("--work", default="both", choices=list(WORKS) + ["both"])
    p.add_argument("--mounts", help="the fingers' angles on the palm's rim, degrees, e.g. "
                   "-20,20,160,200 (default: the file's mounts)")
    p.add_argument("--every", type=int, default=10, help="steps between judged states (default 10)")
    p.add_argument("--max-steps", type=int, default=MAX_STEPS,
                   help="steps of the run at most (default %d)" % MAX_STEPS)
    p.add_argument("--build", default=str(sweep.REPO / "build"), help="build folder with python/rollgrasp")
    p.add_argument("--csv", help="every judged state: work, step, fingers, force_closure, epsilon")
    a = p.parse_args(argv)
    try:
        if not 1 <= a.every <= MAX_EVERY:
            raise ValueError("--every must be 1 to %d steps, not %d" % (MAX_EVERY, a.every))
        if not 0 <= a.max_steps <= MAX_STEPS:
            raise ValueError("--max-steps must be 0 to %d, not %d" % (MAX_STEPS, a.max_steps))
        sweep.use_build(a.build)
        import rollgrasp
        if a.mounts is None:
            rollgrasp.Sim(hand=a.hand)  # the reader's own refusal, before anything is read here
        hand = HandText(a.hand)
        if a.mounts is not None:
            deg = [float(x) for x in a.mounts.split(",")]
            if len(deg) != len(hand.mounts) or not all(abs(d) <= MAX_MOUNT_DEG for d in deg):
                raise ValueError("--mounts needs %d angles within +-%g degrees, not %r"
                                 % (len(hand.mounts), MAX_MOUNT_DEG, a.mounts))
            hand.set_mounts(deg)
        if len(hand.mounts) < 3:
            raise ValueError("%s: %d fingers; subsets of one finger fewer need 3 or more"
                             % (a.hand, len(hand.mounts)))
    except (ValueError, OSError, ET.ParseError) as e:
        print("gait_hold.py: %s" % e, file=sys.stderr)
        return 2
    t0 = time.process_time()
    results = []
    with tempfile.TemporaryDirectory() as tmp:
        placed = str(Path(tmp) / "hand.urdf")
        hand.write(placed)
        try:
            rollgrasp.Sim(hand=placed)  # the reader's verdict on the fingers as placed
        except ValueError as e:
            print("gait_hold.py: --mounts %s: %s" % (a.mounts, str(e).replace(placed + ":", "")),
                  file=sys.stderr)
            return 2
        try:
            for work in (WORKS if a.work == "both" else (a.work,)):
                results.append((work,) + judge(hand, work, a.every, a.max_steps, tmp))
        except (RuntimeError, ValueError) as e:  # a subset that is not the whole hand's
            print("gait_hold.py: %s" % e, file=sys.stderr)
            return 1
    print("gait_hold: %s%s, every %d steps, %.1f s CPU" % (
        a.hand, "" if a.mounts is None else " with mounts at " + a.mounts, a.every,
        time.process_time() - t0))
    for work, rows, info, fewer, pairs in results:
        report(work, rows, info, fewer, pairs, sys.stdout)
    if a.csv:
        def write(path):
            with open(path, "w", newline="") as f:
                w = csv.writer(f)
                w.writerow(FIELDS)
                for work, rows, *_ in results:
                    for s, fingers, fc, e in rows:
                        w.writerow([work, s, "+".join(map(str, fingers)), fc, e])
        sweep.write_whole(a.csv, write)
    return 0


if __name__ == "__main__":
    sys.exit(main())
