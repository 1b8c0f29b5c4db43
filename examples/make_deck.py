#!/usr/bin/env python3
"""Writes a case for upscale and upscale_sweep: the parameter deck
(deck.in) and the per-cell maps the deck reads, in a new directory.

  examples/make_deck.py mycase --model permafrost --layout patchy --nx 40 --ny 40

Layouts (--layout):
  layered  model 0: every cell takes its water from its layer's phi_layer,
           except the permafrost model's layer-type-1 cells, which take it
           from the ice map binary_ice_gnu.dat (here: a few discs of wetter
           cells), so the sample is not uniform along its rows.
  patchy   model 1: the cells take their water from phiw_binary_patchy.dat
           (wet discs in a drier matrix), except the permafrost model's
           layer-type-1 cells, which take it from the ice map.
  strata   model 0 with a uniform ice map: every row of cells is uniform,
           a layered sample whose exact one-dimensional solution the sweep
           gives beside its own (the sweep_limits.dat and *_exact columns).

The sample is a stack of periods of --rows N1 N2 rows (layer type 1 under
layer type 2, from the bottom); with --types 1 every cell is of type 1.
The period must divide ny; without --rows the largest period up to 20
rows that divides ny is taken, split in two.  Layer-type values are those
of the bundled examples (permafrost: quartz frame, ice and water; shaley:
quartz grains, clay and water).

Bad options end with one line on standard error and status 2, and nothing
is written; the files are written to a temporary directory first and
moved into place together.
"""
import argparse
import os
import shutil
import sys
import tempfile

LAYERS = {
    # Permafrost: quartz frame, ice, water.
    "permafrost": [
        dict(akf="2.25e9", ro2="1000.0", eta="0.00179", ro1="2650.0", ro3="920.0",
             phi_a="0.30", phi_layer="0.10", capa_1_0="1.0e-13", capa_3_0="1.0e-13",
             s3="0.20", rs1="1.0e-4", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="8.58e9", xmu_s3="3.32e9"),
        dict(akf="2.25e9", ro2="1000.0", eta="0.00179", ro1="2650.0", ro3="920.0",
             phi_a="0.30", phi_layer="0.20", capa_1_0="1.0e-13", capa_3_0="1.0e-13",
             s3="0.20", rs1="1.0e-4", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="8.58e9", xmu_s3="3.32e9"),
    ],
    # Shaley sand: quartz grains, clay, water.
    "shaley": [
        dict(akf="2.25e9", ro2="1000.0", eta="0.001", ro1="2650.0", ro3="2550.0",
             phi_a="0.30", phi_layer="0.25", capa_1_0="1.0e-12", capa_3_0="1.0e-12",
             s3="0.20", rs1="5.0e-5", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="2.1e10", xmu_s3="7.0e9"),
        dict(akf="2.25e9", ro2="1000.0", eta="0.001", ro1="2650.0", ro3="2550.0",
             phi_a="0.30", phi_layer="0.15", capa_1_0="1.0e-12", capa_3_0="1.0e-12",
             s3="0.40", rs1="5.0e-5", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="2.1e10", xmu_s3="7.0e9"),
    ],
}

ORDER = ["akf", "ro2", "eta", "ro1", "ro3", "phi_a", "phi_layer", "capa_1_0", "capa_3_0", "s3",
         "rs1", "rs3", "coef_b13", "ak_air", "xmu_air", "ak_s1", "xmu_s1", "ak_s3", "xmu_s3"]

# The ice map's water proportions (permafrost layer type 1) and the patchy
# map's, low outside the discs and high inside: all below phi_a = 0.30.
ICE_VALUES = (0.08, 0.22)
PATCHY_VALUES = (0.12, 0.26)


class DeckError(Exception):
    """A refused option: its message is the one line the user sees."""


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        raise DeckError(message + " (see --help)")


def parser():
    p = OneLineParser(prog="make_deck.py", description=__doc__.split("\n\n")[0],
                      epilog=__doc__.split("\n\n", 2)[2], formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("directory", help="the case directory to create (must not exist, or be empty)")
    p.add_argument("--model", choices=["permafrost", "shaley"], default="permafrost",
                   help="key_model: permafrost (0) or shaley sand (1); default permafrost")
    p.add_argument("--layout", choices=["layered", "patchy", "strata"], default="layered",
                   help="where the cells take their water from (below); default layered")
    p.add_argument("--nx", type=int, default=40, help="cells across (default 40)")
    p.add_argument("--ny", type=int, default=40, help="cells up (default 40)")
    p.add_argument("--types", type=int, choices=[1, 2], default=2, help="layer types, nmat (default 2)")
    p.add_argument("--rows", type=int, nargs="+", metavar="N",
                   help="rows of each layer type in one period (one number per type)")
    p.add_argument("--size", type=float, default=1.0, help="domain_size: the sample's height in m (default 1)")
    p.add_argument("--fmin", type=float, default=0.01, help="lowest frequency in Hz (default 0.01)")
    p.add_argument("--fmax", type=float, default=1000.0, help="highest frequency in Hz (default 1000)")
    p.add_argument("--nfreq", type=int, default=21, help="frequencies of the sweep, log-spaced (default 21)")
    p.add_argument("--force", action="store_true", help="write into an existing, non-empty directory")
    return p


def default_rows(ny, types):
    """The largest period of at most 20 rows dividing ny, split in two."""
    if types == 1:
        return [ny]
    for period in range(min(ny, 20), 1, -1):
        if ny % period == 0:
            return [period // 2, period - period // 2]
    raise DeckError(f"--ny {ny}: two layer types need at least two rows (give --types 1)")


def checked(args):
    """The options checked together; returns the rows of each type."""
    if args.nx < 1 or args.ny < 1:
        raise DeckError(f"--nx {args.nx} --ny {args.ny}: a sample has at least one cell each way")
    if not args.size > 0:
        raise DeckError(f"--size {args.size}: the sample's height must be positive (m)")
    if not (0 < args.fmin <= args.fmax):
        raise DeckError(f"--fmin {args.fmin} --fmax {args.fmax}: the frequencies must satisfy 0 < fmin <= fmax")
    if args.nfreq < 1:
        raise DeckError(f"--nfreq {args.nfreq}: a sweep needs at least one frequency")
    rows = args.rows if args.rows is not None else default_rows(args.ny, args.types)
    if len(rows) != args.types:
        raise DeckError(f"--rows {' '.join(map(str, rows))}: give one number per layer type ({args.types})")
    if any(n < 0 for n in rows) or sum(rows) < 1:
        raise DeckError(f"--rows {' '.join(map(str, rows))}: rows are counts, at least one in all")
    if args.ny % sum(rows) != 0:
        raise DeckError(f"--rows {' '.join(map(str, rows))}: a period of {sum(rows)} rows does not divide "
                        f"--ny {args.ny} (the cells above the last whole period would have no layer type)")
    if args.model == "permafrost" and args.layout == "patchy" and (args.types == 1 or rows[1] == 0):
        raise DeckError("--layout patchy with one permafrost layer type: every cell takes its water from the "
                        "ice map, so phiw_binary_patchy.dat would never be used (give --types 2)")
    return rows


def in_disc(x, y):
    """Deterministic blobs: a point is inside one of a few discs."""
    centres = [(0.25, 0.3, 0.18), (0.7, 0.65, 0.22), (0.55, 0.15, 0.1), (0.15, 0.8, 0.12)]
    return any((x - cx) ** 2 + (y - cy) ** 2 < r * r for (cx, cy, r) in centres)


def map_text(nx, ny, low, high):
    """One record "j k value" per cell, j inner, as the programs read."""
    lines = []
    for k in range(1, ny + 1):
        for j in range(1, nx + 1):
            v = high if in_disc((j - 0.5) / nx, (k - 0.5) / ny) else low
            lines.append(f"{j} {k} {v}")
    return "\n".join(lines) + "\n"


def deck_text(args, rows):
    layers = LAYERS[args.model][:args.types]
    lines = [
        f"{args.fmin!r:<20}fmin (Hz): the frequency of the computation",
        f"{args.fmax!r:<20}fmax (Hz)",
        f"{args.nfreq:<20d}nfreq",
        f"{args.size!r:<20}domain_size (m): height of the sample",
        f"{args.nx:<20d}nx",
        f"{args.ny:<20d}ny",
        f"{0 if args.model == 'permafrost' else 1:5d}               key_model (0 permafrost, 1 shaley sand), columns 1-5",
        f"{1 if args.layout == 'patchy' else 0:5d}               model (0 layered, 1 patchy map), columns 1-5",
        f"{len(layers):<20d}nmat",
    ]
    for i, (layer, nl) in enumerate(zip(layers, rows), start=1):
        lines.append(f"{nl:<20d}nl({i})")
        lines.extend(f"{layer[key]:<20s}{key}({i})" for key in ORDER)
    return "\n".join(lines) + "\n"


def case_files(args, rows):
    """File name -> text of every file of the case."""
    files = {"deck.in": deck_text(args, rows)}
    ice_high = ICE_VALUES[0] if args.layout == "strata" else ICE_VALUES[1]
    files["binary_ice_gnu.dat"] = map_text(args.nx, args.ny, ICE_VALUES[0], ice_high)
    if args.layout == "patchy":
        files["phiw_binary_patchy.dat"] = map_text(args.nx, args.ny, *PATCHY_VALUES)
    return files


def write_case(directory, files, force):
    """All files or none: written beside the target, then moved in."""
    if os.path.exists(directory) and not os.path.isdir(directory):
        raise DeckError(f"{directory}: exists and is not a directory")
    if os.path.isdir(directory) and os.listdir(directory) and not force:
        raise DeckError(f"{directory}: exists and is not empty (give a new name, or --force to replace its files)")
    parent = os.path.dirname(os.path.abspath(directory))
    if not os.path.isdir(parent):
        raise DeckError(f"{directory}: its parent directory {parent} does not exist")
    staging = tempfile.mkdtemp(prefix=".make_deck.", dir=parent)
    try:
        for name, text in files.items():
            with open(os.path.join(staging, name), "w") as f:
                f.write(text)
        if not os.path.isdir(directory):
            os.rename(staging, directory)
            return
        for name in files:
            os.replace(os.path.join(staging, name), os.path.join(directory, name))
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def main(argv=None):
    try:
        args = parser().parse_args(argv)
        rows = checked(args)
        write_case(args.directory, case_files(args, rows), args.force)
    except DeckError as e:
        print(f"make_deck.py: {e}", file=sys.stderr)
        return 2
    except OSError as e:
        print(f"make_deck.py: {e.filename}: {e.strerror}", file=sys.stderr)
        return 1
    print(f"make_deck.py: wrote {args.directory}/ ({', '.join(sorted(case_files(args, rows)))})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
