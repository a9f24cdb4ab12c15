"""Finds the build tree: RG_BUILD_DIR, or build/ beside the sources. The module
rollgrasp is imported from its python/ folder; a missing module or batch driver
fails the tests rather than skipping them."""
import os
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("RG_BUILD_DIR", SOURCE / "build")).resolve()
sys.path.insert(0, str(BUILD / "python"))
sys.path.insert(0, str(SOURCE / "examples"))


@pytest.fixture(scope="session")
def batch_exe():
    exe = BUILD / "rollgrasp-batch"
    assert exe.is_file(), "no batch driver at %s; build first" % exe
    return exe


@pytest.fixture
def run_batch(batch_exe, tmp_path):
    """Runs rollgrasp-batch on the keys (bytes) with the options given; returns (state
    lines text, CSV text, stdout)."""
    def run(keys, options=()):
        kf, st, csv = tmp_path / "keys", tmp_path / "state.jsonl", tmp_path / "traj.csv"
        kf.write_bytes(keys)
        p = subprocess.run([str(batch_exe), *options, "--state", str(st), "--trajectory", str(csv),
                            "--keys-file", str(kf)], stdin=subprocess.DEVNULL,
                           capture_output=True, check=True)
        return st.read_text(encoding="utf-8"), csv.read_text(), p.stdout.decode("utf-8")
    return run
