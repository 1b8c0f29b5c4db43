#!/bin/sh
# Installs what the sparse-solver benchmark compares against: UMFPACK and
# KLU from Debian's SuiteSparse, with the single-threaded OpenBLAS for
# UMFPACK's dense kernels.  The program itself does not use them.
set -e
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y libsuitesparse-dev libopenblas0-serial
