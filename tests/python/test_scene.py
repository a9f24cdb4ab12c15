"""Scenes and work sizes from Python: a scene saved by one Sim runs the same in a Sim
made from it, the batch driver reads what Python wrote, and what cannot be used is a
ValueError naming the field or the argument."""
import json

import numpy as np
import pytest

import rollgrasp


def test_a_saved_scene_runs_the_same_in_python_and_in_the_batch_driver(tmp_path, batch_exe):
    import subprocess
    sim = rollgrasp.Sim(hand=2, work="sphere", sphere_radius=55, friction=0.4)
    sim.set_work_pose(position=(1.5, 100, 5))
    sim.set_velocity(linear=(0, 0, 0.5), angular=(0.01, 0, 0.02))
    scene = tmp_path / "scene.json"
    sim.save_scene(scene)
    again = rollgrasp.Sim.from_scene(scene)
    assert again.work_sizes == {"sphere_radius": 55.0, "cylinder_radius": 60.0, "cylinder_height": 100.0}
    for s in (sim, again):
        s.grasp()
        s.run(40)
    a, b = sim.trajectory(), again.trajectory()
    assert len(a["row"]) > 2
    assert all(np.array_equal(a[k], b[k]) for k in a)
    csv = tmp_path / "run.csv"
    subprocess.run([str(batch_exe), "--scene", str(scene), "--trajectory", str(csv),
                    "GsssA" + "s" * 40], check=True, capture_output=True, stdin=subprocess.DEVNULL)
    rows = csv.read_text().splitlines()[1:]
    assert [float(r.split(",")[3]) for r in rows] == list(a["rwx"])


@pytest.mark.parametrize("text, says", [
    ('{"rollgrasp_scene": 1, "work": "cube"}', 'work: must be "cylinder" or "sphere"'),
    ('{"rollgrasp_scene": 9}', "version 9 is newer"),
    ('{"rollgrasp_scene": 1, "extra": 1}', "'extra': unknown field"),
    ('{"rollgrasp_scene": 1, "hand": "missing.urdf"}', "hand: hand file"),
    ("{", "not a JSON scene"),
])
def test_a_scene_that_cannot_be_used_is_a_value_error(tmp_path, text, says):
    bad = tmp_path / "bad.json"
    bad.write_text(text)
    with pytest.raises(ValueError, match=None) as e:
        rollgrasp.Sim.from_scene(bad)
    assert says in str(e.value) and "\n" not in str(e.value)


@pytest.mark.parametrize("arg, value", [("sphere_radius", 81), ("cylinder_radius", 19),
                                        ("cylinder_height", 100.5), ("cylinder_height", "tall")])
def test_work_sizes_out_of_range_are_a_value_error(arg, value):
    with pytest.raises(ValueError, match=arg):
        rollgrasp.Sim(**{arg: value})


def test_work_sizes_are_kept_when_another_hand_is_chosen():
    sim = rollgrasp.Sim(cylinder_radius=45, cylinder_height=70)
    sim.press("H4")
    assert sim.work_sizes["cylinder_radius"] == 45.0 and sim.work_sizes["cylinder_height"] == 70.0
    assert json.loads(json.dumps(sim.state()))["work_sizes"]["cylinder_height"] == 70.0
