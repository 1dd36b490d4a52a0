#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz, LUTING_FUZZ=ON) and
# runs each one on a scratch copy of its seed corpus.
#
#   tools/fuzz.sh [seconds] [target...] [-libfuzzer_option=value...]
#
# seconds: run time per target (default 60); a -runs=N option runs N inputs
# instead. Targets: text, page (default both). Any other -option goes to
# libFuzzer as it is (e.g. -jobs=2 -workers=2). Crash inputs are written to
# build/fuzz/artifacts/; new corpus entries stay in build/fuzz/corpus/.
# Prints the executions each target reached; exits non-zero on a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

seconds=60
targets=()
options=()
for arg in "$@"; do
  case "$arg" in
    -*) options+=("$arg") ;;
    text | page) targets+=("$arg") ;;
    fuzz_text | fuzz_page) targets+=("${arg#fuzz_}") ;;
    *[!0-9]* | '') echo "unknown argument: $arg" >&2; exit 2 ;;
    *) seconds=$arg ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(text page)
# Without -runs, the run stops after the given time.
printf '%s\n' "${options[@]}" | grep -q '^-runs=' || options+=("-max_total_time=$seconds")

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DLUTING_FUZZ=ON -DLUTING_SANITIZE=
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
root=$PWD
failed=0
summary=()
for name in "${targets[@]}"; do
  corpus=$root/$build/corpus/$name
  logs=$root/$build/logs/$name  # with -jobs, each worker writes a fuzz-N.log here
  mkdir -p "$corpus" "$root/$build/artifacts" "$logs"
  rm -f "$logs"/*.log
  for seed in tests/fuzz/corpus/"$name"/*; do  # new seeds in, earlier finds kept
    [ -e "$corpus/${seed##*/}" ] || cp "$seed" "$corpus/"
  done
  log=$logs/main.log
  echo "== fuzz_$name ${options[*]} (logs in $logs)"
  status=0
  (cd "$logs" && "$root/$build/tests/fuzz/fuzz_$name" "${options[@]}" -print_final_stats=1 \
     -dict="$root/tests/fuzz/$name.dict" -artifact_prefix="$root/$build/artifacts/fuzz_$name-" \
     "$corpus" >"$log" 2>&1) || status=$?
  # With -jobs the main log repeats the workers' logs: count those alone.
  counted=("$log")
  compgen -G "$logs/fuzz-*.log" >/dev/null && counted=("$logs"/fuzz-*.log)
  runs=$(cat "${counted[@]}" | sed -n 's/^stat::number_of_executed_units: *//p' |
         awk '{s += $1} END {print s + 0}')
  time=$(cat "${counted[@]}" | sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' |
         sort -n | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -hE '(ERROR: |SUMMARY: |property failed|Test unit written|runtime error)' "${counted[@]}" |
      head -20 || true
    summary+=("fuzz_$name: FAILED (exit $status) after $runs executions, logs in $logs")
  else
    summary+=("fuzz_$name: $runs executions${time:+ in $time s}, no crash")
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
