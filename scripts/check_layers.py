#!/usr/bin/env python3
"""Fails when a source file includes a file of a higher layer.

The layers, lowest first; a folder may include itself and any folder of a lower
layer, never one of its own layer's neighbours or above:
    numerics -> quality -> core -> hand, work -> interference -> record -> grasp, manip
    -> plan -> app -> render (the only code with GL) -> batch, python, main
"""
import re
import sys
from pathlib import Path

LAYERS = [
    ["numerics"],
    ["quality"],
    ["core"],
    ["hand", "work"],
    ["interference"],
    ["record"],
    ["grasp", "manip"],
    ["plan"],
    ["app"],
    ["render"],
    ["batch", "python", "main"],
]
RANK = {name: i for i, names in enumerate(LAYERS) for name in names}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, src):
    rel = path.relative_to(src)
    return rel.parts[0] if len(rel.parts) > 1 else "main"


def main():
    src = Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    files = sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp"))
    if not files:
        print(f"no sources under {src}")
        return 1
    bad = []
    for f in files:
        own = folder_of(f, src)
        if own not in RANK:
            bad.append(f"{f}: folder '{own}' has no layer")
            continue
        for inc in INCLUDE.findall(f.read_text(encoding="utf-8")):
            parts = inc.split("/")
            if len(parts) < 2:
                continue  # a header beside the file
            other = parts[0]
            if other not in RANK:
                bad.append(f"{f}: includes '{inc}' from a folder with no layer")
            elif other != own and RANK[other] >= RANK[own]:
                bad.append(f"{f}: includes '{inc}' ({other} is not below {own})")
    for line in bad:
        print(line)
    print(f"{len(files)} files checked, {len(bad)} includes against the layers")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
