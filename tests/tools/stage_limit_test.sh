#!/usr/bin/env bash
# The stage runner of tools/test-all.sh (tools/stages.sh): a stage that runs
# past its time limit is stopped, with the process it started, the run ends
# with status 1 and the stopped stage is said and kept for the summary; a
# stage within its limit passes. What is left of the run's limit cuts a
# stage's own, and a child that ignores SIGTERM is killed.
set -u
runner=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $1"
  exit 1
}

# A process's state and start time ("S 123456"), empty once it is gone.
state() {  # pid
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  echo "$stat" | awk '{ print $1, $20 }'
}

# Waits until a child recorded in FILE (its state line, then its pid) is
# gone: a zombie at most, or its pid taken by another process.
child_gone() {  # file, what
  local started child now i
  { read -r started && read -r child; } <"$1" || fail "$2 did not start its child"
  for ((i = 0; i < 75; i++)); do
    now=$(state "$child")
    [ "$now" = "$started" ] || break
    sleep 0.2
  done
  [ -z "$now" ] || [ "${now%% *}" = Z ] || [ "${now#* }" != "${started#* }" ] ||
    fail "$2's child $child still runs ($now)"
}

# A stage that would run a minute, its child too, limited to 1 s.
output=$(
  exec 2>&1
  . "$runner"
  run_seconds=3600
  stage_quick() { :; }
  stage_slow() {
    sleep 60 >/dev/null 2>&1 &
    state $! >"$work/child"
    echo $! >>"$work/child"
    wait
    : >"$work/finished"
  }
  trap 'printf "stages: %s\n" "${stages[@]}"' EXIT
  run_stage "quick stage" 30 stage_quick
  run_stage "slow stage" 1 stage_slow
  echo "the run went on"
)
status=$?
printf '%s\n' "$output"

[ "$status" = 1 ] || fail "the run ended with status $status, not 1"
grep -qx 'test-all.sh: slow stage did not end within its time limit of 1 s: stopped' <<<"$output" ||
  fail "the stopped stage was not said"
grep -qx 'stages: slow stage|stopped at its time limit of 1 s' <<<"$output" ||
  fail "the stopped stage was not kept for the summary"
grep -q '^stages: quick stage|passed in ' <<<"$output" || fail "the quick stage did not pass"
! grep -q 'the run went on' <<<"$output" || fail "the run went on after a stopped stage"
[ ! -e "$work/finished" ] || fail "the slow stage ran to its end"
# Its child is gone, within the 10 s the runner gives a stopped process
# before SIGKILL.
child_gone "$work/child" "the slow stage"

# A run of 2 s left and a stage of 60 s: the run's limit stops the stage,
# and its child, which ignores SIGTERM, is killed once the 10 s are over.
rm -f "$work/child" "$work/finished"
output=$(
  exec 2>&1
  . "$runner"
  SECONDS=0
  run_seconds=2
  stage_deaf() {
    bash -c 'trap "" TERM; exec sleep 60' >/dev/null 2>&1 &
    state $! >"$work/child"
    echo $! >>"$work/child"
    wait
    : >"$work/finished"
  }
  trap 'printf "stages: %s\n" "${stages[@]}"' EXIT
  run_stage "deaf stage" 60 stage_deaf
  echo "the run went on"
)
status=$?
printf '%s\n' "$output"
[ "$status" = 1 ] || fail "the run with 2 s left ended with status $status, not 1"
grep -qx 'stages: deaf stage|stopped at its time limit of 2 s' <<<"$output" ||
  fail "the run's limit did not cut the stage's"
! grep -q 'the run went on' <<<"$output" || fail "the run went on after the stage was cut"
[ ! -e "$work/finished" ] || fail "the cut stage ran to its end"
child_gone "$work/child" "the cut stage"
echo "stage limit checked"
