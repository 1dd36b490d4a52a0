#!/usr/bin/env bash
# Builds the benchmarks in Release mode (build/bench) and runs them all,
# printing one table: every figure beside a reference measured in the same
# run, their ratio, the goal and whether it is met. The table also goes to
# build/bench/results.md; with --record it replaces the table in
# bench/RESULTS.md, together with the machine and the date.
set -euo pipefail
cd "$(dirname "$0")/.."
record=0
[ "${1:-}" = "--record" ] && record=1
tools/install-deps.sh
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLUTING_BUILD_BENCH=ON -DLUTING_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_page bench_page_count bench_search bench_startup \
  luting-demo-site >/dev/null
bin=$build/bench
load=$(cut -d' ' -f1 /proc/loadavg)  # other programs' share of the machine, for the record
rows=$build/rows.tsv
: >"$rows"
: >"$build/bench.log"
export QT_QPA_PLATFORM=offscreen

echo "page work (Google Benchmark) ..." >&2
"$bin/bench_page" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 \
  --benchmark_format=json 2>/dev/null >"$build/page.json"
# Median CPU time of each benchmark, and its body size.
awk -F': ' '
  /"name":/ { gsub(/[",]/, "", $2); name = $2 }
  /"cpu_time":/ && name ~ /_median$/ { gsub(/,/, "", $2); t[name] = $2 + 0 }
  /"body_bytes":/ && name ~ /_median$/ { gsub(/,/, "", $2); b[name] = $2 + 0 }
  END {
    n = split("20 200", results, " ")
    for (i = 1; i <= n; ++i) {
      r = results[i]; w = t["pageWork/" r "_median"]; c = t["bareConversion/" r "_median"]
      kb = b["pageWork/" r "_median"] / 1024
      printf "ROW\tpage work, %.0f KB page of %s results (us)\t%.1f\t%.1f bare iconv\t%.2f\t<= 1.5 x ref\t%s\n",
        kb, r, w, c, w / c, (w <= 1.5 * c) ? "yes" : "NO"
    }
  }' "$build/page.json" >>"$rows"

echo "page work (callgrind instruction counts) ..." >&2
count() {  # RESULTS MODE -> "instructions bytes"
  local out=$build/callgrind.$1.$2 bytes
  bytes=$(valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out" \
    "$bin/bench_page_count" "$1" "$2" 2>/dev/null)
  echo "$(awk '/^totals:/ { print $2 }' "$out") $bytes"
}
for r in 20 200; do
  read -r work bytes < <(count "$r" work)
  read -r conv _ < <(count "$r" iconv)
  awk -v r="$r" -v w="$work" -v c="$conv" -v b="$bytes" 'BEGIN {
    printf "ROW\tpage work instructions, %.0f KB page of %s results\t%d (%.1f/byte)\t%d (%.1f/byte) bare iconv\t%.2f\t(info)\t-\n",
      b / 1024, r, w, w / b, c, c / b, w / c }' >>"$rows"
done

echo "whole search on loopback ..." >&2
"$bin/bench_search" ops 2>>"$build/bench.log" | grep '^ROW' >>"$rows"
"$bin/bench_search" whole 2>>"$build/bench.log" | grep '^ROW' >>"$rows"
echo "long list ..." >&2
"$bin/bench_search" long "$build/tools/demo-site/luting-demo-site" 2>>"$build/bench.log" | grep '^ROW' >>"$rows"
echo "start-up ..." >&2
"$bin/bench_startup" "$bin/bench_startup_window" "$bin/bench_startup_empty" 2>>"$build/bench.log" | grep '^ROW' >>"$rows"

table=$build/results.md
{
  echo "| measure | value | reference | ratio | goal | met |"
  echo "|---|---:|---:|---:|---|---|"
  awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6, $7 }' "$rows"
  echo
  echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory;" \
    "$(date -u '+%Y-%m-%d %H:%M UTC'); load average $load at the start."
} >"$table"
cat "$table"

if [ "$record" = 1 ]; then
  awk -v table="$table" '
    /^<!-- table -->$/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /^<!-- \/table -->$/ { skip = 0 }
    !skip' bench/RESULTS.md >"$build/RESULTS.md.new"
  mv "$build/RESULTS.md.new" bench/RESULTS.md
fi
