#!/usr/bin/env bash
# What a stage stopped at its time limit leaves goes with the run: the
# stage runs vltestnet with a device (the emulator's device list written by
# the test networks), makes a temporary folder as the install and fuzz
# stages do, and hangs (vltestnet is frozen, so only SIGKILL ends it and it
# removes nothing itself). Once the run has ended, neither the device list
# nor the folder nor the run's folder is left, and the run's folder of a
# run that no longer runs, found at the start, was removed. Its namespaces
# have VL_NETNS_PREFIX's names; it removes those of its own vltestnet alone.
set -u
runner=$1
vltestnet=$2
. "$(dirname "$0")/../support/namespaces.sh"
why=$(namespaces_unavailable)
if [ -n "$why" ]; then
  if namespaces_required; then
    echo "FAILED: the stage's devices: this run $why (VL_TEST_REQUIRE_NAMESPACES is set)"
    exit 1
  fi
  echo "skipped: the stage's devices: this run $why"
  exit 77
fi
work=$(mktemp -d)
# The namespaces of the frozen vltestnet, which could not remove them:
# PREFIX<its pid>n..., PREFIX being "vl" unless VL_NETNS_PREFIX says.
remove_namespaces() {
  local net ns
  net=$(cat "$work/net" 2>/dev/null) || return 0
  for ns in $(ip netns list | awk '{ print $1 }'); do
    case $ns in "${VL_NETNS_PREFIX:-vl}${net}n"*) ip netns del "$ns" ;; esac
  done
}
trap 'remove_namespaces; rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $1"
  exit 1
}

# The runs' folders are made here: one of a run that has ended, one of a
# run that still runs (this one's).
base=$work/tmp
mkdir -p "$base/vl-run-999999999-gone" "$base/vl-run-$$-running"

(
  exec >"$work/output" 2>&1
  export TMPDIR=$base
  . "$runner"
  SECONDS=0
  run_seconds=3600
  stage_devices() {
    local line
    coproc NET { exec "$vltestnet" --network 1 ''; }
    echo "$NET_PID" >"$work/net"
    while read -r line <&"${NET[0]}"; do [ "$line" = ready ] && break; done
    [ "$line" = ready ] || return 1
    # The emulator's device list: its command line's last argument.
    # shellcheck disable=SC2046
    set -- $(cat /proc/"$NET_PID"/task/*/children)
    tr '\0' '\n' <"/proc/$1/cmdline" | tail -n 1 >"$work/list"
    mktemp -d >"$work/folder"
    echo "$TMPDIR" >"$work/tmpdir"
    kill -STOP "$NET_PID"
    : >"$work/ready"
    wait
  }
  trap 'remove_run_folder; printf "stages: %s\n" "${stages[@]}"' EXIT
  make_run_folder
  run_stage "devices" 3600 stage_devices
) &
run=$!

# Once the stage holds its devices, its time is up: its timer, the runner's
# "sleep" beside the stage, ends as it would at the limit.
for ((i = 0; i < 1200; i++)); do
  [ ! -e "$work/ready" ] && kill -0 "$run" 2>/dev/null || break
  sleep 0.1
done
[ -e "$work/ready" ] || { cat "$work/output"; fail "the stage did not start its devices within 120 s"; }
timer=
for child in $(cat /proc/"$run"/task/*/children); do
  [ "$(cat /proc/"$child"/comm 2>/dev/null)" = sleep ] && timer=$child
done
[ -n "$timer" ] || fail "the stage's timer was not found"
kill "$timer"
wait "$run"
status=$?
cat "$work/output"

[ "$status" = 1 ] || fail "the run ended with status $status, not 1"
grep -q '^stages: devices|stopped at its time limit of ' "$work/output" ||
  fail "the stage was not stopped at its limit"
list=$(cat "$work/list") folder=$(cat "$work/folder") tmpdir=$(cat "$work/tmpdir")
[ -n "$list" ] && [ -n "$folder" ] || fail "the stage did not say its device list and folder"
[ ! -e "$list" ] || fail "the emulator's device list $list is left"
[ ! -e "$folder" ] || fail "the stage's temporary folder $folder is left"
[ "$tmpdir" != "$base" ] && [ ! -e "$tmpdir" ] || fail "the run's folder $tmpdir is left"
[ ! -e "$base/vl-run-999999999-gone" ] || fail "the folder of a run that has ended is left"
[ -e "$base/vl-run-$$-running" ] || fail "the folder of a run that still runs was removed"
echo "a stopped stage's leftovers checked"
