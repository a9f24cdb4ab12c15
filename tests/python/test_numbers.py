"""The Python API in numbers: a run built from values equals the key run that sets
the same values, velocities the keys cannot give work, and bad values are refused
with a ValueError naming the argument."""
import math

import numpy as np
import pytest

import rollgrasp


def test_numbers_run_equals_key_run_row_for_row():
    keys = "H2" + "M" + "xx" + "Z" + "q" + "V" + "p" + "Y" + "G" + "sss" + "A" + "s" * 400
    by_keys = rollgrasp.Sim()
    by_keys.press(keys)
    st = by_keys.state()

    by_numbers = rollgrasp.Sim(hand=2)
    by_numbers.set_work_pose(st["rwG0"], st["EwG0"])
    by_numbers.set_velocity(linear=st["vw"], angular=st["omww"])
    contacts = by_numbers.grasp()
    result = by_numbers.run(max_steps=400)

    assert [c["found"] for c in contacts] == [True, True, True]
    assert result.letter == st["sgnMANIP"] and result.total_steps == st["cntManip0"] > 0
    a, b = by_keys.trajectory(), by_numbers.trajectory()
    assert list(a) == list(b) and len(a["row"]) > 1
    for name in a:
        np.testing.assert_array_equal(a[name], b[name], err_msg=name)
    assert by_numbers.state()["omw"] == st["omw"]


def test_velocity_beyond_the_keys_turns_the_work_at_that_rate():
    sim = rollgrasp.Sim()
    rate = 0.013  # the keys give only multiples of 0.02
    sim.set_velocity(linear=(0.0, 0.0, 0.0), angular=(0.0, 0.0, rate))
    sim.grasp()
    result = sim.step(40)
    assert result.status == rollgrasp.Status.RUNNING and result.steps == 40
    t = sim.trajectory()
    assert np.all(t["cmd_wz"][1:] == rate)
    # the work's z axis keeps its direction; its x axis has turned by rate * time
    last = len(t["row"]) - 1
    x0 = np.array([t["ew00"][0], t["ew10"][0], t["ew20"][0]])
    x1 = np.array([t["ew00"][last], t["ew10"][last], t["ew20"][last]])
    turned = math.acos(np.clip(x0 @ x1, -1.0, 1.0))
    assert turned == pytest.approx(rate * t["t"][last], rel=1e-9)


def test_run_reports_the_stop_with_its_message_and_finger():
    sim = rollgrasp.Sim()
    assert sim.step().status == rollgrasp.Status.NO_GRASP
    assert sim.state()["message"].startswith("Complete Grasp Needed")
    sim.grasp()
    result = sim.run()
    assert result.status == rollgrasp.Status.DEADLOCK and result.letter == "D"
    assert result.message.startswith("Motion In Deadlock") and result.finger in (1, 2)
    assert "finger %d" % result.finger in result.message
    assert sim.state()["message"] == result.message
    assert sim.run().steps == 0  # a stopped motion stays stopped


@pytest.mark.parametrize("call, argument", [
    (lambda: rollgrasp.Sim(hand=0), "hand"),
    (lambda: rollgrasp.Sim(work="cube"), "work"),
    (lambda: rollgrasp.Sim(friction=-0.5), "friction"),
    (lambda: rollgrasp.Sim(contact="glue"), "contact"),
    (lambda: rollgrasp.Sim().set_work_pose(position=(0, 1)), "position"),
    (lambda: rollgrasp.Sim().set_work_pose(orientation=[[1, 0, 0], [0, 1, 0], [0, 0, -1]]),
     "orientation"),
    (lambda: rollgrasp.Sim().set_velocity(angular=(0, math.nan, 0)), "angular"),
    (lambda: rollgrasp.Sim().set_initial_angles(3, [0, 0, 0, 0]), "finger"),
    (lambda: rollgrasp.Sim().set_initial_angles(1, [0, 0]), "angles"),
    (lambda: rollgrasp.Sim().step(-1), "n"),
    # values beyond their bounds, paths the system would cut, goals of every wrong form
    (lambda: rollgrasp.Sim().set_velocity(angular=(0, 0, 1e300)), "angular"),
    (lambda: rollgrasp.Sim().set_velocity(linear=(1e6, 0, 0)), "linear"),
    (lambda: rollgrasp.Sim().set_work_pose(position=(0, 1e300, 0)), "position"),
    (lambda: rollgrasp.Sim().set_initial_angles(1, [0, 0, 1e300, 0]), "angles"),
    (lambda: rollgrasp.Sim(hand="hands/hand1.urdf\0.txt"), "hand"),
    (lambda: rollgrasp.Sim(hand=""), "hand"),
    (lambda: rollgrasp.Sim().snapshot("shot.png\0.txt"), "path"),
    (lambda: rollgrasp.Sim().html(""), "path"),
    (lambda: rollgrasp.Sim().plan("1,2,3\0"), "goal"),
    (lambda: rollgrasp.Sim().plan([1, "a", 3]), "goal"),
    (lambda: rollgrasp.Sim().plan({"a": 1}), "goal"),
    (lambda: rollgrasp.Sim().plan(5), "goal"),
    (lambda: rollgrasp.Sim().plan(b"1,2,3"), "goal"),
    (lambda: rollgrasp.Sim().plan("0,0,400"), "goal"),
    (lambda: rollgrasp.Sim().plan([0, 0, 1, 0, 0, 0, 0]), "goal"),
    (lambda: rollgrasp.Sim().plan("0,0,10", time_limit=math.inf), "time_limit"),
    (lambda: rollgrasp.Sim().plan("0,0,10", time_limit=1e9), "time_limit"),
    (lambda: rollgrasp.Sim().plan("0,0,10", max_steps=0), "max_steps"),
    (lambda: rollgrasp.Sim().plan("0,0,10", seed=-1), "seed"),
    (lambda: rollgrasp.Sim().plan("0,0,10", seed=2 ** 32), "seed"),
])
def test_bad_values_raise_value_error_naming_the_argument(call, argument):
    with pytest.raises(ValueError, match=argument):
        call()
