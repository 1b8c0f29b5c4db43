#!/usr/bin/env bash
# Byte comparison of two builds on the four bundled examples: every result
# file and the standard output of `upscale` and of `upscale_sweep` run in a
# copy of each example's folder, the exit statuses too.  A change of the
# code's layout must leave every byte of them as it was.  The one line of
# standard output that measures the CPU time ("running time=" of upscale,
# "CPU time (s) =" of the sweep) differs from run to run of one build: its
# figure is masked, the line itself compared.
#   tests/compare_outputs.sh REFERENCE_BUILD NEW_BUILD
# Prints one line per example and program; exits 1 when any byte differs.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$#" -eq 2 ] || { echo "usage: tests/compare_outputs.sh REFERENCE_BUILD NEW_BUILD" >&2; exit 2; }
reference="$(cd "$1" && pwd)"
new="$(cd "$2" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run() {  # run BUILD PROGRAM EXAMPLE DIR
  mkdir -p "$4"
  cp examples/"$3"/* "$4"/
  ( cd "$4" && status=0 && "$1/$2" < deck.in > standard_output.txt 2> /dev/null || status=$?
    echo "$status" > exit_status.txt
    sed -E -i 's/(running time=|CPU time \(s\) =) *[0-9.]+/\1 (masked)/' standard_output.txt )
}

failed=0
for example in permafrost_layered permafrost_patchy shaley_layered shaley_patchy; do
  for program in upscale upscale_sweep; do
    run "$reference" "$program" "$example" "$work/ref/$program/$example"
    run "$new" "$program" "$example" "$work/new/$program/$example"
    files=$(ls "$work/ref/$program/$example" | wc -l)
    if diff -r "$work/ref/$program/$example" "$work/new/$program/$example" > "$work/diff.txt"; then
      bytes=$(cat "$work/ref/$program/$example"/* | wc -c)
      echo "same   $example $program: $files files, $bytes bytes"
    else
      echo "DIFFER $example $program:"
      head -20 "$work/diff.txt"
      failed=1
    fi
  done
done
exit "$failed"
