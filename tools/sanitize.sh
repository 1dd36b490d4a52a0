#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer + UBSan (build/asan)
# and runs the whole suite there, then under ThreadSanitizer (build/tsan) and
# runs the tests that start threads. Any sanitizer report fails its test and
# is printed at the end (reports of child processes, e.g. close_test's
# search_driver, would be lost on their stderr, so all go to files). Ends
# with ctest's summary line of each run; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

supp=$PWD/tests
asan_options=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1
ubsan_options=halt_on_error=1:print_stacktrace=1
lsan_options=suppressions=$supp/lsan.supp:print_suppressions=0
# ignore_noninstrumented_modules: see tests/tsan.supp.
tsan_options=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$supp/tsan.supp:print_suppressions=0

# Tests that start threads: the worker and its window calls (search_test,
# link_copy_test, hostile_test, misuse_test, window_*), the HTTPS client and
# the test site (http.*). close_test and hostile_close_test are left out:
# TSan (clang 14) aborts in the clone() behind QProcess; their children run
# the same code as search_test and hostile_test.
threaded='^(search_test|link_copy_test|hostile_test|misuse_test|window_test|window_thread_test|http\.)'

status=0
summaries=()

# run <name> <LUTING_SANITIZE value> [ctest arguments...]
run() {
  local name=$1 sanitize=$2 build=build/$1
  shift 2
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DLUTING_SANITIZE="$sanitize" -DLUTING_FUZZ=OFF
  cmake --build "$build"
  local reports=$PWD/$build/reports log=$build/ctest.log result=0
  rm -rf "$reports" && mkdir -p "$reports"
  ASAN_OPTIONS=$asan_options:log_path=$reports/asan \
  UBSAN_OPTIONS=$ubsan_options:log_path=$reports/ubsan \
  LSAN_OPTIONS=$lsan_options \
  TSAN_OPTIONS=$tsan_options:log_path=$reports/tsan \
    ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@" 2>&1 |
    tee "$log" || result=$?
  if compgen -G "$reports/*" >/dev/null; then
    echo "== $name: sanitizer reports"
    cat "$reports"/*
    result=1
  fi
  [ "$result" -eq 0 ] || status=1
  summaries+=("$name: $(grep -E 'tests passed' "$log" | tail -1 || echo "ctest failed (exit $result)")")
}

run asan address
run tsan thread -R "$threaded"

printf '%s\n' "${summaries[@]}"
exit "$status"
