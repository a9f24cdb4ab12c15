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


def test_lift_roll_place_roll_shows_in_the_state_and_the_trajectory():
    sim = grasped()
    out = sim.lift(2)
    assert out["done"] and out["epsilon"] > 0.0
    assert touching(sim) == [True, False, True]
    assert sim.state()["quality"]["epsilon"] == out["epsilon"]  # fingers 1 and 3 hold it
    held = sim.state()["fingers"][1]["q"]
    assert sim.step(5).steps == 5
    assert sim.state()["fingers"][1]["q"] == held  # a lifted finger stands still
    out = sim.place(2)
    assert out["done"] and out["type"] == "LC"
    assert touching(sim) == [True, True, True]
    assert sim.step(5).steps == 5
    t = sim.trajectory()
    assert list(t["gait"]) == ["", "lift 2", "place 2"]
    assert list(t)[-1] == "gait" and list(t)[-2] == "cmd_wz"
    assert t["q4_f2"][1] == held[3]


def test_the_same_gait_by_key_and_by_call_leaves_the_same_state():
    by_key, by_call = rollgrasp.Sim(hand=2), rollgrasp.Sim(hand=2)
    by_key.press("GsssA" + "s" * 5 + "2")
    by_call.press("GsssA" + "s" * 5)
    by_call.lift(2)
    a, b = by_key.state(), by_call.state()
    assert a["fingers"] == b["fingers"] and a["gait"] == b["gait"]


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
    ("lift", (4,), "finger must be 1..3"),
    ("place", (-1,), "finger must be 1..3"),
    ("lift", (2, [0.1, 0.2, 0.3]), "preshape must hold 4 joint angles"),
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


def test_without_a_grasp_a_gait_is_a_refused_outcome():
    sim = rollgrasp.Sim(hand=4)
    out = sim.lift(2)
    assert (out["done"], out["verdict"]) == (False, "G")
    assert sim.state()["sgnCAL"] == "A"  # entered as its key would
    assert np.all(np.array(touching(sim)))
