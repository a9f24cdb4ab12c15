"""Finger gaits from Python: sim.lift(k, preshape=None) and sim.place(k, preshape=None)
do what the keys 1..nF of mode A do, return the state's gait dict (a refusal is an
outcome, not an exception) and refuse bad arguments with ValueError."""
import math

import numpy as np
import pytest

import rollgrasp


def grasped(hand=2, work="cylinder"):
    sim = rollgrasp.Sim(hand=hand, work=work)
    sim.grasp()
    return sim


def touching(sim):
    return [f["touching"] for f in sim.state()["fingers"]]


def test_a_lift_the_rest_cannot_hold_is_refused_with_its_reason():
    sim = grasped()
    before = sim.state()["fingers"]
    out = sim.lift(1)
    assert (out["kind"], out["finger"], out["done"], out["verdict"]) == ("lift", 1, False, "H")
    assert out["epsilon"] == 0.0
    assert "fingers 2, 3 alone would not hold the work" in out["reason"]
    assert out["message"] == "Lift of finger 1 refused: " + out["reason"]
    assert sim.state()["fingers"] == before  # nothing changed
    assert out["message"] in sim.console()


def test_the_same_gait_by_key_and_by_call_leaves_the_same_state_and_record():
    by_key, by_call = rollgrasp.Sim(hand=2), rollgrasp.Sim(hand=2)
    by_key.press("GsssA" + "s" * 5 + "2" + "s" * 5 + "2" + "s" * 5)
    by_call.press("GsssA" + "s" * 5)
    out = by_call.lift(2)
    assert out["done"] and out["epsilon"] > 0.0 and touching(by_call) == [True, False, True]
    by_call.step(5)
    assert by_call.place(2)["type"] == "LC"
    by_call.step(5)
    a, b = by_key.state(), by_call.state()
    assert a["fingers"] == b["fingers"] and a["gait"] == b["gait"]
    t = by_call.trajectory()
    assert list(t)[-2:] == ["cmd_wz", "gait"]
    assert list(t["gait"]) == ["", "", "lift 2", "place 2"]
    assert all(np.array_equal(by_key.trajectory()[c], t[c]) for c in t)


def test_a_place_that_finds_no_contact_leaves_the_finger_lifted():
    sim = grasped()
    sim.lift(2)
    rolled = list(sim.state()["fingers"][1]["q"])
    rolled[0] += 1.0  # turned a radian about its own axis: the closing link sweeps past
    out = sim.place(2, preshape=rolled)
    assert (out["done"], out["verdict"]) == (False, "N")
    assert out["message"].endswith("it stays lifted")
    assert touching(sim) == [True, False, True]
    assert sim.place(2)["done"]  # from the pre-shape it was lifted to it touches again


@pytest.mark.parametrize("call, args, match", [
    ("lift", (0,), "finger must be 1..3"),
    ("place", (4,), "finger must be 1..3"),
    ("lift", (2, [0.1] * 5), "preshape must hold 4 joint angles"),
    ("lift", (2, [0.1, math.nan, 0.3, 0.4]), "preshape must be finite"),
    ("place", (2, [0.1, 0.2, math.inf, 0.4]), "preshape must be finite"),
    ("lift", (2, [0.1, 0.2, 7.0, 0.4]), "within ±2π"),
    ("lift", (2, "abcd"), "preshape must be a sequence of numbers"),
])
def test_bad_arguments_raise_value_error_and_change_nothing(call, args, match):
    sim = grasped()
    before = sim.state()
    with pytest.raises(ValueError, match=match):
        getattr(sim, call)(*args)
    after = sim.state()
    assert after["fingers"] == before["fingers"] and after["gait"] == before["gait"]
