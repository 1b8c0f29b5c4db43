"""Reads the tables and maps that upscale, upscale_sweep and upscale_study
write, with the units of every column.

    import upscale_tables as ut
    sweep = ut.read_table("build/sweeps/permafrost_strata/frequency_sweep.dat")
    sweep.data["velocity_w_m_per_s"], sweep.units["velocity_w_m_per_s"]   # array, "m/s"
    frame = sweep.frame()                    # a pandas.DataFrame (pandas needed only here)
    limits = ut.read_summary_limits("build/sweeps/permafrost_strata/sweep_summary.txt")
    phiw = ut.read_map("build/runs/permafrost_patchy/phiw_used.dat")      # phiw[k-1, j-1]

Every table is one header line of names, then one row per line, fields
separated by blanks; a name ends with its unit (common/table_header.hpp):
the same file reads with

    pandas.read_csv(path, sep=r"\\s+")
    numpy.genfromtxt(path, names=True, dtype=None, encoding=None)

The tables: frequency_sweep.dat and sweep_limits.dat (upscale_sweep),
effective_stiffness.dat and angle_sweep.dat (upscale_sweep --tensor),
study_summary.dat (upscale_study), work_modulus.dat (upscale).  A per-cell
map holds one record "j k value" per cell.  numpy is required; pandas is
optional.
"""
import os
import re
from dataclasses import dataclass

import numpy as np

# The unit suffixes of the column names, as common/table_header.hpp
# writes them (tests/test_python_tables.py checks that the two agree).
UNIT_SUFFIXES = {
    "_Hz": "Hz",
    "_rad_per_s": "rad/s",
    "_m_per_s": "m/s",
    "_kg_per_m3": "kg/m3",
    "_Pa": "Pa",
    "_deg": "deg",
    "_cells": "cells",
}

TABLE_FILES = ("frequency_sweep.dat", "sweep_limits.dat", "effective_stiffness.dat", "angle_sweep.dat",
               "study_summary.dat", "work_modulus.dat")

# upscale writes the gradient of the pressure of cell (j, k) under the
# record "j-1 k-1": read_map puts it back at its cell.
SHIFTED_MAPS = {"mod_grad_pressure_p33_ice": 1}


def unit_of(name):
    """The unit of a column name ("" for a dimensionless column)."""
    for suffix, unit in UNIT_SUFFIXES.items():
        if name.endswith(suffix) and len(name) > len(suffix):
            return unit
    return ""


@dataclass
class Table:
    path: str
    data: np.ndarray   # structured array: data["frequency_Hz"]
    units: dict        # column name -> unit ("" when dimensionless)

    @property
    def names(self):
        return list(self.data.dtype.names)

    def frame(self):
        """The table as a pandas.DataFrame, read by pandas itself."""
        import pandas
        return pandas.read_csv(self.path, sep=r"\s+")


def read_table(path):
    """Any table of the programs, by its header's names."""
    if os.path.isdir(path):
        raise ValueError(f"{path}: a directory; give one of its tables ({', '.join(TABLE_FILES)})")
    data = np.genfromtxt(path, names=True, dtype=None, encoding=None, deletechars="", ndmin=1)
    if data.dtype.names is None:
        raise ValueError(f"{path}: no header line of column names")
    return Table(path, data, {name: unit_of(name) for name in data.dtype.names})


def read_map(path, nx=None, ny=None):
    """A per-cell map ("j k value" per record) as a 2-D array a[k-1, j-1]
    (row k from the bottom, column j); cells without a record are nan."""
    records = np.loadtxt(path, ndmin=2)
    if records.shape[1] != 3:
        raise ValueError(f"{path}: records of {records.shape[1]} items, not 3 (j k value)")
    shift = SHIFTED_MAPS.get(os.path.basename(path), 0)
    j = records[:, 0].astype(int) + shift
    k = records[:, 1].astype(int) + shift
    nx = nx if nx is not None else int(j.max())
    ny = ny if ny is not None else int(k.max())
    cells = np.full((ny, nx), np.nan)
    cells[k - 1, j - 1] = records[:, 2]
    return cells


_LIMIT = re.compile(r"^\s*(relaxed|unrelaxed) limit of Mw \(([^)]*)\):\s*(.*)$")
_NUMBERS = re.compile(r"^(\S+)\s+Pa, velocity\s+(\S+)\s+m/s")


def read_summary_limits(path):
    """The exact limits of Mw in upscale_sweep's summary (sweep_summary.txt):
    {"relaxed": {"Mw_Pa": ..., "velocity_m_per_s": ...}, "unrelaxed": ...};
    a limit without a closed form is None, a summary without limits {}."""
    limits = {}
    with open(path) as f:
        for line in f:
            match = _LIMIT.match(line)
            if not match:
                continue
            numbers = _NUMBERS.match(match.group(3))
            limits[match.group(1)] = None if numbers is None else {
                "Mw_Pa": float(numbers.group(1)), "velocity_m_per_s": float(numbers.group(2))}
    return limits
