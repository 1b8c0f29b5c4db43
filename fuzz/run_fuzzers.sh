#!/usr/bin/env bash
# Builds the libFuzzer targets of the input readers (the parameter deck and
# the per-cell files) with clang, AddressSanitizer and UndefinedBehavior-
# Sanitizer, and runs each for a bounded time on its corpus.
#
#   fuzz/run_fuzzers.sh [seconds per target]      (default 60)
#
# The build goes to build-fuzz/.  New interesting inputs are kept in a
# scratch copy of the corpus, not in the repository; a finding leaves its
# reproducer as build-fuzz/findings/<target>/crash-* and ends the script
# with a non-zero status.  Replay one with: build-fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(fuzz_readata fuzz_cell_record fuzz_porosity)

# clang with its libFuzzer runtime (Debian: clang and libclang-rt-14-dev).
if ! command -v clang++ > /dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" > /dev/null; then
  echo "installing clang and its libFuzzer runtime"
  sudo_if_needed=""
  [ "$(id -u)" -ne 0 ] && sudo_if_needed="sudo"
  $sudo_if_needed apt-get install -y clang libclang-rt-14-dev ||
    { $sudo_if_needed apt-get update && $sudo_if_needed apt-get install -y clang libclang-rt-14-dev; }
fi

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DUPSCALE_FUZZ=ON -DUPSCALE_SANITIZE=ON -DUPSCALE_TESTS=OFF > /dev/null
cmake --build build-fuzz -j2 --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  # Absolute paths: a target may work in a scratch directory of its own.
  work=$PWD/build-fuzz/corpus/$target
  findings=$PWD/build-fuzz/findings/$target
  rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp fuzz/corpus/"$target"/* "$work"/
  echo "== $target: ${seconds} s"
  # -close_fd_mask=3: the readers' own messages on standard output and the
  # error stream are expected; libFuzzer keeps its own report channel.
  dictionary=()
  [ -f fuzz/"$target".dict ] && dictionary=(-dict="$PWD/fuzz/$target.dict")
  if ! build-fuzz/"$target" "$work" "${dictionary[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -close_fd_mask=3 -artifact_prefix="$findings/" -print_final_stats=1 2> build-fuzz/"$target".log; then
    echo "FINDING in $target: see build-fuzz/$target.log and $findings/"
    status=1
  fi
  grep -E "^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ *DONE)" build-fuzz/"$target".log || true
done
exit $status
