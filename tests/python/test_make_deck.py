"""make_deck.py: the bundled examples come out of it byte for byte, any ny
makes a deck the program runs, and every bad option ends in one line on
standard error, status 2 and no folder."""
import subprocess
import sys

import pytest

from conftest import REPO, make_deck, program, run

EXAMPLES = REPO / "examples"


@pytest.mark.parametrize("example, options", [
    ("permafrost_layered", ["--model", "permafrost", "--layout", "layered", "--nx", "60", "--ny", "60"]),
    ("permafrost_strata", ["--model", "permafrost", "--layout", "strata", "--nx", "60", "--ny", "60"]),
    ("permafrost_patchy", ["--model", "permafrost", "--layout", "patchy"]),
    ("shaley_layered", ["--model", "shaley", "--layout", "layered"]),
    ("shaley_patchy", ["--model", "shaley", "--layout", "patchy"]),
])
def test_bundled_examples_are_made_by_it(tmp_path, example, options):
    made = make_deck(tmp_path / example, *options)
    assert made.returncode == 0, made.stderr
    for bundled in (EXAMPLES / example).iterdir():
        assert (tmp_path / example / bundled.name).read_bytes() == bundled.read_bytes(), \
            f"{bundled.name} of {example} differs from what make_deck.py writes"
    assert sorted(p.name for p in (tmp_path / example).iterdir()) == \
        sorted(p.name for p in (EXAMPLES / example).iterdir())


@pytest.mark.parametrize("ny, rows", [(7, [3, 4]), (30, [7, 8]), (40, [10, 10]), (12, [6, 6])])
def test_any_ny_gets_a_period_that_divides_it(tmp_path, ny, rows):
    made = make_deck(tmp_path / "c", "--ny", str(ny), "--nx", "3")
    assert made.returncode == 0, made.stderr
    deck = (tmp_path / "c" / "deck.in").read_text().splitlines()
    nl = [int(line.split()[0]) for line in deck if line.split()[-1].startswith("nl(")]
    assert nl == rows


def test_a_deck_of_an_odd_height_runs_to_its_normal_end(tmp_path):
    made = make_deck(tmp_path / "c", "--layout", "patchy", "--nx", "3", "--ny", "7", "--size", "0.5")
    assert made.returncode == 0, made.stderr
    done = run([program("upscale")], tmp_path / "c", "deck.in")
    assert done.returncode == 40, done.stdout[-1500:]
    assert "warning" not in done.stderr, done.stderr


@pytest.mark.parametrize("args, words", [
    (["mycase80", "0", "80", "80", "patchy"], "unrecognized arguments: 0 80 80 patchy"),
    (["c", "--model", "granite"], "--model: invalid choice: 'granite'"),
    (["c", "--nx", "ten"], "--nx: invalid int value: 'ten'"),
    (["c", "--nx", "0"], "--nx 0 --ny 40: a sample has at least one cell"),
    (["c", "--ny", "30", "--rows", "10", "10"], "a period of 20 rows does not divide --ny 30"),
    (["c", "--types", "1", "--rows", "5", "5"], "give one number per layer type (1)"),
    (["c", "--layout", "patchy", "--types", "1"], "phiw_binary_patchy.dat would never be used"),
    (["c", "--fmin", "10", "--fmax", "1"], "0 < fmin <= fmax"),
    (["c", "--nfreq", "0"], "at least one frequency"),
    (["c", "--size", "-1"], "must be positive"),
    (["c", "--ny", "1"], "two layer types need at least two rows"),
    (["no/such/parent/c"], "does not exist"),
    ([], "the following arguments are required: directory"),
])
def test_bad_options_end_in_one_line_and_no_folder(tmp_path, args, words):
    done = subprocess.run([sys.executable, str(EXAMPLES / "make_deck.py"), *args], cwd=tmp_path,
                          capture_output=True, text=True)
    assert done.returncode == 2
    assert done.stdout == ""
    assert done.stderr.count("\n") == 1, done.stderr
    assert done.stderr.startswith("make_deck.py: ") and words in done.stderr, done.stderr
    assert "Traceback" not in done.stderr
    assert list(tmp_path.iterdir()) == [], "a refused case leaves nothing behind"


def test_an_existing_case_is_kept_unless_forced(tmp_path):
    assert make_deck(tmp_path / "c", "--nx", "3").returncode == 0
    before = (tmp_path / "c" / "deck.in").read_text()
    again = make_deck(tmp_path / "c", "--nx", "5")
    assert again.returncode == 2 and "exists and is not empty" in again.stderr
    assert (tmp_path / "c" / "deck.in").read_text() == before
    forced = make_deck(tmp_path / "c", "--nx", "5", "--force")
    assert forced.returncode == 0 and "5                   nx" in (tmp_path / "c" / "deck.in").read_text()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["c"], "no staging folder left"


def test_help_documents_the_layouts():
    done = subprocess.run([sys.executable, str(EXAMPLES / "make_deck.py"), "--help"], capture_output=True, text=True)
    assert done.returncode == 0
    for word in ("--model", "--layout", "--rows", "--size", "--fmin", "--nfreq", "strata", "patchy", "layered"):
        assert word in done.stdout
