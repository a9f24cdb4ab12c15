#!/usr/bin/python3
"""A picture of a replay page (rollgrasp-batch --html) as headless Chromium draws
it: the page at a stored row, once the viewer reports that row drawn.

usage: page_screenshot.py PAGE.html OUT.png [--row N] [--size 1000x640]
"""
import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from headless_chromium import Chromium  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("page")
    ap.add_argument("out")
    ap.add_argument("--row", type=int, default=None, help="stored row (default: the last)")
    ap.add_argument("--size", default="1000x640")
    args = ap.parse_args()
    w, h = (int(v) for v in args.size.lower().split("x"))
    with Chromium(width=w, height=h) as c:
        c.open(Path(args.page).resolve().as_uri())
        rows = c.evaluate("window.rgViewer.ready.then(v => v.rows)")
        row = rows - 1 if args.row is None else args.row
        c.evaluate("window.rgViewer.setRow(%d)" % row)
        Path(args.out).write_bytes(c.screenshot())
    print("%s: row %d of %d" % (args.out, row, rows - 1))


if __name__ == "__main__":
    main()
