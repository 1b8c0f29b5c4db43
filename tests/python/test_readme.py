"""The README's quick start runs as written: every line of its block, from
the repository, with the case made in a scratch home directory."""
import os
import re
import subprocess

import pytest

from conftest import BUILD, REPO

MARKER = "<!-- quick start: tests/python/test_readme.py runs every line of this block -->"


def quick_start():
    text = (REPO / "README.md").read_text()
    assert MARKER in text, "the README's quick start has lost its marker"
    block = re.search(re.escape(MARKER) + r"\n```sh\n(.*?)```", text, re.S)
    assert block, "no sh block after the quick start's marker"
    return block.group(1)


def test_the_quick_start_is_short():
    assert len(quick_start().splitlines()) <= 15


def test_the_quick_start_runs(tmp_path):
    script = quick_start()
    if BUILD.resolve() != (REPO / "build").resolve():
        # The suite's own build directory in place of the repository's.
        script = script.replace("-B build", f"-B {BUILD}").replace("--build build", f"--build {BUILD}")
        script = script.replace("$up/build/", f"{BUILD}/")
    env = dict(os.environ, HOME=str(tmp_path))
    done = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", script], cwd=REPO, env=env,
                          capture_output=True, text=True, timeout=1200)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]
    case = tmp_path / "mycase"
    for name in ("deck.in", "binary_ice_gnu.dat", "phiw_binary_patchy.dat", "frequency_sweep.dat",
                 "sweep_summary.txt", "frequency_sweep.png"):
        assert (case / name).exists(), f"the quick start left no {name}"
    assert "upscale_maps: wrote phiw_binary_patchy.dat" in done.stdout
    # The Python lines print the three columns, the frequencies from 0.01 Hz.
    assert re.search(r"\[\s*(1\.0*e-02|0\.01)", done.stdout), done.stdout[-2000:]
    assert "warning" not in done.stderr, done.stderr
