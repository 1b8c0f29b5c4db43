"""The README's figures cannot go stale: a few rows of the data stored
beside each figure (examples/make_figures.sh) are recomputed by the
current programs and must agree.  A change of default or of physics that
moves a figure fails here until make_figures.sh is run again."""
import re
import shutil

import numpy as np
import pytest

import upscale_tables as ut
from conftest import REPO, program, run

FIGURES = REPO / "examples" / "figures"
SWEEP_FIGURES = sorted(p.parent.name for p in FIGURES.glob("*/run.txt")
                       if p.read_text().startswith("example "))
TABLES = ("frequency_sweep.dat", "effective_stiffness.dat", "angle_sweep.dat", "sweep_limits.dat")


def run_file(figure):
    return dict(line.split(" ", 1) for line in (FIGURES / figure / "run.txt").read_text().splitlines())


def with_grid(deck_text, fmin, fmax, nfreq):
    """The deck with its first three lines (the frequency grid) replaced,
    each keeping its comment."""
    lines = deck_text.splitlines(keepends=True)
    for i, value in enumerate((fmin, fmax, nfreq)):
        lines[i] = f"{value:<20}" + lines[i][20:]
    return "".join(lines)


def assert_rows_agree(stored, fresh, what):
    """Every column of the stored rows against the fresh ones: numbers to
    1e-9 relative (the same computation), words exactly."""
    assert stored.dtype.names == fresh.dtype.names, f"{what}: the columns changed"
    for name in stored.dtype.names:
        if stored[name].dtype.kind in "fi":
            np.testing.assert_allclose(fresh[name], stored[name], rtol=1e-9, atol=0,
                                       err_msg=f"{what}: column {name} moved; redraw with examples/make_figures.sh")
        else:
            assert list(fresh[name]) == list(stored[name]), f"{what}: column {name}"


def test_every_figure_of_the_readme_is_made_by_make_figures():
    readme = (REPO / "README.md").read_text()
    shown = set(re.findall(r"\]\((examples/[^)]+\.png)\)", readme))
    made = {f"examples/figures/{p.stem}.png" for p in FIGURES.glob("*.png")} | {"examples/size_study.png"}
    assert shown and shown <= made, f"figures of the README that make_figures.sh does not make: {shown - made}"
    for png in made:
        assert (REPO / png).exists(), png
    for figure in FIGURES.glob("*.png"):
        assert (FIGURES / figure.stem / "run.txt").exists(), f"{figure.name} has no data beside it"


@pytest.mark.parametrize("figure", SWEEP_FIGURES)
def test_first_and_last_rows_of_each_sweep_figure_are_recomputed(tmp_path, figure):
    stored_dir = FIGURES / figure
    how = run_file(figure)
    sweep = ut.read_table(stored_dir / "frequency_sweep.dat").data
    first, last = sweep["frequency_Hz"][0], sweep["frequency_Hz"][-1]
    for item in (REPO / "examples" / how["example"]).iterdir():
        shutil.copy(item, tmp_path)
    deck = tmp_path / "deck.in"
    deck.write_text(with_grid(deck.read_text(), repr(float(first)), repr(float(last)), 2))
    done = run([program("upscale_sweep"), *how["options"].split()], tmp_path, "deck.in")
    assert done.returncode == 0, done.stderr
    for table in TABLES:
        if not (stored_dir / table).exists():
            assert not (tmp_path / table).exists(), f"{figure}: the programs now write {table}"
            continue
        stored = ut.read_table(stored_dir / table).data
        fresh = ut.read_table(tmp_path / table).data
        if "frequency_Hz" in stored.dtype.names:
            stored = stored[np.isin(stored["frequency_Hz"], [first, last])]
        assert_rows_agree(stored, fresh, f"{figure}, {table}")


def test_two_realisations_of_the_study_figure_are_recomputed(tmp_path):
    stored_dir = FIGURES / "study_curves_permafrost"
    stored_plan = dict(line.split(" ", 1) for line in (stored_dir / "study_plan").read_text().splitlines())
    source = REPO / run_file("study_curves_permafrost")["study"]
    shutil.copytree(source.parent, tmp_path / "study_case")
    study = tmp_path / "study_case" / source.name
    first_table = ut.read_table(stored_dir / "r0001_frequency_sweep.dat").data
    first, last = first_table["frequency_Hz"][0], first_table["frequency_Hz"][-1]
    text = study.read_text()
    for key, value in (("realisations", "2"), ("fmin", repr(float(first))), ("fmax", repr(float(last))),
                       ("nfreq", "2")):
        text, count = re.subn(rf"^{key}\s*=.*$", f"{key} = {value}", text, flags=re.M)
        assert count == 1, f"{source}: no line {key} = ..."
    study.write_text(text)
    done = run([program("upscale_study"), str(study), "-j", "2"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
    output = tmp_path / "study_case" / "study"
    plan = dict(line.split(" ", 1) for line in (output / "study_plan").read_text().splitlines())
    for key in ("modulus", "load"):
        assert plan[key] == stored_plan[key], f"the study's {key} changed; redraw with examples/make_figures.sh"
    summary = ut.read_table(stored_dir / "study_summary.dat").data
    assert int(summary["n"][0]) == int(stored_plan["realisations"])
    for r in ("r0001", "r0002"):
        stored = ut.read_table(stored_dir / f"{r}_frequency_sweep.dat").data
        stored = stored[np.isin(stored["frequency_Hz"], [first, last])]
        assert_rows_agree(stored, ut.read_table(output / r / "frequency_sweep.dat").data, f"study, {r}")


def test_the_smallest_sample_of_the_size_study_is_recomputed(tmp_path):
    """The 3 x 3 cells (0.1 m) row of size_study.dat under periodic sides,
    at its first and last frequencies: its own 32 realisations again."""
    stored = ut.read_table(REPO / "examples" / "size_study.dat").data
    rows = stored[(stored["test"] == "periodic") & (stored["side_m"] == 0.1)]
    first, last = rows["frequency_Hz"][0], rows["frequency_Hz"][-1]
    script = (REPO / "examples" / "size_study.sh").read_text()
    study_text = re.search(r"<<STUDY\n(.*?)STUDY\n", script, re.S).group(1)
    study_text = study_text.replace("$load", "periodic")
    for key, value in (("fmin", repr(float(first))), ("fmax", repr(float(last))), ("nfreq", "2")):
        study_text = re.sub(rf"^{key}\s*=.*$", f"{key} = {value}", study_text, flags=re.M)
    case = tmp_path / "case"
    case.mkdir()
    lines = (REPO / "examples" / "study_permafrost" / "case" / "deck.in").read_text().splitlines(keepends=True)
    for number, value in ((4, "0.1"), (5, "3"), (6, "3"), (10, "3")):
        lines[number - 1] = f"{value:<20}" + lines[number - 1][20:]
    (case / "deck.in").write_text("".join(lines))
    (tmp_path / "study.txt").write_text(study_text)
    done = run([program("upscale_study"), str(tmp_path / "study.txt"), "-j", "2"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
    fresh = ut.read_table(tmp_path / "study" / "study_summary.dat").data
    chosen = rows[np.isin(rows["frequency_Hz"], [first, last])]
    # The stored table rounds the means to 10 and 6 significant digits.
    np.testing.assert_allclose(fresh["velocity_mean_m_per_s"], chosen["velocity_mean_m_per_s"], rtol=1e-9)
    np.testing.assert_allclose(fresh["thousand_over_Q_mean"], chosen["thousand_over_Q_mean"], rtol=1e-5)
