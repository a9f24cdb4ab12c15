"""The Python API's argument checks under random arguments: every call either
works or raises ValueError with a one-line message (or, for a wrong type,
pybind11's TypeError naming the signature); nothing else
escapes (no RuntimeError from a failed conversion, no crash), and a refused call
leaves the simulation as it was."""
import math
import random

import pytest
import rollgrasp

# values of every kind a script might pass by mistake
JUNK = [None, 0, -1, 1, 2, 5, 2 ** 70, -2 ** 70, 0.5, -0.0, math.nan, math.inf, -math.inf, 1e300,
        -1e300, 1e-300, "", "1,2,3", "0,0,10", "a,b,c", "1,2,3\0", "\udcff", b"", b"1,2,3",
        "x" * 10000, [], [1], [1, 2, 3], [0, 0, 0], [math.nan] * 3, [1e300] * 3, [1, "a", 3],
        [[1, 0, 0], [0, 1, 0], [0, 0, 1]], [[1, 0, 0], [0, 1, 0]], [1, 2, 3, 4, 5, 6, 7], (0.0,) * 4,
        {"a": 1}, {1, 2}, object(), range(3), "hands/hand1.urdf", "/dev/zero", "/nonexistent/x"]

# (call, number of positional arguments it takes)
CALLS = [
    (lambda s, a: s.set_work_pose(position=a[0]), 1),
    (lambda s, a: s.set_work_pose(orientation=a[0]), 1),
    (lambda s, a: s.set_velocity(linear=a[0], angular=a[1]), 2),
    (lambda s, a: s.set_initial_angles(a[0], a[1]), 2),
    (lambda s, a: s.step(a[0]), 1),
    (lambda s, a: s.run(a[0]), 1),
    (lambda s, a: s.press(a[0]), 1),
    (lambda s, a: s.plan(a[0], time_limit=a[1], follow=False), 2),
    (lambda s, a: s.html(a[0]), 1),
    (lambda s, a: rollgrasp.Sim(hand=a[0], work=a[1]), 2),
    (lambda s, a: rollgrasp.Sim(friction=a[0], torsion=a[1]), 2),
    (lambda s, a: rollgrasp.Sim(contact=a[0], cone_edges=a[1]), 2),
]


def test_random_arguments_raise_only_clear_errors(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # any page a junk path names lands here
    rng = random.Random(20261208)
    sim = rollgrasp.Sim()
    sim.grasp()
    refused = 0
    for i in range(600):
        call, n = CALLS[rng.randrange(len(CALLS))]
        args = [rng.choice(JUNK) for _ in range(n)]
        before = sim.state()
        try:
            call(sim, args)
        except (ValueError, TypeError, RuntimeError) as e:  # RuntimeError: what the state or the
            # file system refuses (no record to replay, a folder that does not exist)
            refused += 1
            text = str(e)
            # a wrong type is pybind11's TypeError listing the signature; a wrong
            # value is one line naming the argument
            assert text and (isinstance(e, TypeError) or "\n" not in text), (args, text)
            assert "Unable to cast" not in text and "incompatible" not in text or isinstance(e, TypeError), (args, text)
            after = sim.state()
            assert after == before, ("a refused call changed the state", args, text)
        except Exception as e:  # noqa: BLE001 - anything else is the fault looked for
            pytest.fail("%r with %r raised %s: %s" % (i, args, type(e).__name__, e))
        if sim.ended:
            sim = rollgrasp.Sim()
            sim.grasp()
    assert refused > 200  # the junk was mostly refused, so the checks were reached
