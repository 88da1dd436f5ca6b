#!/usr/bin/env bash
# The image benchmark in one command: installs what is missing (Leptonica,
# groff and Ghostscript besides the usual packages), builds in build/, makes
# the rendered pages (build/bench-pages/), runs image_bench with medians of 3
# repetitions and prints the table of times and ratios and the goals. The full
# output is kept in build/bench-results.txt.
#
#   scripts/bench.sh [extra image_bench flags, e.g. --benchmark_filter=text300]
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"

"$repo/scripts/setup.sh" libleptonica-dev groff ghostscript
# An older build dir may have been configured before Leptonica was there.
cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target image_bench >/dev/null

type="$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")"
case "$type" in
  Release | RelWithDebInfo) ;;
  *) echo "bench: warning: $build is a '${type:-plain}' build; times of an optimised build" \
          "(-DCMAKE_BUILD_TYPE=RelWithDebInfo) are the ones to compare" >&2 ;;
esac

TARVO_BENCH_PAGES="$build/bench-pages" "$repo/scripts/make-bench-pages.sh"

TARVO_BENCH_PAGES="$build/bench-pages" "$build/bench/image_bench" \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$@" \
  >"$build/bench-results.txt"
# The runs, then the table and the goals.
sed -n '/^CPU time per page/,$p' "$build/bench-results.txt"
