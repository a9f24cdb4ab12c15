"""The reachability maps: seeded and budgeted, so the same grid gives the same CSV
byte for byte, in this process and on Dask workers alike; every configuration's
files under one name; bad options refused in one line with nothing written; the
committed maps complete."""
import csv

import pytest

import reach
from conftest import BUILD, SOURCE

# a goal met already, two the straight command reaches and one no plan reaches
SMALL = ["--rx=0:20:20", "--rz=0:15:15", "--plan-steps", "3000", "--build", str(BUILD)]


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_the_same_seed_gives_the_same_csv_here_and_on_two_workers(tmp_path):
    runs = []
    for n, workers in enumerate(["0", "0", "2"]):
        out = tmp_path / str(n)
        out.mkdir()
        assert reach.main(SMALL + ["--workers", workers, "--out-dir", str(out)]) == 0
        runs.append((out / "reach-hand1-cylinder.csv").read_bytes())
        assert (out / "reach-hand1-cylinder.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert runs[0] == runs[1] == runs[2]
    cells = rows(tmp_path / "0" / "reach-hand1-cylinder.csv")
    assert list(cells[0]) == reach.FIELDS
    assert [(c["rx"], c["rz"]) for c in cells] == [("0.0", "0.0"), ("0.0", "15.0"),
                                                   ("20.0", "0.0"), ("20.0", "15.0")]
    for c in cells:
        assert all(c[k] != "" for k in reach.FIELDS if k not in ("reason", "found_by")), c
        assert (c["seed"], c["plan_steps"]) == ("23", "3000")
        assert (c["reached"] == "True") == (c["reason"] == "")
        assert int(c["steps_tried"]) <= 3000 + 400  # the budget, and the extension under way
    assert [c["reached"] for c in cells] == ["True", "True", "False", "False"]
    assert cells[1]["found_by"] == "straight"


def test_all_maps_every_hand_on_both_works_and_redraws_them_from_their_csvs(tmp_path):
    args = ["--all", "--rx=0:0:5", "--rz=0:0:5", "--workers", "0", "--build", str(BUILD),
            "--out-dir", str(tmp_path)]
    assert reach.main(args) == 0
    names = {p.name for p in tmp_path.iterdir()}
    stems = {"reach-hand%d-%s" % (h, w) for h in reach.HANDS for w in reach.WORKS}
    assert names == {s + e for s in stems for e in (".csv", ".png")} | {"reach-all.png"}
    for h in reach.HANDS:
        for w in reach.WORKS:
            (cell,) = rows(tmp_path / ("reach-hand%d-%s.csv" % (h, w)))
            assert (cell["hand"], cell["work"], cell["reached"]) == (str(h), w, "True")
            # no budget named: the planner's, 60000 finger solves over the hand's fingers
            assert cell["plan_steps"] == {1: "30000", 2: "20000", 3: "30000", 4: "20000"}[h]
    (tmp_path / "reach-all.png").unlink()
    assert reach.main(args + ["--from-csv"]) == 0
    assert (tmp_path / "reach-all.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # a CSV of another configuration is refused
    assert reach.main(["--hand", "2", "--from-csv", str(tmp_path / "reach-hand1-cylinder.csv"),
                       "--build", str(BUILD), "--out-dir", str(tmp_path)]) == 2


def test_bad_options_are_one_line_with_status_2_and_leave_nothing(tmp_path, capsys):
    for bad, name in [(["--rx", "1:2"], "--rx"), (["--rz=-10:10:0"], "--rz"),
                      (["--rz=10:-10:5"], "--rz"), (["--rx=0:1e9:1"], "--rx"),
                      (["--plan-steps", "0"], "--plan-steps"), (["--seed", "-1"], "--seed"),
                      (["--time-limit", "nan"], "--time-limit"), (["--workers", "-1"], "--workers"),
                      (["--all", "--csv", "x.csv"], "--all"),
                      (["--out-dir", str(tmp_path / "none")], "--out-dir"),
                      (["--build", str(tmp_path)], "--build")]:
        build = [] if "--build" in bad else ["--build", str(BUILD)]
        out = [] if "--out-dir" in bad else ["--out-dir", str(tmp_path)]
        assert reach.main(bad + build + out) == 2, bad
        err = capsys.readouterr().err
        assert err.count("\n") == 1 and name in err, err
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("hand", reach.HANDS)
@pytest.mark.parametrize("work", reach.WORKS)
def test_the_committed_maps_have_every_cell_and_column(hand, work):
    stem = SOURCE / "docs" / ("reach-hand%d-%s" % (hand, work))
    cells = rows(stem.with_suffix(".csv"))
    assert list(cells[0]) == reach.FIELDS
    grid = {(float(c["rx"]), float(c["rz"])) for c in cells}
    assert len(grid) == len(cells) == len({g[0] for g in grid}) * len({g[1] for g in grid})
    assert {(c["hand"], c["work"]) for c in cells} == {(str(hand), work)}
    assert stem.with_suffix(".png").stat().st_size > 0
