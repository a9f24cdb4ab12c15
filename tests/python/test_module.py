"""The Python module against the batch driver: the same keys give the same
state, trajectory and console text; Sims share nothing; snapshots need a display."""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import threading
from pathlib import Path

import numpy as np
import pytest

import rollgrasp
from conftest import BUILD, SOURCE

DEFAULT_RUN = "GssA" + "s" * 60
# runs that reach the console waits, hand and work changes, view keys, bytes above 127
KEY_SEQUENCES = [
    b"",
    b"H2MXJ23pIp",
    DEFAULT_RUN.encode(),
    b"H2VQGsssA" + b"s" * 140 + b"D" + b"s" * 10,
    b"W1GsW2MpppGssAsssIxD\x9a\xffsG",
]


def csv_column(body, k, name):
    """Column k of the CSV rows as trajectory() gives it: numbers, or the text of the
    text columns (gait)."""
    if name in TEXT_COLUMNS:
        return np.array([r[k] for r in body], dtype="U")
    return np.array([float(r[k]) for r in body])


TEXT_COLUMNS = {"gait"}


@pytest.mark.parametrize("keys", KEY_SEQUENCES, ids=range(len(KEY_SEQUENCES)))
def test_state_trajectory_and_console_equal_the_batch_driver(run_batch, keys):
    states, csv_text, stdout = run_batch(keys)
    lines = [json.loads(l) for l in states.splitlines()]
    assert len(lines) == len(keys) + 1

    sim = rollgrasp.Sim()
    assert sim.press(keys) is False
    state = sim.state()
    assert sorted(state) == sorted(lines[-1])
    assert state == lines[-1]  # every value, doubles bit for bit
    assert [sorted(f) for f in state["fingers"]] == [sorted(f) for f in lines[-1]["fingers"]]

    rows = list(csv.reader(io.StringIO(csv_text)))
    header, body = rows[0], rows[1:]
    traj = sim.trajectory()
    assert list(traj) == header
    assert all(len(traj[c]) == len(body) for c in header)
    for k, name in enumerate(header):
        want = csv_column(body, k, name)
        assert np.array_equal(traj[name], want), name
    assert traj["row"].dtype == np.int64 and traj["t"].dtype == np.float64

    # everything printed since the start, start-up included, once
    assert sim.console() == stdout
    assert sim.console() == ""

    # the volume asked for as the driver's --state-volume asks for it; the trajectory
    # read again (each row's volume kept from the first time) is the same
    with_volume, _, _ = run_batch(keys, ["--state-volume"])
    assert sim.state(volume=True) == json.loads(with_volume.splitlines()[-1])
    again = sim.trajectory()
    assert all(np.array_equal(again[c], traj[c]) for c in header)


def test_the_state_has_the_volume_only_when_asked():
    sim = rollgrasp.Sim()
    sim.press(DEFAULT_RUN)  # step 60 is the last stored row
    plain = sim.state()
    assert "volume" in plain["quality"] and plain["quality"]["volume"] is None
    asked = sim.state(volume=True)["quality"]
    assert asked["volume"] > 0 and asked["volume"] == sim.trajectory()["volume"][-1]
    assert asked["force_closure"] == plain["quality"]["force_closure"]
    assert abs(asked["epsilon"] - plain["quality"]["epsilon"]) <= 1e-13


def test_console_returns_the_text_since_the_last_call(run_batch):
    states, _, _ = run_batch(b"GssAsss")
    per_key = [json.loads(l)["console"] for l in states.splitlines()]
    sim = rollgrasp.Sim()
    assert sim.console() == per_key[0]  # the start-up
    sim.press("Gss")
    assert sim.console() == "".join(per_key[1:4])
    sim.press(b"A")
    sim.press("ss")
    assert sim.console() == "".join(per_key[4:])


def test_time_counts_each_step_once_per_finger_and_t_once():
    sim = rollgrasp.Sim()
    sim.press("H2" + "Gsss" + "A" + "s" * 40)
    tr = sim.trajectory()
    assert sim.state()["nF"] == 3 and len(tr["t"]) == 9
    assert np.allclose(tr["time"], 3 * tr["t"], rtol=0, atol=1e-12)
    assert np.all(np.diff(tr["t"]) > 0)


def run_alone(keys):
    sim = rollgrasp.Sim()
    sim.press(keys)
    return sim.state(), sim.trajectory(), sim.console()


def same_run(a, b):
    assert a[0] == b[0]
    assert list(a[1]) == list(b[1])
    for k in a[1]:
        assert np.array_equal(a[1][k], b[1][k]), k
    assert a[2] == b[2]


def test_independent_sims_interleaved_and_in_threads_equal_separate_runs():
    keys = ["MPPrVqGssA" + "s" * 120, "H4VQxGsssA" + "s" * 90 + "Ds"]
    alone = [run_alone(k) for k in keys]
    assert alone[0][0]["HAND1"] == 1 and alone[1][0]["HAND1"] == 4
    assert alone[0][0]["cntManip0"] > 50 and alone[1][0]["cntManip0"] > 50

    sims = [rollgrasp.Sim(), rollgrasp.Sim()]
    for i in range(max(map(len, keys))):
        for s, k in zip(sims, keys):
            if i < len(k):
                s.press(k[i])
    for s, want in zip(sims, alone):
        same_run((s.state(), s.trajectory(), s.console()), want)

    # the key loop lets go of the interpreter lock: two threads run at once
    got = [None, None]

    def work(i):
        got[i] = run_alone(keys[i])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for g, want in zip(got, alone):
        same_run(g, want)


def run_script(body, timeout=120):
    """Runs body in a fresh interpreter with the module (a crash there ends only that
    process); returns the CompletedProcess."""
    import subprocess
    import sys
    script = "import sys; sys.path.insert(0, %r)\nimport rollgrasp\n" % str(
        Path(rollgrasp.__file__).parent) + body
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=timeout, stdin=subprocess.DEVNULL)


def test_one_sim_used_from_two_threads_serialises_its_calls():
    # two threads step one simulation, each also reading its console, state and
    # record: every call sees whole steps, and the steps of both add up
    p = run_script("""
import threading
sim = rollgrasp.Sim()
sim.grasp()
seen = []
def worker():
    for _ in range(60):
        sim.step(1)
        sim.console()
        st = sim.state()
        seen.append((st["cntManip0"], len(sim.trajectory()["row"])))
threads = [threading.Thread(target=worker) for _ in range(2)]
for t in threads: t.start()
for t in threads: t.join()
assert sim.state()["cntManip0"] == 120, sim.state()["cntManip0"]
assert all(rows >= n // 5 + 1 for n, rows in seen), seen
print("ok", len(seen))
""")
    assert p.returncode == 0, p.stderr[-2000:]
    assert p.stdout.startswith("ok 120")


def test_ctrl_c_stops_a_plan_and_leaves_the_simulation_as_it_was():
    # a goal out of reach with an hour and ten million steps to plan: Ctrl-C (here sent by a timer thread)
    # ends it with KeyboardInterrupt; the plan's outcome says it was stopped
    p = run_script("""
import os, signal, threading, time
for delay in (1, 3, 10):
    sim = rollgrasp.Sim()
    sim.grasp()
    before = sim.state()
    threading.Timer(delay, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
    try:
        sim.plan("0,0,90", time_limit=3600, max_steps=10000000)
        raise SystemExit("the plan ended before Ctrl-C")
    except KeyboardInterrupt:
        pass
    plan = sim.state()["plan"]
    if not plan["planned"]:
        continue  # Ctrl-C came before the plan began: again, with the timer later
    assert plan["reason"] == "planning stopped", plan
    after = sim.state()
    assert after["cntManip0"] == before["cntManip0"] and after["fingers"] == before["fingers"]
    print("stopped")
    break
""", timeout=120)
    assert p.returncode == 0, p.stderr[-2000:]
    assert p.stdout.strip() == "stopped"


def test_press_takes_str_or_bytes_and_stops_at_the_end_of_the_run():
    a, b = rollgrasp.Sim(), rollgrasp.Sim()
    a.press("MX\u00ff")
    b.press(b"MX\xff")
    assert a.state() == b.state() and a.state()["key"] == "\u00ff"
    with pytest.raises(ValueError):
        a.press("\u0100")
    with pytest.raises(TypeError):
        a.press(7)
    assert a.press("I\x1bX") is True  # Escape in mode I ends the run; X is not pressed
    assert a.ended and a.state()["key"] == "\x1b"
    with pytest.raises(RuntimeError):
        a.press("x")


def test_snapshot_without_a_display_raises_and_writes_nothing(tmp_path, monkeypatch):
    monkeypatch.delenv("DISPLAY", raising=False)
    sim = rollgrasp.Sim()
    out = tmp_path / "frame.png"
    with pytest.raises(RuntimeError, match="display"):
        sim.snapshot(str(out))
    with pytest.raises(ValueError, match="hlep"):
        sim.snapshot(str(out), hide="hlep")
    assert not out.exists()
    sim.press("Gss")  # the simulation goes on
    assert sim.state()["sgnCALGEnd"] == "Y"


def test_snapshot_on_a_display_is_the_batch_snapshot(batch_exe, tmp_path):
    xvfb = shutil.which("xvfb-run")
    assert xvfb, "xvfb-run is needed (scripts/install-deps.sh installs it)"
    # the window's start-up view, and a picture for a paper: what the batch
    # driver's options give, the Python keywords give
    views = [("", ""), ("show='info', hide='help,contacts', zoom=1.5",
                        "--show info --hide help,contacts --zoom 1.5")]
    script = "import rollgrasp\ns = rollgrasp.Sim()\ns.press('Gss')\n"
    cmd = ""
    for i, (kw, opts) in enumerate(views):
        script += "s.snapshot(%r%s)\n" % (str(tmp_path / ("py%d.png" % i)), ", " + kw if kw else "")
        cmd += " && %s %s --snapshot %s Gss >/dev/null" % (batch_exe, opts, tmp_path / ("b%d.png" % i))
    env = dict(os.environ, PYTHONPATH=str(BUILD / "python"))
    cmd = "%s -c %s%s" % (sys.executable, _quote(script), cmd)
    subprocess.run([xvfb, "-a", "-s", "-screen 0 1024x768x24", "sh", "-c", cmd],
                   env=env, check=True, stdin=subprocess.DEVNULL, timeout=120)
    pngs = [(tmp_path / ("py%d.png" % i)).read_bytes() for i in range(len(views))]
    for i, png in enumerate(pngs):
        assert png[:8] == b"\x89PNG\r\n\x1a\n"
        assert png == (tmp_path / ("b%d.png" % i)).read_bytes()
    assert pngs[0] != pngs[1]


def _quote(s):
    return "'" + s.replace("'", "'\\''") + "'"


def test_a_hand_file_runs_as_the_batch_driver_runs_it_and_a_bad_one_is_refused(batch_exe, tmp_path):
    hand = SOURCE / "hands" / "example-4finger.urdf"
    keys = "GssssA" + "s" * 60
    csv_path = tmp_path / "traj.csv"
    subprocess.run([str(batch_exe), "--hand", str(hand), "--trajectory", str(csv_path), keys],
                   stdin=subprocess.DEVNULL, capture_output=True, check=True)
    sim = rollgrasp.Sim(hand=hand)  # a path object, or a str
    sim.press(keys)
    state = sim.state()
    assert (state["HAND1"], state["nF"], state["cntManip0"]) == (0, 4, 60)
    rows = list(csv.reader(io.StringIO(csv_path.read_text())))
    traj = sim.trajectory()
    assert list(traj) == rows[0] and len(rows) > 10
    for k, name in enumerate(rows[0]):
        assert np.array_equal(traj[name], csv_column(rows[1:], k, name)), name

    bad = SOURCE / "fuzz" / "hand-files" / "continuous-joint.urdf"
    with pytest.raises(ValueError, match=r"continuous-joint\.urdf:25: joint 'finger1_joint2': type continuous"):
        rollgrasp.Sim(hand=str(bad))
    with pytest.raises(ValueError, match="hand must be"):
        rollgrasp.Sim(hand=5)
    # an endless device is read only up to the largest hand file, a directory is named as one
    with pytest.raises(ValueError, match=r"^/dev/zero: more than 262144 bytes"):
        rollgrasp.Sim(hand="/dev/zero")
    with pytest.raises(ValueError, match=r"hands: is a directory, not a hand file$"):
        rollgrasp.Sim(hand=SOURCE / "hands")
