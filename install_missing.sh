#!/usr/bin/env bash
# Installs, as root or with sudo, the Debian packages the build and run
# scripts need when they are missing: a C++ compiler, CMake, Eigen's headers
# and the sparse direct solver for large meshes (sequential MUMPS, METIS
# and the single-threaded OpenBLAS), which are all the two programs need;
# with the argument "study" also FFTW (the map generator's transform), with
# "tests" GoogleTest, FFTW and Python 3 with numpy, pandas and pytest (the
# whole suite, whose Python part tests the table reader and the deck
# maker), with "python" only the Python packages, with "gnuplot"
# gnuplot (for the pictures), with "slurm" Slurm and munge (the test of the
# Slurm engine), with "mpi" the MPI MUMPS and OpenMPI (the build of the
# programs over MPI ranks, -DUPSCALE_MPI=ON).
#   ./install_missing.sh [study] [solver] [tests] [python] [gnuplot] [slurm] [mpi]
set -euo pipefail
packages=()
if ! command -v cmake > /dev/null || ! command -v g++ > /dev/null; then
  packages+=(g++ cmake)
fi
# Eigen (headers only) for the exact layered reference of the sweep.
[ -f /usr/include/eigen3/Eigen/Dense ] || packages+=(libeigen3-dev)
# The sequential MUMPS with its METIS ordering, on the serial OpenBLAS:
# the threaded OpenBLAS would make the results depend on the thread count,
# and the reference BLAS is much slower under a multifrontal solver.
want_solver() {
  ls /usr/lib/*/libzmumps_seq.so > /dev/null 2>&1 || packages+=(libmumps-seq-dev)
  [ -f /usr/include/metis.h ] || packages+=(libmetis-dev)
  dpkg -s libopenblas-serial-dev > /dev/null 2>&1 || packages+=(libopenblas-serial-dev)
  dpkg -s libopenblas0-serial > /dev/null 2>&1 || packages+=(libopenblas0-serial)
}
want_solver
# Debian's own Python (/usr/bin/python3), which the Debian packages serve
# whatever other python3 comes first in PATH.
want_python() {
  [ -x /usr/bin/python3 ] || packages+=(python3)
  for module in numpy pandas pytest; do
    /usr/bin/python3 -c "import $module" 2> /dev/null || packages+=("python3-$module")
  done
}
for wanted in "$@"; do
  case "$wanted" in
    study) [ -f /usr/include/fftw3.h ] || packages+=(libfftw3-dev) ;;
    solver) want_solver ;;
    tests)
      [ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
      [ -f /usr/include/fftw3.h ] || packages+=(libfftw3-dev)
      want_solver
      want_python
      ;;
    python) want_python ;;
    gnuplot) command -v gnuplot > /dev/null || packages+=(gnuplot-nox) ;;
    slurm)
      if ! command -v slurmctld > /dev/null || ! command -v slurmd > /dev/null || ! command -v sbatch > /dev/null; then
        packages+=(slurm-wlm)
      fi
      command -v munged > /dev/null || packages+=(munge)
      ;;
    mpi)
      want_solver
      ls /usr/lib/*/libzmumps.so > /dev/null 2>&1 || packages+=(libmumps-dev)
      command -v mpicxx > /dev/null || packages+=(libopenmpi-dev)
      command -v mpirun > /dev/null || packages+=(openmpi-bin)
      ;;
    *) echo "install_missing.sh: unknown argument $wanted (study, solver, tests, python, gnuplot, slurm, mpi)" >&2; exit 2 ;;
  esac
done
if [ "${#packages[@]}" -gt 0 ]; then
  sudo_if_needed=""
  [ "$(id -u)" -ne 0 ] && sudo_if_needed="sudo"
  $sudo_if_needed apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_if_needed apt-get install -y "${packages[@]}"
fi
