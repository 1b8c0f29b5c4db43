"""The tables of the programs read with pandas and numpy by their header
names, and python/upscale_tables.py gives them with their units."""
import re

import numpy as np
import pytest

import upscale_tables as ut
from conftest import REPO

NAME = re.compile(r"^[A-Za-z][A-Za-z0-9_]*$")


def header_words(path):
    return path.read_text().splitlines()[0].split()


@pytest.mark.parametrize("table", ["frequency_sweep.dat", "sweep_limits.dat", "effective_stiffness.dat",
                                   "angle_sweep.dat"])
def test_every_table_reads_with_pandas_and_numpy_names_unmangled(strata_sweep, table):
    pandas = pytest.importorskip("pandas")
    path = strata_sweep / table
    names = header_words(path)
    assert all(NAME.match(n) for n in names), f"{table}: a name that numpy or pandas would change: {names}"
    frame = pandas.read_csv(path, sep=r"\s+")
    assert list(frame.columns) == names
    data = np.genfromtxt(path, names=True, dtype=None, encoding=None)
    assert list(data.dtype.names) == names
    assert len(frame) == len(np.atleast_1d(data)) == len(path.read_text().splitlines()) - 1
    assert ut.read_table(path).names == names


def test_units_come_from_the_names(strata_sweep):
    sweep = ut.read_table(strata_sweep / "frequency_sweep.dat")
    expected = {"frequency_Hz": "Hz", "omega_rad_per_s": "rad/s", "velocity_w_m_per_s": "m/s", "Re_Mw_Pa": "Pa",
                "density_kg_per_m3": "kg/m3", "thousand_over_Q_w": "", "diffusion_length_cells": "cells",
                "flags": ""}
    assert {n: sweep.units[n] for n in expected} == expected
    angles = ut.read_table(strata_sweep / "angle_sweep.dat")
    assert angles.units["angle_deg"] == "deg"
    assert sorted(set(angles.data["angle_deg"])) == [0.0, 45.0, 90.0, 135.0, 180.0]


def test_the_unit_suffixes_are_those_of_the_programs():
    text = (REPO / "common" / "table_header.hpp").read_text()
    pairs = dict(re.findall(r'\{"(_[A-Za-z0-9_]+)", "([^"]+)"\}', text))
    assert pairs == ut.UNIT_SUFFIXES


def test_exact_columns_of_a_layered_sweep_agree_with_the_exact_modulus(strata_sweep):
    d = ut.read_table(strata_sweep / "frequency_sweep.dat").data
    mw = d["Re_Mw_exact_Pa"] + 1j * d["Im_Mw_exact_Pa"]
    velocity = 1.0 / np.real(1.0 / np.sqrt(mw / d["density_kg_per_m3"]))
    np.testing.assert_allclose(d["velocity_w_exact_m_per_s"], velocity, rtol=1e-13)
    np.testing.assert_allclose(d["thousand_over_Q_w_exact"], 1000 * mw.imag / mw.real, rtol=1e-13)
    stiffness = ut.read_table(strata_sweep / "effective_stiffness.dat").data
    np.testing.assert_array_equal(d["density_kg_per_m3"], stiffness["density_kg_per_m3"])
    words = {word for flags in d["flags"] for word in flags.split(",")}
    assert words <= {"ok", "unresolved", "rig", "rounding", "not_dissipative", "ill_conditioned",
                     "exact_outside_limits"}, words


def test_limits_of_the_summary_are_those_of_the_limits_table(strata_sweep):
    limits = ut.read_summary_limits(strata_sweep / "sweep_summary.txt")
    table = ut.read_table(strata_sweep / "sweep_limits.dat").data
    assert list(table["limit"]) == ["relaxed", "unrelaxed"]
    for row in table:
        assert limits[row["limit"]] == {"Mw_Pa": row["Mw_Pa"], "velocity_m_per_s": row["velocity_m_per_s"]}
    # The exact Mw lies between its limits (a standard linear solid's
    # velocity rises from the relaxed to the unrelaxed one).
    v = ut.read_table(strata_sweep / "frequency_sweep.dat").data["velocity_w_exact_m_per_s"]
    assert limits["relaxed"]["velocity_m_per_s"] <= v.min() and v.max() <= limits["unrelaxed"]["velocity_m_per_s"]


def test_a_summary_without_limits_and_a_limit_without_closed_form(tmp_path):
    text = (" some row of cells is not uniform: no exact reference\n"
            " relaxed limit of Mw (omega -> 0, coefficients at fmin):      no closed form for this sample\n")
    (tmp_path / "s.txt").write_text(text)
    assert ut.read_summary_limits(tmp_path / "s.txt") == {"relaxed": None}


def test_work_modulus_of_upscale_is_its_echo(patchy_run):
    table = ut.read_table(patchy_run / "work_modulus.dat")
    assert table.names == ["frequency_Hz", "Re_Mw_Pa", "Im_Mw_Pa", "velocity_w_m_per_s", "thousand_over_Q_w"]
    row = table.data
    echo = (patchy_run / "echo.txt").read_text()
    for label, name in [("work-conjugate Re(M)", "Re_Mw_Pa"), ("work-conjugate Im(M)", "Im_Mw_Pa"),
                        ("work-conjugate velocity (m/s)", "velocity_w_m_per_s"),
                        ("work-conjugate 1000/Q", "thousand_over_Q_w")]:
        echoed = re.search(re.escape(label) + r"\s*=\s*(\S+)", echo)
        assert echoed, f"no echo line {label}"
        assert float(row[name]) == float(echoed.group(1)), name
    assert float(row["frequency_Hz"]) == 0.01
    assert float(row["Im_Mw_Pa"]) > 0, "a passive sample dissipates"


def test_water_used_follows_the_rule_of_the_maps(patchy_run):
    """Permafrost, patchy: layer-type-1 cells (odd rows here) take the ice
    map's water, the others the patchy map's."""
    used = ut.read_map(patchy_run / "phiw_used.dat")
    ice = ut.read_map(patchy_run / "binary_ice_gnu.dat")
    patchy = ut.read_map(patchy_run / "phiw_binary_patchy.dat")
    matnum = ut.read_map(patchy_run / "matnum_p33_gnu")
    assert used.shape == (4, 6)
    np.testing.assert_array_equal(used[matnum == 1], ice[matnum == 1])
    np.testing.assert_array_equal(used[matnum == 2], patchy[matnum == 2])
    assert (matnum == 1).any() and (matnum == 2).any()


def test_the_pressure_gradient_map_sits_on_the_interior_cells(patchy_run):
    grad = ut.read_map(patchy_run / "mod_grad_pressure_p33_ice", nx=6, ny=4)
    interior = np.zeros((4, 6), dtype=bool)
    interior[1:-1, 1:-1] = True
    assert np.isfinite(grad[interior]).all() and np.isnan(grad[~interior]).all()


def test_a_map_with_records_of_another_length_is_refused(tmp_path):
    (tmp_path / "m").write_text("1 1\n2 1\n")
    with pytest.raises(ValueError, match="records of 2 items"):
        ut.read_map(tmp_path / "m")
