#!/usr/bin/env bash
# Builds and runs every test: a plain build (the default compiler), an
# AddressSanitizer/UBSan build and a ThreadSanitizer build (both with clang)
# and short libFuzzer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
# One job per core this run may use: nproc follows the CPU affinity, so
# "taskset -c 0,1 tools/test-all.sh" keeps it to two.
jobs=$(nproc)
# Tests at a time, two per core, no more than one per core of those that
# compute (run_ctest). Three per core was faster still, but on two busy
# cores the sanitized programs of the network tests then missed replies.
test_jobs=$((jobs * 2))
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
# Minutes each stage may run, some three times what it takes on two cores
# of a busy host from a fresh clone, so that a stage that hangs is stopped
# and the run ends saying which. Measured there (docs/testing.md): plain
# 9:50, ASan 8:55, TSan 8:56, fuzz 3:36, 31 min 20 s in all (36 min 17 s on
# another busy host); their longest tests took up to 135 s (TSan). The fuzz
# stage has its build's minutes and twice its runs' time. No stage runs
# past the run's own limit, some twice the whole run, which with the 10
# minutes .ci/run gives tools/deps.sh stays within CI's 90.
plain_minutes=30
install_minutes=5
asan_minutes=30
tsan_minutes=30
fuzz_build_minutes=8
run_minutes=75
run_seconds=$((run_minutes * 60))

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

# The stages' runner: run_stage, stop_stage, duration, the run's folder and
# the stages' outcomes.
. tools/stages.sh
make_run_folder

# What the stages leave for the summary: the tests skipped, one line each.
notes=$(mktemp -d)
skipped_list=$notes/skipped
: >"$skipped_list"
# The cores the tests that compute share (run_ctest).
resources=$notes/resources.json
printf '{"version": {"major": 1, "minor": 0}, "local": [{"cores": [{"id": "0", "slots": %d}]}]}\n' "$jobs" \
  >"$resources"

# Each setting a build of this run needs is given, whatever a tree kept holds
# (a "build" configured without tests, with a sanitizer or for Debug would
# not be the plain build), and one that changes is said. The compiler
# launcher (ccache) and the other settings are kept.
run_build() {  # dir, cmake -D settings...
  local dir=$1 setting name value kept
  shift
  if [ -f "$dir/CMakeCache.txt" ]; then
    for setting in "$@"; do
      name=${setting#-D}; name=${name%%=*}
      value=${setting#*=}
      kept=$(sed -n "s/^$name:[A-Z]*=//p" "$dir/CMakeCache.txt")
      if [ -n "$kept" ] && [ "$kept" != "$value" ]; then
        echo "test-all.sh: $dir was configured with $name=$kept: now ${value:-empty}"
      fi
    done
  fi
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

clang_build() {  # dir, cmake -D settings...
  # A tree kept from a build with another compiler is made anew: CMake keeps
  # the compiler it found first, and switching it drops the other settings.
  if [ -f "$1/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$1/CMakeCache.txt"; then
    rm -rf "$1"
  fi
  CC=clang CXX=clang++ run_build "$@"
}

# The settings every build of this run shares.
build_settings=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)

# Notes each test a ctest run skipped, with why (GoogleTest's skip message,
# or a script's last line), from the run's log.
note_skipped() {  # label, dir, ctest's output
  local label=$1 log=$2/Testing/Temporary/LastTest.log test why
  sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$3" | while IFS= read -r test; do
    why=$(awk -v name="$test" '
      /^[0-9]+\/[0-9]+ Test: / { current = substr($0, index($0, "Test: ") + 6); next }
      current != name { next }
      /^Output:$/ { getline; output = 1; n = 0; next }
      output && /^<end of output>$/ { exit }
      output && /: Skipped$/ { gtest = 1; n = 0; next }
      output && gtest && /^\[  SKIPPED \]/ { exit }
      output && NF { lines[++n] = $0 }
      END { if (gtest) { for (i = 1; i <= n; i++) printf "%s%s", (i > 1 ? " " : ""), lines[i] }
            else if (n) printf "%s", lines[n] }' "$log" 2>/dev/null)
    echo "$label: $test: ${why:-(no reason found in $log)}" >>"$skipped_list"
  done
}

# ctest over a build; the tests it skipped are noted; an empty test list
# fails. The tests that wait (label "waits" in tests/CMakeLists.txt: those
# in network namespaces, whose time goes on their programs' time-outs)
# leave a core mostly idle: it runs two tests per core, of which no more
# than one per core of the others, each of which takes a slot of the
# "cores" this run's resource file gives (RESOURCE_GROUPS).
run_ctest() {  # label, dir, ctest arguments...
  local label=$1 dir=$2 output status=0
  shift 2
  output=$notes/ctest.out
  ctest --test-dir "$dir" -j "$test_jobs" --resource-spec-file "$resources" --output-on-failure --no-tests=error \
    "$@" | tee "$output" || status=$?
  note_skipped "$label" "$dir" "$output"
  return "$status"
}

stage_plain() {
  local fuzz_build='' status=0
  run_build build "${build_settings[@]}" -DVL_SANITIZE= -DVL_BUILD_TESTS=ON -DVL_BUILD_BENCH=ON -DVL_BUILD_FUZZ=OFF \
    -DVL_TEST_TIMEOUT="$test_timeout"
  # The fuzz targets build meanwhile at idle priority, on the cores the
  # tests that wait leave idle; the fuzz stage finds them built (or builds
  # what is left, saying what failed). Their output is kept for it.
  if have_fuzz_targets; then
    (
      chrt --idle -p 0 "$BASHPID" >/dev/null || true
      renice -n 19 -p "$BASHPID" >/dev/null || true
      build_fuzz
    ) >"$notes/fuzz-build.log" 2>&1 &
    fuzz_build=$!
  fi
  run_ctest plain build || status=$?
  if [ -n "$fuzz_build" ]; then
    # shellcheck disable=SC2046
    [ "$status" = 0 ] || kill $(process_tree "$fuzz_build") 2>/dev/null || true
    wait "$fuzz_build" || true
  fi
  return "$status"
}

stage_install() {
  local prefix status=0
  prefix=$(mktemp -d)
  cmake --install build --prefix "$prefix" >/dev/null
  # Its standard error is kept too, for the skip it may say.
  { tools/check-install.sh "$prefix" build 2>&1 1>&3 | tee "$notes/install.err" >&2; } 3>&1 || status=$?
  rm -rf "$prefix"
  # Where no namespaces can be made (and need not be), the probe is skipped.
  sed -n 's/^check-install\.sh: \(.* is skipped: .*\)$/install: tools\/check-install.sh: \1/p' \
    "$notes/install.err" >>"$skipped_list"
  return "$status"
}

# clang builds the sanitizer trees faster than gcc, and its UBSan checks more
# (loads of enum values out of range, for one).
stage_asan() {
  clang_build build-asan "${build_settings[@]}" -DVL_SANITIZE=address -DVL_BUILD_TESTS=ON -DVL_BUILD_BENCH=OFF \
    -DVL_BUILD_FUZZ=OFF -DVL_TEST_TIMEOUT="$sanitizer_test_timeout"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest asan build-asan
}

stage_tsan() {
  clang_build build-tsan "${build_settings[@]}" -DVL_SANITIZE=thread -DVL_BUILD_TESTS=ON -DVL_BUILD_BENCH=OFF \
    -DVL_BUILD_FUZZ=OFF -DVL_TEST_TIMEOUT="$sanitizer_test_timeout"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest tsan build-tsan
}

# One fuzz target from its seeds: its final coverage line goes to LOG, or,
# when it fails, its report and where its input and whole output are kept;
# its status to LOG.rc.
fuzz_one() {  # target, seconds, log
  local target=$1 seconds=$2 log=$3
  local name corpus work output
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  # A dictionary beside the target (fuzz/<name>.dict) is passed when there is one.
  local dict=() dict_file="fuzz/${name#fuzz_}.dict"
  [ -f "$dict_file" ] && dict=(-dict="$dict_file")
  output=$fuzz_artifacts/$name.log
  local rc=0
  # A dictionary link that leads nowhere would run the target without it, unseen.
  if [ -L "$dict_file" ] && [ ! -f "$dict_file" ]; then
    echo "$dict_file leads to no file" >"$output"
    rc=1
  else
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="$fuzz_artifacts/$name-" "${dict[@]}" "$work" >"$output" 2>&1 || rc=$?
  fi
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

have_fuzz_targets() {
  [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1
}

build_fuzz() {
  clang_build build-fuzz "${build_settings[@]}" -DVL_SANITIZE= -DVL_BUILD_FUZZ=ON -DVL_BUILD_TESTS=OFF \
    -DVL_BUILD_BENCH=OFF
}

# The fuzz targets are those of the sources (fuzz/<name>.cpp): a program left
# in build-fuzz/bin by a target since removed is not run. They are
# single-threaded: one per core, longest first. fuzz_names and fuzz_times
# (their seconds), and fuzz_span, the seconds their runs take.
fuzz_plan() {
  local source name slot least seconds
  fuzz_names=() fuzz_times=()
  for source in fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    case "$fuzz_long_targets" in
      *" $name "*) fuzz_names=("$name" "${fuzz_names[@]}") fuzz_times=("$fuzz_long_seconds" "${fuzz_times[@]}") ;;
      *) fuzz_names+=("$name") fuzz_times+=("$fuzz_seconds") ;;
    esac
  done
  # Each target on the core free first.
  local ends=()
  for ((slot = 0; slot < jobs; slot++)); do ends+=(0); done
  for seconds in "${fuzz_times[@]}"; do
    least=0
    for ((slot = 1; slot < jobs; slot++)); do
      if [ "${ends[slot]}" -lt "${ends[least]}" ]; then least=$slot; fi
    done
    ends[least]=$((ends[least] + seconds))
  done
  fuzz_span=0
  for seconds in "${ends[@]}"; do
    if [ "$seconds" -gt "$fuzz_span" ]; then fuzz_span=$seconds; fi
  done
}

stage_fuzz() {
  local long=${fuzz_long_targets# } i
  echo "${#fuzz_names[@]} targets, ${fuzz_seconds}s each, ${fuzz_long_seconds}s the XML ones (${long% }), ${jobs} at" \
    "a time: their runs take some $(duration "$fuzz_span") once built"
  build_fuzz
  mkdir -p "$fuzz_artifacts"
  local logs
  logs=$(mktemp -d)
  for name in "${fuzz_names[@]}"; do
    if [ ! -x "build-fuzz/bin/fuzz_$name" ]; then
      echo "test-all.sh: fuzz/$name.cpp has no program build-fuzz/bin/fuzz_$name" >&2
      exit 1
    fi
  done
  # Each target's lines as it ends, and the count.
  local -A running=()
  local failed=0 ended=0 pid log
  fuzz_ended() {
    wait -n -p pid "${!running[@]}" || true
    log=$logs/fuzz_${running[$pid]}
    unset "running[$pid]"
    ended=$((ended + 1))
    sed "1s/\$/ ended, $ended of ${#fuzz_names[@]}/" "$log"
    [ "$(cat "$log.rc" 2>/dev/null || echo 1)" = 0 ] || { echo "FAILED: $(basename "$log")"; failed=1; }
  }
  for ((i = 0; i < ${#fuzz_names[@]}; i++)); do
    while [ "${#running[@]}" -ge "$jobs" ]; do fuzz_ended; done
    fuzz_one "build-fuzz/bin/fuzz_${fuzz_names[i]}" "${fuzz_times[i]}" "$logs/fuzz_${fuzz_names[i]}" &
    running[$!]=${fuzz_names[i]}
  done
  while [ "${#running[@]}" -gt 0 ]; do fuzz_ended; done
  rm -rf "$logs"
  [ "$failed" = 0 ]
}

trap 'on_signal 130' INT
trap 'on_signal 143' TERM
trap 'on_signal 129' HUP

# The summary, however the run ends: each stage's outcome and time, and each
# test skipped, with why.
summary() {
  local status=$? entry count
  trap - EXIT
  [ -z "$timer_pid" ] || kill "$timer_pid" 2>/dev/null || true
  echo "== summary ($jobs cores, $(duration "$SECONDS"))"
  for entry in "${stages[@]}"; do printf '  %s: %s\n' "${entry%%|*}" "${entry#*|}"; done
  count=$(wc -l <"$skipped_list")
  if [ "$count" != 0 ]; then
    echo "  skipped ($count):"
    sed 's/^/    /' "$skipped_list"
  fi
  remove_run_folder
  if [ "$status" != 0 ]; then
    echo "== FAILED"
  elif [ "$count" = 0 ]; then
    echo "== all tests passed"
  else
    echo "== all tests passed but $count skipped (listed above)"
  fi
  exit "$status"
}
trap summary EXIT

run_stage "plain build" $((plain_minutes * 60)) stage_plain
run_stage "install into a temporary prefix" $((install_minutes * 60)) stage_install
run_stage "address and undefined-behaviour sanitizers (clang)" $((asan_minutes * 60)) stage_asan
run_stage "thread sanitizer (clang)" $((tsan_minutes * 60)) stage_tsan
if have_fuzz_targets; then
  fuzz_plan
  run_stage "fuzz targets" $(((fuzz_build_minutes + (2 * fuzz_span + 59) / 60) * 60)) stage_fuzz
fi
