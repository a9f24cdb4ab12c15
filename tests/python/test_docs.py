"""The docs as a reader meets them: a short front page that links every page, links
that lead somewhere, and the front page's example outputs as the programs print them."""
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


def example_output(fence_language, after):
    """The '# ' comment line that follows the line containing `after` in a fenced block."""
    text = README.read_text(encoding="utf-8")
    for block in re.findall(r"```%s\n(.*?)```" % fence_language, text, re.S):
        lines = block.splitlines()
        for i, line in enumerate(lines):
            if after in line and i + 1 < len(lines) and lines[i + 1].startswith("# "):
                return line, lines[i + 1][2:]
    raise AssertionError("no example with %r in the README" % after)


def test_front_page_examples_print_what_they_say(tmp_path):
    _, want = example_output("sh", "rollgrasp-batch --summary")
    keys = "GssA" + "s" * 400
    p = subprocess.run([str(BUILD / "rollgrasp-batch"), "--summary", keys], cwd=tmp_path,
                       capture_output=True, text=True, check=True, stdin=subprocess.DEVNULL)
    assert p.stderr.strip().splitlines()[-1] == want

    _, want = example_output("python", "print(result.status")
    import rollgrasp
    sim = rollgrasp.Sim(hand=2, work="cylinder")
    sim.set_velocity(linear=(0, 0, 0), angular=(0, 0, 0.013))
    sim.grasp()
    result = sim.run()
    assert "%s %d %s" % (result.status, result.steps, result.message) == want
