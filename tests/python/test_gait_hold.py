"""The subset judge of examples/gait_hold.py: a hand file cut down to some of its
fingers grasps and rolls as those fingers of the whole hand do, mounts placed by
angle are the files' own, and bad options are refused in one line with nothing
written."""
import csv

import gait_hold
from conftest import BUILD, SOURCE

GAIT = str(SOURCE / "hands" / "gait-4finger.urdf")


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def judged(tmp_path, name, *args):
    out = tmp_path / name
    assert gait_hold.main(["--build", str(BUILD), "--csv", str(out)] + list(args)) == 0
    return rows(out)


def test_the_gait_hands_subsets_along_a_run_and_its_mounts_by_angle(tmp_path):
    got = judged(tmp_path, "file.csv", "--hand", GAIT, "--work", "cylinder", "--every", "100")
    # the whole hand and its four triples at steps 0, 100, 200, 300 (the run stops
    # after 303), the six pairs at the grasp only
    assert [(r["step"], r["fingers"]) for r in got[:11]] == [("0", "1+2+3+4")] + [
        ("0", f) for f in ("1+2+3", "1+2+4", "1+3+4", "2+3+4",
                           "1+2", "1+3", "1+4", "2+3", "2+4", "3+4")]
    assert [r["step"] for r in got[11:]] == [s for s in ("100", "200", "300") for _ in range(5)]
    held = {r["fingers"]: r["force_closure"] == "True" for r in got if r["step"] == "0"}
    assert all(held[f] for f in ("1+2+3+4", "1+2+3", "1+2+4", "1+3+4", "2+3+4", "1+3", "2+4"))
    assert not held["1+2"] and not held["3+4"]  # two fingers on one rim
    # the file's mounts are where --mounts puts those angles, to the last bit
    again = judged(tmp_path, "mounts.csv", "--hand", GAIT, "--work", "cylinder", "--every", "100",
                   "--mounts=-22.5,22.5,157.5,202.5")
    assert again == got


def test_a_file_with_cylinder_mounts_and_a_three_finger_hand_are_cut_down_alike(tmp_path):
    # example-4finger turns its fingers for the cylinder (the *_mount_cylinder
    # joints), which go with their fingers; hand 2's pairs: 1+2 and 1+3 hold the
    # cylinder, 2+3 does not, and none holds the sphere
    got = judged(tmp_path, "ex.csv", "--hand", str(SOURCE / "hands" / "example-4finger.urdf"),
                 "--work", "cylinder", "--max-steps", "0")
    assert len(got) == 11
    got = judged(tmp_path, "h2.csv", "--hand", str(SOURCE / "hands" / "hand2.urdf"),
                 "--max-steps", "0")
    held = {(r["work"], r["fingers"]): r["force_closure"] == "True" for r in got}
    assert held == {("cylinder", "1+2+3"): True, ("cylinder", "1+2"): True,
                    ("cylinder", "1+3"): True, ("cylinder", "2+3"): False,
                    ("sphere", "1+2+3"): True, ("sphere", "1+2"): False,
                    ("sphere", "1+3"): False, ("sphere", "2+3"): False}


def test_bad_options_are_refused_in_one_line_and_nothing_is_written(tmp_path, capsys):
    out = tmp_path / "out.csv"
    for args, says in [
            (["--mounts", "1,2"], "--mounts needs 4 angles within +-360 degrees, not '1,2'"),
            (["--mounts=-20,20,160,200"], "its base is 23.9414 from finger 1's"),
            (["--every", "0"], "--every must be 1 to 1000 steps, not 0"),
            (["--max-steps", "4001"], "--max-steps must be 0 to 4000, not 4001"),
            (["--hand", str(SOURCE / "hands" / "hand1.urdf")],
             "2 fingers; subsets of one finger fewer need 3 or more"),
            (["--hand", str(tmp_path)], "is a directory, not a hand file")]:
        assert gait_hold.main(["--build", str(BUILD), "--csv", str(out)] + args) == 2, args
        err = capsys.readouterr().err
        assert err.startswith("gait_hold.py: ") and err.count("\n") == 1 and says in err, err
        assert not out.exists()
