#!/bin/sh
# Installs what the sparse-solver benchmark compares against: UMFPACK and
# KLU from Debian's SuiteSparse.  The program itself does not use them.
set -e
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y libsuitesparse-dev
