"""A per-cell map whose values the deck never uses is named on standard
error, with the rule, by upscale, upscale_sweep and upscale_maps; the
results and the statuses stay those of a run without the warning."""
import shutil

import pytest

from conftest import make_deck, program, run

MAPS_OPTIONS = ["--seed", "3", "--kind", "binary", "--fraction", "0.3", "--values", "0.1", "0.25",
                "--correlation", "0.2", "0.2"]


def case(directory, *options, model=None, patchy_file=False):
    """A 4 x 4 case of make_deck.py, its deck's model set by hand when
    asked (make_deck.py refuses the cases below), with a patchy map."""
    made = make_deck(directory, "--nx", "4", "--ny", "4", "--nfreq", "2", "--fmin", "1", "--fmax", "10", *options)
    assert made.returncode == 0, made.stderr
    if model is not None:
        lines = (directory / "deck.in").read_text().splitlines(keepends=True)
        lines[7] = f"{model:5d}" + lines[7][5:]
        (directory / "deck.in").write_text("".join(lines))
    if patchy_file:
        (directory / "phiw_binary_patchy.dat").write_text(
            "".join(f"{j} {k} {0.1 if (j + k) % 2 else 0.25}\n" for k in range(1, 5) for j in range(1, 5)))
    return directory


# (what, make_deck options, model set by hand, a patchy file, the words of the warning or None)
CASES = [
    ("one permafrost type, patchy", ["--types", "1"], 1, True,
     "phiw_binary_patchy.dat is read but every value is replaced by binary_ice_gnu.dat's"),
    ("shaley sand", ["--model", "shaley", "--layout", "patchy"], None, False,
     "binary_ice_gnu.dat is read but none of its values is used: this deck is of the shaley-sand model"),
    ("layered with a patchy file", ["--layout", "layered"], None, True,
     "phiw_binary_patchy.dat is never read: this deck is layered (model 0)"),
    ("patchy permafrost of two types", ["--layout", "patchy"], None, False, None),
]


@pytest.mark.parametrize("what, options, model, patchy_file, words", CASES, ids=[c[0] for c in CASES])
@pytest.mark.parametrize("name, args, status", [("upscale", [], 40), ("upscale_sweep", ["-j", "1"], 0)])
def test_programs_name_a_map_they_do_not_use(tmp_path, what, options, model, patchy_file, words, name, args, status):
    directory = case(tmp_path / "c", *options, model=model, patchy_file=patchy_file)
    done = run([program(name), *args], directory, "deck.in", check=False)
    assert done.returncode == status, done.stdout[-1500:] + done.stderr
    warnings = [line for line in done.stderr.splitlines() if "warning:" in line]
    if words is None:
        assert warnings == [], done.stderr
    else:
        assert len(warnings) == 1 and warnings[0].startswith(f"{name}: warning: ") and words in warnings[0], \
            done.stderr
        assert "(only layer-type-1 cells" in warnings[0] or "phi_layer" in warnings[0], "the rule is named"


def test_the_replaced_map_does_not_change_the_results(tmp_path):
    """The case the warning is for: two different patchy maps, one result."""
    results = []
    for values in ((0.1, 0.25), (0.05, 0.05)):
        directory = case(tmp_path / f"c{values[0]}", "--types", "1", model=1)
        (directory / "phiw_binary_patchy.dat").write_text(
            "".join(f"{j} {k} {values[(j * k) % 2]}\n" for k in range(1, 5) for j in range(1, 5)))
        assert run([program("upscale")], directory, "deck.in", check=False).returncode == 40
        results.append((directory / "work_modulus.dat").read_text())
    assert results[0] == results[1]


@pytest.mark.parametrize("options, file_option, words", [
    (["--types", "1"], "patchy", "phiw_binary_patchy.dat is read but every value is replaced"),
    (["--model", "shaley"], "ice", "binary_ice_gnu.dat is read but none of its values is used"),
    (["--layout", "patchy"], "patchy", None),
])
def test_upscale_maps_names_a_map_the_deck_will_not_use(tmp_path, options, file_option, words):
    directory = case(tmp_path / "c", *options, model=1 if options == ["--types", "1"] else None)
    (directory / "phiw_binary_patchy.dat").unlink(missing_ok=True)
    done = run([program("upscale_maps"), *MAPS_OPTIONS, "--file", file_option], directory, "deck.in", check=False)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "upscale_maps: wrote" in done.stdout
    warnings = [line for line in done.stderr.splitlines() if "warning:" in line]
    if words is None:
        assert warnings == []
    else:
        assert len(warnings) == 1 and words in warnings[0], done.stderr
