#!/usr/bin/env bash
# Builds the program and its whole test suite, then runs every test; then
# builds and runs the whole suite a second time under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), where any sanitizer report ends
# the offending test with a failure.
set -euo pipefail
cd "$(dirname "$0")"

# The tools: a C++ compiler, CMake, GoogleTest and FFTW, with gnuplot (the
# study's picture) and Slurm with munge (the test that runs a study through
# a real single-node Slurm) and the MPI MUMPS with OpenMPI (the tests of
# one sample over ranks), installed when missing; valgrind is used when
# present.
./install_missing.sh tests gnuplot slurm mpi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=ON > /dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

# The programs built on the MPI MUMPS (build-mpi/), run under mpirun
# against the default build's programs.
cmake -S . -B build-mpi -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=ON -DUPSCALE_MPI=ON \
  -DUPSCALE_SEQUENTIAL_DIR="$PWD/build" > /dev/null
cmake --build build-mpi -j2 --target upscale upscale_sweep upscale_maps upscale_study_runner test_ranks
ctest --test-dir build-mpi -R '^(Ranks\.|slurm_ranks$)' --output-on-failure

# Memcheck over two whole small runs, where valgrind is installed.
if command -v valgrind > /dev/null; then
  fuzz/run_valgrind.sh build/upscale
fi

# The sanitized suite.  The whole-program tests run the sanitized program
# too, so a report inside a run changes its exit status and fails the test.
# The Slurm test is left out here: it runs the same study programs as the
# local engine's tests, which do run sanitized.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPSCALE_TESTS=ON -DUPSCALE_SANITIZE=ON > /dev/null
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2
