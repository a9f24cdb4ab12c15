"""The default run's replay page in a real browser: headless Chromium (no display,
no network) opens the file, the test waits for the viewer to report ready, reads
back the rows and a row's values against the CSV, scrubs with the URL fragment and
the slider, and judges a screenshot: the work and the hand in their colours, the
contact markers where the page projects the CSV's contact points. Also: the page
from Python equals the batch driver's, and a page that cannot be written raises."""
import csv
import io
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import rollgrasp
from conftest import SOURCE

sys.path.insert(0, str(SOURCE / "scripts"))
from headless_chromium import Chromium  # noqa: E402

KEYS = "ssA" + "s" * 340  # the demo's run: grasp, then rolling until it stops


@pytest.fixture(scope="module")
def default_page(batch_exe, tmp_path_factory):
    d = tmp_path_factory.mktemp("page")
    page, traj = d / "replay.html", d / "trajectory.csv"
    subprocess.run([str(batch_exe), "--html", str(page), "--trajectory", str(traj), KEYS],
                   stdin=subprocess.DEVNULL, capture_output=True, check=True)
    rows = list(csv.DictReader(io.StringIO(traj.read_text())))
    assert len(rows) > 40
    return page, rows


@pytest.fixture(scope="module")
def browser():
    with Chromium(width=1000, height=700) as c:
        yield c


def wait_row(browser, row):
    """Resolves once the viewer has drawn row (checked every frame: no fixed wait)."""
    return browser.evaluate(
        "new Promise(r => { const t = () => window.rgViewer.row === %d ? r(%d) : "
        "requestAnimationFrame(t); t(); })" % (row, row))


def pixels(browser):
    return np.asarray(Image.open(io.BytesIO(browser.screenshot())).convert("RGB")).astype(int)


def yellow_near(img, px, radius=3):
    x, y = int(round(px[0])), int(round(px[1]))
    patch = img[y - radius:y + radius + 1, x - radius:x + radius + 1]
    return bool(((patch[..., 0] > 200) & (patch[..., 1] > 200) & (patch[..., 2] < 90)).any())


def test_default_run_page_in_headless_chromium(default_page, browser):
    page, rows = default_page
    assert page.stat().st_size < 2 * 1024 * 1024
    browser.open(page.as_uri() + "#row=40")
    info = browser.evaluate("window.rgViewer.ready.then(v => ({rows: v.rows, row: v.row, error: v.error}))")
    assert info == {"rows": len(rows), "row": 40, "error": None}

    # every joint angle of some rows, as the CSV prints them (17 digits: exact)
    for r in (0, 40, len(rows) - 1):
        values = browser.evaluate("window.rgViewer.values(%d)" % r)
        angles = [k for k in rows[r] if k.startswith("q")]
        assert len(angles) == 8
        assert [values[k] for k in angles] == [float(rows[r][k]) for k in angles]

    # scrub: the URL fragment, then the slider as a user drags it
    browser.evaluate("location.hash = '#row=12'")
    wait_row(browser, 12)
    browser.evaluate("(() => { const s = document.getElementById('rg-row'); s.value = 25; "
                     "s.dispatchEvent(new Event('input')); })()")
    wait_row(browser, 25)
    panel = browser.evaluate("['rg-rowtext', 'rg-step', 'rg-t'].map(id => document.getElementById(id).textContent)")
    assert panel == ["25 of %d" % (len(rows) - 1), rows[25]["step"], "%.3f" % float(rows[25]["t"])]

    probe = browser.evaluate("window.rgViewer.probe()")
    assert probe["row"] == 25
    img = pixels(browser)
    for m in probe["markers"]:
        f = m["finger"]
        cp = [float(rows[25]["cp%s_f%d" % (a, f)]) for a in "xyz"]
        assert m["world"] == pytest.approx(cp, abs=1e-9)
        assert yellow_near(img, m["px"]), "no yellow marker at finger %d's contact %s" % (f, m["px"])
    left, top, width, height = (int(v) for v in probe["canvas"])
    scene = img[top:top + height, left:left + width]
    # the work: pink around its drawn centre
    cx, cy = (int(round(v)) for v in probe["workCentre"]["px"])
    around = img[cy - 12:cy + 13, cx - 12:cx + 13]
    pink = (around[..., 0] > around[..., 1] + 50) & (around[..., 0] > around[..., 2] + 50)
    assert pink.mean() > 0.6
    # the hand: blue palm and joints, light blue links
    blue = (scene[..., 2] > 200) & (scene[..., 2] > scene[..., 0] + 60)
    assert blue.sum() > 3000
    # the page asked for nothing but itself and the modules made from it
    assert browser.requests and all(u.split(":")[0] in ("file", "blob", "data") for u in browser.requests)

    # the contact points' toggle hides the markers
    browser.evaluate("document.getElementById('rg-show-contacts').click()")
    browser.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
    img = pixels(browser)
    assert not any(yellow_near(img, m["px"]) for m in probe["markers"])


def test_python_page_equals_the_batch_page(default_page, tmp_path):
    sim = rollgrasp.Sim()
    sim.press(KEYS)
    sim.html(str(tmp_path / "py.html"))
    assert (tmp_path / "py.html").read_bytes() == default_page[0].read_bytes()
    with pytest.raises(RuntimeError, match="cannot write .*no/such.html"):
        sim.html(str(tmp_path / "no" / "such.html"))
    assert sorted(p.name for p in tmp_path.iterdir()) == ["py.html"]
