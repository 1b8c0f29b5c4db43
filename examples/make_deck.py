#!/usr/bin/env python3
"""Writes an example case: the parameter deck and its per-cell maps.

Usage: make_deck.py DIRECTORY MODEL_NAME NX NY [patchy|strata]

MODEL_NAME is "permafrost" or "shaley".  The per-cell maps are binary
(two values) and deterministic: "binary_ice_gnu.dat" always, and
"phiw_binary_patchy.dat" for a patchy case.  A "strata" case has a uniform
ice map, so that every row of cells is uniform (a layered sample with an
exact one-dimensional reference).  The frequency grid, 0.01 Hz to 1 kHz,
covers the attenuation peak of every bundled example.  Every real on a "(g20.10)"
line is written with a decimal point.
"""
import os
import sys

LAYERS = {
    # One permafrost layer type: quartz frame, ice, water.
    "permafrost": [
        dict(nl=10, akf="2.25e9", ro2="1000.0", eta="0.00179", ro1="2650.0", ro3="920.0",
             phi_a="0.30", phi_layer="0.10", capa_1_0="1.0e-13", capa_3_0="1.0e-13",
             s3="0.20", rs1="1.0e-4", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="8.58e9", xmu_s3="3.32e9"),
        dict(nl=10, akf="2.25e9", ro2="1000.0", eta="0.00179", ro1="2650.0", ro3="920.0",
             phi_a="0.30", phi_layer="0.20", capa_1_0="1.0e-13", capa_3_0="1.0e-13",
             s3="0.20", rs1="1.0e-4", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="8.58e9", xmu_s3="3.32e9"),
    ],
    # Shaley sand: quartz grains, clay, water.
    "shaley": [
        dict(nl=10, akf="2.25e9", ro2="1000.0", eta="0.001", ro1="2650.0", ro3="2550.0",
             phi_a="0.30", phi_layer="0.25", capa_1_0="1.0e-12", capa_3_0="1.0e-12",
             s3="0.20", rs1="5.0e-5", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="2.1e10", xmu_s3="7.0e9"),
        dict(nl=10, akf="2.25e9", ro2="1000.0", eta="0.001", ro1="2650.0", ro3="2550.0",
             phi_a="0.30", phi_layer="0.15", capa_1_0="1.0e-12", capa_3_0="1.0e-12",
             s3="0.40", rs1="5.0e-5", rs3="1.0e-6", coef_b13="0.0", ak_air="1.5e5",
             xmu_air="0.0", ak_s1="3.8e10", xmu_s1="4.4e10", ak_s3="2.1e10", xmu_s3="7.0e9"),
    ],
}

ORDER = ["akf", "ro2", "eta", "ro1", "ro3", "phi_a", "phi_layer", "capa_1_0", "capa_3_0", "s3",
         "rs1", "rs3", "coef_b13", "ak_air", "xmu_air", "ak_s1", "xmu_s1", "ak_s3", "xmu_s3"]


def patch_value(j, k, low, high):
    """Deterministic blobs: a cell is 'high' inside a few discs."""
    centres = [(0.25, 0.3, 0.18), (0.7, 0.65, 0.22), (0.55, 0.15, 0.1), (0.15, 0.8, 0.12)]
    for (cx, cy, r) in centres:
        if (j - cx) ** 2 + (k - cy) ** 2 < r * r:
            return high
    return low


def write_map(path, nx, ny, low, high):
    with open(path, "w") as f:
        for k in range(1, ny + 1):
            for j in range(1, nx + 1):
                v = patch_value((j - 0.5) / nx, (k - 0.5) / ny, low, high)
                f.write(f"{j} {k} {v}\n")


def main():
    directory, name, nx, ny = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    patchy = len(sys.argv) > 5 and sys.argv[5] == "patchy"
    strata = len(sys.argv) > 5 and sys.argv[5] == "strata"
    os.makedirs(directory, exist_ok=True)
    key_model = 0 if name == "permafrost" else 1
    layers = LAYERS[name]
    lines = [
        "0.01                fmin (Hz): the frequency of the computation",
        "1000.0              fmax (Hz)",
        "21                  nfreq",
        "1.0                 domain_size (m): height of the sample",
        f"{nx:<20d}nx",
        f"{ny:<20d}ny",
        f"{key_model:5d}               key_model (0 permafrost, 1 shaley sand), columns 1-5",
        f"{1 if patchy else 0:5d}               model (0 layered, 1 patchy map), columns 1-5",
        f"{len(layers):<20d}nmat",
    ]
    for i, layer in enumerate(layers, start=1):
        lines.append(f"{layer['nl']:<20d}nl({i})")
        for key in ORDER:
            lines.append(f"{layer[key]:<20s}{key}({i})")
    with open(os.path.join(directory, "deck.in"), "w") as f:
        f.write("\n".join(lines) + "\n")
    # Water proportion of the permafrost's layer-type-1 cells: wet and
    # frozen patches, both below the absolute porosity 0.30.
    write_map(os.path.join(directory, "binary_ice_gnu.dat"), nx, ny, 0.08, 0.08 if strata else 0.22)
    if patchy:
        write_map(os.path.join(directory, "phiw_binary_patchy.dat"), nx, ny, 0.12, 0.26)


if __name__ == "__main__":
    main()
