#!/usr/bin/env bash
# Builds and runs every test: a plain build (the default compiler), an
# AddressSanitizer/UBSan build and a ThreadSanitizer build (both with clang)
# and short libFuzzer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
# One job per core this run may use: nproc follows the CPU affinity, so
# "taskset -c 0,1 tools/test-all.sh" keeps it to two.
jobs=$(nproc)
# Seconds each test may run (CMake's VL_TEST_TIMEOUT, each test's limit): the
# sanitizer builds run several times slower.
test_timeout=240
sanitizer_test_timeout=600
fuzz_seconds=${VL_FUZZ_SECONDS:-20}
# The XML targets read every configuration and device list: they run longer.
fuzz_long_seconds=${VL_FUZZ_LONG_SECONDS:-45}
fuzz_long_targets=" xmlload xmlchunks xmlparser "
# A failing fuzz target's input (crash-, leak-, timeout-, oom-...) and its
# whole output are kept here.
fuzz_artifacts=$PWD/build-fuzz/artifacts

# This is how CI runs the tests, as root: a test that cannot make its network
# namespaces fails there rather than skip (tests/support/NeedsNamespaces.h).
# VL_TEST_REQUIRE_NAMESPACES=0 lets them skip, as they do under ctest alone.
export VL_TEST_REQUIRE_NAMESPACES=${VL_TEST_REQUIRE_NAMESPACES:-1}
. tests/support/namespaces.sh
if namespaces_required; then
  why=$(namespaces_unavailable)
  if [ -n "$why" ]; then
    echo "test-all.sh: the namespace tests would fail: this run $why;" \
      "VL_TEST_REQUIRE_NAMESPACES=0 lets them skip" >&2
    exit 1
  fi
fi

run_build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

clang_build() {  # dir, extra cmake args...
  # A tree kept from a build with another compiler is made anew: CMake keeps
  # the compiler it found first, and switching it drops the other settings.
  if [ -f "$1/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$1/CMakeCache.txt"; then
    rm -rf "$1"
  fi
  CC=clang CXX=clang++ run_build "$@"
}

# ctest over a build, counting the tests it skipped; an empty test list fails.
skipped=0
run_ctest() {  # dir, ctest arguments...
  local dir=$1 output
  shift
  output=$(mktemp)
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error "$@" | tee "$output"
  skipped=$((skipped + $(grep -c '(Skipped)$' "$output" || true)))
  rm -f "$output"
}

echo "== plain build"
run_build build -DVL_TEST_TIMEOUT="$test_timeout"
run_ctest build

echo "== install into a temporary prefix"
prefix=$(mktemp -d)
cmake --install build --prefix "$prefix" >/dev/null
tools/check-install.sh "$prefix" build
rm -rf "$prefix"

# clang builds the sanitizer trees faster than gcc, and its UBSan checks more
# (loads of enum values out of range, for one).
echo "== address and undefined-behaviour sanitizers (clang)"
clang_build build-asan -DVL_SANITIZE=address -DVL_BUILD_BENCH=OFF -DVL_TEST_TIMEOUT="$sanitizer_test_timeout"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan

echo "== thread sanitizer (clang)"
clang_build build-tsan -DVL_SANITIZE=thread -DVL_BUILD_BENCH=OFF -DVL_TEST_TIMEOUT="$sanitizer_test_timeout"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan

# One fuzz target from its seeds: its final coverage line goes to LOG, or,
# when it fails, its report and where its input and whole output are kept;
# its status to LOG.rc.
fuzz_one() {  # target, log
  local target=$1 log=$2
  local name corpus work seconds output
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  seconds=$fuzz_seconds
  case "$fuzz_long_targets" in *" ${name#fuzz_} "*) seconds=$fuzz_long_seconds ;; esac
  # A dictionary beside the target (fuzz/<name>.dict) is passed when there is one.
  local dict=()
  [ -f "fuzz/${name#fuzz_}.dict" ] && dict=(-dict="fuzz/${name#fuzz_}.dict")
  output=$fuzz_artifacts/$name.log
  local rc=0
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    -artifact_prefix="$fuzz_artifacts/$name-" "${dict[@]}" "$work" >"$output" 2>&1 || rc=$?
  { echo "-- $name (${seconds}s)"
    if [ "$rc" = 0 ]; then
      grep -E '^#[0-9]+[[:space:]]+DONE ' "$output" || echo "(no final coverage line)"
      rm -f "$output"
    else
      # The report: what follows the last progress line ("#RUNS\tWHAT ...").
      awk '/^#[0-9]+\t/ { n = 0; next } { report[++n] = $0 } END { for (i = 1; i <= n; i++) print report[i] }' \
        "$output"
      sed -n 's/.*Test unit written to \(.*\)$/input kept: \1/p' "$output"
      echo "whole output kept: $output"
    fi
  } >"$log"
  echo "$rc" >"$log.rc"
  rm -rf "$work"
}

if [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzz targets (${fuzz_seconds}s each, ${jobs} at a time)"
  clang_build build-fuzz -DVL_BUILD_FUZZ=ON -DVL_BUILD_TESTS=OFF -DVL_BUILD_BENCH=OFF
  mkdir -p "$fuzz_artifacts"
  logs=$(mktemp -d)
  # The targets are those of the sources (fuzz/<name>.cpp): a program left in
  # build-fuzz/bin by a target since removed is not run. They are
  # single-threaded: one per core, longest first.
  names=()
  for source in fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    case "$fuzz_long_targets" in *" $name "*) names=("$name" "${names[@]}") ;; *) names+=("$name") ;; esac
  done
  targets=()
  for name in "${names[@]}"; do
    if [ ! -x "build-fuzz/bin/fuzz_$name" ]; then
      echo "test-all.sh: fuzz/$name.cpp has no program build-fuzz/bin/fuzz_$name" >&2
      exit 1
    fi
    targets+=("build-fuzz/bin/fuzz_$name")
  done
  for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    fuzz_one "$target" "$logs/$(basename "$target")" &
  done
  wait
  failed=0
  for target in "${targets[@]}"; do
    log=$logs/$(basename "$target")
    cat "$log"
    [ "$(cat "$log.rc" 2>/dev/null || echo 1)" = 0 ] || { echo "FAILED: $(basename "$target")"; failed=1; }
  done
  rm -rf "$logs"
  [ "$failed" = 0 ]
fi
if [ "$skipped" = 0 ]; then
  echo "== all tests passed"
else
  echo "== all tests passed but $skipped skipped (see the lists above)"
fi
