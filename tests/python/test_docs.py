"""The docs as a reader meets them: a short front page that links every page, links
that lead somewhere, and the front page's example outputs as the programs print them."""
import os
import re
import subprocess

from conftest import BUILD, SOURCE

README = SOURCE / "README.md"


def links(path):
    return re.findall(r"\]\(([^)#\s]+)(?:#[^)]*)?\)", path.read_text(encoding="utf-8"))


def test_front_page_is_short_and_every_link_leads_to_a_file():
    assert len(README.read_bytes()) < 8 * 1024
    pages = sorted((SOURCE / "docs").glob("*.md"))
    assert pages
    linked = {(README.parent / l).resolve() for l in links(README) if not l.startswith("http")}
    assert {p.resolve() for p in pages} <= linked
    for doc in [README] + pages:
        for l in links(doc):
            if not l.startswith("http"):
                assert (doc.parent / l).exists(), "%s links to missing %s" % (doc.name, l)


def front_page():
    """The README up to its first section past the examples (the page a new user reads)."""
    text = README.read_text(encoding="utf-8")
    return text[:text.index("\n## The hands")]


def blocks(language):
    return re.findall(r"```%s\n(.*?)```" % language, front_page(), re.S)


def commands(block):
    """The commands of a shell block, each with the '# ' lines that follow it (what it prints)."""
    out = []
    for line in block.splitlines():
        if line.startswith("# ") and out:
            out[-1][1].append(line[2:])
        elif line.strip():
            out.append((line.split("#")[0].strip() if line.startswith("make") else line, []))
    return out


def test_front_page_runs_in_order_after_make_run(tmp_path):
    """The front page as a new user follows it: `make run` first, then every example in the
    order written, each printing what the page says it prints."""
    first = commands(blocks("sh")[0])
    assert [c for c, _ in first][:2] == ["make run", "make test"]
    # `make run` builds the programs target before it starts the window ...
    dry = subprocess.run(["make", "-n", "run", "BUILD=" + str(BUILD)], cwd=SOURCE,
                         capture_output=True, text=True, check=True).stdout
    build_line = next(l for l in dry.splitlines() if "--target" in l)
    assert build_line.split("--target")[1].split() == ["programs"]
    assert dry.index(build_line) < dry.index("/rollgrasp --no-wait")
    # ... and that target holds every program the examples run, and the module they import
    cmake = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    built = set()
    for deps in re.findall(r"add_dependencies\(programs ([^)]*)\)", cmake):
        built |= set(deps.split())
    examples = [c for b in blocks("sh")[1:] for c in commands(b)]
    used = {m for c, _ in examples for m in re.findall(r"\./build/([\w-]+)", c)}
    assert used and used <= built, "make run does not build %s" % (used - built)
    assert "rollgrasp_py" in built and blocks("python")

    # every example, in order, from a folder where build/ is the build tree
    (tmp_path / "build").symlink_to(BUILD)
    for command, printed in examples:
        p = subprocess.run(["bash", "-c", command], cwd=tmp_path, capture_output=True, text=True,
                           stdin=subprocess.DEVNULL, timeout=300)
        assert p.returncode == 0, "%s: %s" % (command, p.stderr[-500:])
        if printed:
            assert p.stderr.strip().splitlines()[-len(printed):] == printed, command
    assert re.search(r"PYTHONPATH=build/python /usr/bin/python3", front_page())
    for block in blocks("python"):
        p = subprocess.run(["/usr/bin/python3", "-c", block], cwd=tmp_path, capture_output=True,
                           text=True, env=dict(os.environ, PYTHONPATH="build/python"),
                           stdin=subprocess.DEVNULL, timeout=300)
        assert p.returncode == 0, p.stderr[-500:]
        want = [l[2:] for l in block.splitlines() if l.startswith("# ")]
        assert p.stdout.strip().splitlines() == want


def test_usage_blocks_name_every_option_the_programs_take():
    """The usage of docs/window.md and docs/batch.md names the options each program's --help
    names, no more and no fewer."""
    for exe, page in [("rollgrasp", "window.md"), ("rollgrasp-batch", "batch.md")]:
        p = subprocess.run([str(BUILD / exe), "--help"], capture_output=True, text=True,
                           stdin=subprocess.DEVNULL, env=dict(os.environ, DISPLAY=""))
        assert p.returncode == 0, p.stderr
        usage = (p.stdout + p.stderr).split("\n\n")[0].split("\nRuns ")[0]
        text = (SOURCE / "docs" / page).read_text(encoding="utf-8")
        doc = next(b for b in re.findall(r"```sh\n(.*?)```", text, re.S)
                   if b.startswith(exe + " ["))
        def options(s):
            return set(re.findall(r"--[a-z][a-z-]*", s)) - {"--help"}
        assert options(usage) and options(doc) == options(usage), page
