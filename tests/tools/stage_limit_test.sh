#!/usr/bin/env bash
# The stage runner of tools/test-all.sh (tools/stages.sh): a stage that runs
# past its time limit is stopped, with the process it started, the run ends
# with status 1 and the stopped stage is said and kept for the summary; a
# stage within its limit passes.
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
# Its child is gone (a zombie at most: nothing here may reap it), within
# the 10 s the runner gives a stopped process before SIGKILL.
{ read -r started && read -r child; } <"$work/child" || fail "the slow stage did not start its child"
for ((i = 0; i < 50; i++)); do
  now=$(state "$child")
  [ "$now" = "$started" ] || break
  sleep 0.2
done
[ -z "$now" ] || [ "${now%% *}" = Z ] || [ "${now#* }" != "${started#* }" ] ||
  fail "the slow stage's child $child still runs ($now)"
echo "stage limit checked"
