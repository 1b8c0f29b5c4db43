"""Shared fixtures of the Python tests: the repository, the built programs
(UPSCALE_BUILD, default build/) and small cases made by make_deck.py."""
import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("UPSCALE_BUILD", REPO / "build"))
sys.path.insert(0, str(REPO / "python"))


def program(name):
    path = BUILD / name
    if not path.exists():
        pytest.fail(f"{path} is not built (cmake --build build --target {name})")
    return str(path)


def run(args, cwd, stdin_file=None, check=True):
    """Runs a program in `cwd`; returns the CompletedProcess."""
    with open(Path(cwd) / stdin_file if stdin_file else os.devnull) as source:
        done = subprocess.run(args, cwd=cwd, stdin=source, capture_output=True, text=True)
    if check and done.returncode not in (0, 40):
        pytest.fail(f"{' '.join(map(str, args))} ended with {done.returncode}:\n{done.stdout[-2000:]}\n{done.stderr}")
    return done


def make_deck(directory, *options):
    return subprocess.run([sys.executable, str(REPO / "examples" / "make_deck.py"), str(directory), *options],
                          capture_output=True, text=True)


@pytest.fixture(scope="session")
def strata_sweep(tmp_path_factory):
    """A periodic sweep with --tensor of a small layered (strata) sample:
    its directory, with the summary kept in sweep_summary.txt."""
    case = tmp_path_factory.mktemp("tables") / "strata"
    made = make_deck(case, "--layout", "strata", "--nx", "4", "--ny", "8", "--rows", "2", "2",
                     "--fmin", "0.1", "--fmax", "100", "--nfreq", "3")
    assert made.returncode == 0, made.stderr
    done = run([program("upscale_sweep"), "--tensor", "--angle-step", "45"], case, "deck.in")
    (case / "sweep_summary.txt").write_text(done.stdout)
    return case


@pytest.fixture(scope="session")
def patchy_run(tmp_path_factory):
    """upscale on a small patchy permafrost deck: its directory."""
    case = tmp_path_factory.mktemp("tables") / "patchy"
    made = make_deck(case, "--layout", "patchy", "--nx", "6", "--ny", "4", "--rows", "1", "1")
    assert made.returncode == 0, made.stderr
    done = run([program("upscale")], case, "deck.in")
    assert done.returncode == 40, done.stdout[-2000:]
    (case / "echo.txt").write_text(done.stdout)
    return case
