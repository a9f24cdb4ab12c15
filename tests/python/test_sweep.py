"""The sweep on a local Dask cluster gives the per-cell results of running the
same cells one after the other in this process."""
import csv

import sweep
from conftest import BUILD, SOURCE
import rollgrasp


def test_grid_on_two_local_workers_equals_the_cells_run_in_process(tmp_path):
    args = ["--grid", "2x2", "--spacing", "5", "--velocities", "Q", "--workers", "2",
            "--build", str(BUILD), "--csv", str(tmp_path / "s.csv"), "--png", str(tmp_path / "s.png")]
    assert sweep.main(args) == 0
    with open(tmp_path / "s.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert len(rows) == 4

    cells = sweep.grid(2, 2, ["Q"], hand=1, spacing=5)
    assert sorted((c[1], c[2]) for c in cells) == [(-5, -5), (-5, 0), (0, -5), (0, 0)]
    local = sweep.run_grid(cells)
    for row, want in zip(rows, local):
        assert row == {k: ("" if want[k] is None else str(want[k])) for k in sweep.FIELDS}
        assert want["steps"] > 0 and want["status"] != "Y"
    # the start pose matters: the cells do not all end alike
    assert len({(r["steps"], r["rolled_deg"]) for r in local}) == 4
    png = (tmp_path / "s.png").read_bytes()
    assert png[:8] == b"\x89PNG\r\n\x1a\n"


def test_a_cell_is_the_keys_of_the_default_run():
    # the default scene's run ends as its manipulation reference run does
    end = (SOURCE / "tests" / "solver-reference" / "default-hand1.csv").read_text().split("\n")[0].split()
    r = sweep.run_cell((1, 0, 0, ""))
    assert (r["status"], r["steps"]) == (end[0].strip('"'), int(end[1]))
    # the grasp quality along the run: never better than at the grasp, never below zero
    grasp = rollgrasp.Sim()
    grasp.press("Gss")
    eps0 = grasp.state()["quality"]["epsilon"]
    assert eps0 > 0 and 0 <= r["worst_epsilon"] <= eps0
    assert sweep.cell_keys(3, -2, 1, "xQ") == "H3MppRVxQ"


def test_an_existing_cluster_given_by_its_scheduler_address(tmp_path):
    from distributed import LocalCluster

    sweep.use_build(BUILD)  # the cluster's workers find the module through PYTHONPATH
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster:
        args = ["--grid", "1x2", "--spacing", "4", "--velocities", "Q",
                "--scheduler", cluster.scheduler_address, "--build", str(BUILD),
                "--csv", str(tmp_path / "s.csv"), "--png", str(tmp_path / "s.png")]
        assert sweep.main(args) == 0
        assert len(cluster.scheduler.workers) == 2  # the sweep left the cluster running
    with open(tmp_path / "s.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    want = sweep.run_grid(sweep.grid(1, 2, ["Q"], hand=1, spacing=4))
    assert len(rows) == 2
    assert [(r["turn_z"], r["steps"], r["status"]) for r in rows] == \
        [(str(w["turn_z"]), str(w["steps"]), w["status"]) for w in want]


def test_argument_errors_are_one_line_with_status_2_and_leave_nothing(tmp_path, capsys):
    import pytest
    outputs = ["--csv", str(tmp_path / "s.csv"), "--png", str(tmp_path / "s.png")]
    for bad, names in [(["--grid", "3"], "--grid"), (["--grid", "0x0"], "--grid"),
                       (["--velocities", ",k"], "--velocities"), (["--spacing", "0"], "--spacing"),
                       (["--build", str(tmp_path / "none")], "--build")]:
        build = [] if "--build" in bad else ["--build", str(BUILD)]
        assert sweep.main(bad + build + outputs) == 2, bad
        err = capsys.readouterr().err
        assert err.count("\n") == 1 and names in err, err
    assert list(tmp_path.iterdir()) == []
    with pytest.raises(SystemExit) as e:  # argparse's own refusals keep its status 2
        sweep.main(["--workers", "two"])
    assert e.value.code == 2


def test_the_committed_sweep_table_has_the_columns_the_sweep_writes():
    with open(SOURCE / "docs" / "sweep.csv", newline="") as f:
        header = next(csv.reader(f))
    assert header == list(sweep.FIELDS)
