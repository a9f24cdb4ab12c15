"""sim.plan: a goal planned and followed from the default grasp, its outcome in the
state, the path in the trajectory with its commands; refusals and bad goals; the
batch driver's --goal gives the same outcome as the module."""
import json
import subprocess

import numpy as np
import pytest

import rollgrasp


def grasped():
    sim = rollgrasp.Sim()
    sim.press("Gss")
    return sim


def test_a_reachable_goal_is_planned_followed_and_recorded():
    sim = grasped()
    out = sim.plan((0, 0, 10), time_limit=20)
    assert out["reached"] is True and out["reason"] == ""
    assert out["orientation_error_deg"] <= 0.5 and out["position_error"] <= 1.0
    assert out["followed"] == out["steps"] == out["path_steps"] > 0
    state = sim.state()
    assert state["plan"] == out
    assert state["cntManip0"] == out["steps"]
    assert state["sgnCAL"] == "C"
    # the JSON velocity is the command of the step just taken; the rows carry theirs
    t = sim.trajectory()
    assert t["cmd_wz"][-1] == state["omww"][2]
    assert t["cmd_wz"][0] == 0.0 and np.all(t["cmd_wz"][1:] != 0.0)
    # the work turned about its own z axis by the goal's 10 degrees (row 0 to the last)
    e0 = np.array([[t["ew%d%d" % (i, j)][0] for j in range(3)] for i in range(3)])
    e1 = np.array(state["ManipEW2"])
    turn = e0.T @ e1
    assert np.degrees(np.arctan2(turn[1, 0], turn[0, 0])) == pytest.approx(10.0, abs=0.5)


def test_refusals_and_bad_goals():
    sim = rollgrasp.Sim()
    out = sim.plan("0,0,10")
    assert out["refused"] is True and out["reached"] is False
    assert out["reason"] == "no complete grasp"
    assert "not planned: no complete grasp" in sim.console()
    for bad in [(0, 0), (1, 2, 3, 4), "1,x,3", (0, 0, float("nan"))]:
        with pytest.raises(ValueError):
            sim.plan(bad)
    with pytest.raises(ValueError):
        grasped().plan((0, 0, 10), time_limit=0)


def test_an_unreachable_goal_reports_the_closest_pose(batch_exe, tmp_path):
    out = grasped().plan((0, 0, 180), time_limit=1.0, follow=False)
    assert out["reached"] is False and out["refused"] is False
    assert out["reason"] != ""
    assert out["orientation_error_deg"] > 0.5
    assert out["followed"] == 0
    # the batch driver's --goal: the same refusal text and a usage error for a bad goal
    bad = subprocess.run([str(batch_exe), "--goal", "1,2", "Gss"], capture_output=True)
    assert bad.returncode == 2 and b"usage:" in bad.stderr
    st = tmp_path / "s.jsonl"
    subprocess.run([str(batch_exe), "--goal", "0,0,10", "--progress", "--state", str(st), "GssBs"],
                   capture_output=True, check=True)
    last = json.loads(st.read_text().splitlines()[-1])
    assert last["plan"]["reached"] is True and last["plan"]["goal"] == [0, 0, 10, 0, 0, 0]


def test_the_same_seed_gives_the_same_plan_as_the_batch_driver(batch_exe, tmp_path):
    def plan(seed):
        sim = grasped()
        out = sim.plan("0,0,45", max_steps=2000, seed=seed, follow=False)
        out.pop("planning_seconds")
        return out
    a = plan(5)
    assert a == plan(5) and a["seed"] == 5 and a["steps_tried"] <= 2400
    state = tmp_path / "s.jsonl"
    subprocess.run([str(batch_exe), "--state-last", "--state", str(state), "--goal", "0,0,45",
                    "--plan-steps", "2000", "--seed", "5", "GssBs"], check=True,
                   stdin=subprocess.DEVNULL, capture_output=True)
    b = json.loads(state.read_text().splitlines()[-1])["plan"]
    b.pop("planning_seconds")
    assert a == b
