#!/usr/bin/env bash
# Installs, as root or with sudo, the Debian packages the build and run
# scripts need when they are missing: a C++ compiler, CMake, GoogleTest,
# and with the argument "gnuplot" also gnuplot (for the pictures).
#   ./install_missing.sh [gnuplot]
set -euo pipefail
packages=()
if ! command -v cmake > /dev/null || ! command -v g++ > /dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
  packages+=(g++ cmake libgtest-dev)
fi
if [ "${1:-}" = gnuplot ] && ! command -v gnuplot > /dev/null; then
  packages+=(gnuplot-nox)
fi
if [ "${#packages[@]}" -gt 0 ]; then
  sudo_if_needed=""
  [ "$(id -u)" -ne 0 ] && sudo_if_needed="sudo"
  $sudo_if_needed apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_if_needed apt-get install -y "${packages[@]}"
fi
