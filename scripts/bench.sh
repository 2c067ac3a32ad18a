#!/usr/bin/env bash
# Runs every benchmark that was built (release preset). bench_module is the
# whole module through its VST 2.4 interface against a Debian peer plug-in,
# reported as real-time factors with their targets; the others are Google
# Benchmark programs of single components. Arguments after the build folder go to
# bench_module, e.g. --baseline PATH to measure an older build in the same rounds.
set -euo pipefail
build=${1:-build/release}
shift || true
shopt -s nullglob

peer=$(dpkg -L zam-plugins 2>/dev/null | grep -i 'zamtube-vst\.so$' | head -n 1 || true)

for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  if [ "$(basename "$b")" = bench_module ]; then
    "$b" ${peer:+--peer "$peer"} "$@"
  else
    "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  fi
done
