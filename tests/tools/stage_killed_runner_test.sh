#!/usr/bin/env bash
# A run killed outright (SIGKILL, which it cannot trap) leaves nothing
# running: its stage runs in a process group of its own beside a watcher in
# a session of its own, which ends the stage, the programs it started (one
# in a session of its own, one that dropped its environment) and the
# network namespaces they left, and removes the run's folder. With the
# watcher killed as well, the next run ends what is left before it removes
# the folder. A run stopped by SIGTERM ends the same, and so does one of
# which every process is stopped by SIGTERM at once: its programs end before
# the runner can end them, and the runner deletes the namespaces they
# recorded in the run's folder (and kills one that ignores SIGTERM). A run
# that still runs keeps its folder and its stage; a folder whose runner's
# pid now names another process goes, and a process group that took the id
# of a dead run's stage group stays. A namespace named with a pid of no
# process of the run stays. Without namespaces (not root) those are not
# checked. The namespaces have a prefix of their own, which the test
# programs' removal of others' leftovers does not meet: those that this test
# left, killed, go at its next start, and so does its folder.
set -u
runner=$1
. "$runner"
# Its folder is named after it (vl-stagetest-PID-XXXXXX), with its pid and
# start time in .vl-runner as a run's: one that a test killed outright left
# goes at a later start, once the runs made in it have ended (their runners
# with them).
remove_gone_tests() {  # folder that holds them
  local old folder pid start kept
  for old in "$1"/vl-stagetest-*; do
    [ -d "$old" ] || continue
    pid=${old##*/vl-stagetest-} start=''
    pid=${pid%%-*}
    read -r pid start 2>/dev/null <"$old/.vl-runner"
    if [ -z "$start" ]; then
      [ ! -d "/proc/$pid" ] || continue
    elif still_runs "$pid" "$start"; then
      continue
    fi
    kept=
    for folder in "$old"/tmp/vl-run-*; do
      [ -d "$folder" ] || continue
      if read -r pid start 2>/dev/null <"$folder/.vl-runner" && [ "$(start_time "$pid")" = "$start" ]; then
        kill -KILL "$pid"
      fi
      end_run "$folder" || kept=yes
    done
    [ -n "$kept" ] || rm -rf "$old"
  done
}
remove_gone_tests "${TMPDIR:-/tmp}"
work=$(mktemp -d "${TMPDIR:-/tmp}/vl-stagetest-$$-XXXXXX")
echo "$$ $(start_time $$)" >"$work/.vl-runner"
pids_to_end=()
prefix=vlstagetest
export VL_NETNS_PREFIX=$prefix
trap 'kill -KILL "${pids_to_end[@]}" 2>/dev/null; remove_test_namespaces; rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $1"
  exit 1
}
base=$work/tmp
mkdir -p "$base"
. "$(dirname "$0")/../support/namespaces.sh"
namespaces=yes
why=$(namespaces_unavailable)
if [ -n "$why" ]; then
  namespaces_required && fail "the stages' namespaces: this run $why (VL_TEST_REQUIRE_NAMESPACES is set)"
  echo "the stages' namespaces are not checked: this run $why"
  namespaces=
fi
remove_test_namespaces() {
  local ns
  for ns in "$prefix$$n0xbystander" $(cat "$work"/*/namespaces 2>/dev/null); do
    [ ! -e "/run/netns/$ns" ] || ip netns del "$ns"
  done
}
if [ -n "$namespaces" ]; then
  for ns in /run/netns/"$prefix"[0-9]*n*; do
    pid=${ns#/run/netns/"$prefix"}
    pid=${pid%%n*}
    [ ! -e "$ns" ] || [ -d "/proc/$pid" ] || ip netns del "${ns##*/}"
  done
fi
# One that no process of a run made: it stays.
[ -z "$namespaces" ] || ip netns add "$prefix$$n0xbystander"

# Fails unless the namespaces the stage in DIR made are gone and the
# bystander stays, and unless its programs were asked to end (SIGTERM)
# before they were killed.
namespaces_ended() {  # what, dir
  local left
  [ -e "$2/polite.asked" ] || fail "$1: its programs were killed without SIGTERM first"
  [ -n "$namespaces" ] || return 0
  left=$(ip netns list | awk '{ print $1 }' | grep -xF -f "$2/namespaces")
  [ -z "$left" ] || fail "$1: its namespaces are left: $(echo $left)"
  [ -e "/run/netns/$prefix$$n0xbystander" ] || fail "$1: a namespace of no process of the run was removed"
}

# Starts a run, in a process group of its own, whose one stage holds four
# programs (one that notes SIGTERM in DIR's "polite.asked" before it ends,
# one in a session of its own, one without the run's environment, one in a
# session of its own that has left the stage's tree), each with a namespace
# named after it, until killed; "stoppable", it stops itself at SIGTERM as
# test-all.sh does, and "recorded" as well, its namespaces are recorded in
# its folder as the test programs record theirs, a fifth program ignores
# SIGTERM, and one more namespace's record names the pid in DIR's "reused"
# with another start time, a pid that a process of no run took. In DIR its
# pids: "run", "stage", "watcher", "children", its folder, "folder", and
# the namespaces, "namespaces".
start_run() {  # dir [stoppable | recorded]
  local dir=$1 mode=${2:-} i
  mkdir -p "$dir"
  : >"$dir/namespaces"
  set -m
  (
    exec >"$dir/output" 2>&1
    export TMPDIR=$base
    . "$runner"
    run_seconds=3600
    stop_grace=1
    [ -z "$mode" ] || trap 'on_signal 143' TERM
    [ "$mode" != recorded ] || trap remove_run_folder EXIT
    stage_held() {
      local child name ready
      bash -c 'trap ": >\"\$0.asked\"; exit" TERM; : >"$0.ready"; sleep 600 & wait' "$dir/polite" &
      echo $! >"$dir/children"
      setsid sleep 600 &
      echo $! >>"$dir/children"
      env -i sleep 600 &
      echo $! >>"$dir/children"
      (setsid sleep 600 & echo $! >>"$dir/children")
      ready=$dir/polite.ready
      if [ "$mode" = recorded ]; then
        (trap '' TERM; : >"$dir/deaf.ready"; exec sleep 600) &
        echo $! >>"$dir/children"
        ready="$ready $dir/deaf.ready"
        mkdir "$TMPDIR/$recorded_namespaces"
      fi
      for ((i = 0; i < 100; i++)); do
        ls $ready >/dev/null 2>&1 && break
        sleep 0.1
      done
      if [ -n "$namespaces" ]; then
        for child in $(cat "$dir/children"); do
          name=$prefix${child}n0xpc
          [ "$mode" != recorded ] || echo "$child $(start_time "$child")" >"$TMPDIR/$recorded_namespaces/$name"
          ip netns add "$name"
          echo "$name" >>"$dir/namespaces"
        done
        if [ "$mode" = recorded ]; then
          name=$prefix$$n1xreused
          echo "$(cat "$dir/reused") 1" >"$TMPDIR/$recorded_namespaces/$name"
          ip netns add "$name"
          echo "$name" >>"$dir/namespaces"
        fi
      fi
      echo "$BASHPID" >"$dir/stage"
      echo "${watcher_pid:-}" >"$dir/watcher"
      echo "$TMPDIR" >"$dir/folder"
      : >"$dir/ready"
      wait
    }
    make_run_folder
    run_stage "held" 3600 stage_held
  ) &
  echo $! >"$dir/run"
  set +m
  pids_to_end+=($!)
  for ((i = 0; i < 300; i++)); do
    [ -e "$dir/ready" ] && break
    sleep 0.1
  done
  [ -e "$dir/ready" ] || { cat "$dir/output"; fail "the run did not start its stage within 30 s"; }
  pids_to_end+=($(cat "$dir/children" "$dir/stage" "$dir/watcher"))
}

# The pids in the files given that still run (zombies are gone).
running() {  # file...
  local pid
  for pid in $(cat "$@"); do
    [ -n "$pid" ] && grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null && echo "$pid"
  done
}

# Waits up to 30 s for the pids in the files given to be gone.
wait_gone() {  # what, file...
  local what=$1 i left
  shift
  for ((i = 0; i < 300; i++)); do
    left=$(running "$@")
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  fail "$what: still running: $(echo $left)"
}

# A run killed outright: its watcher ends the stage and removes the folder.
start_run "$work/a"
folder=$(cat "$work/a/folder")
# The run's folder is open to all, as /tmp is: a test runs a program as
# another user on files in it.
[ "$(stat -c %a "$folder")" = 755 ] || fail "the run's folder is not open to all: $(stat -c %a "$folder")"
# Meanwhile another run starts: the first still runs, so its folder and its
# stage stay.
(export TMPDIR=$base; make_run_folder; remove_run_folder)
[ -d "$folder" ] || fail "the next run removed the folder of a run that still runs"
[ "$(running "$work/a/children" | wc -l)" = 4 ] || fail "the next run ended the stage of a run that still runs"
# The runner's whole process group, as a terminal's Ctrl-C or hangup ends
# it.
kill_runner() {  # dir
  disown "$(cat "$1/run")"
  kill -KILL -- -"$(cat "$1/run")"
}
kill_runner "$work/a"
wait_gone "the stage of a run killed outright" "$work/a/stage" "$work/a/children"
for ((i = 0; i < 100; i++)); do
  [ -d "$folder" ] || break
  sleep 0.1
done
[ ! -d "$folder" ] || fail "the folder of a run killed outright is left: $(ls -A "$folder")"
wait_gone "the watcher of a run that has ended" "$work/a/watcher"
namespaces_ended "a run killed outright" "$work/a"

# A run stopped by SIGTERM ends its stage itself.
start_run "$work/c" stoppable
kill -TERM "$(cat "$work/c/run")"
wait "$(cat "$work/c/run")"
wait_gone "the stage of a run stopped by SIGTERM" "$work/c/stage" "$work/c/children"
namespaces_ended "a run stopped by SIGTERM" "$work/c"

# Every process of a run stopped by SIGTERM at once, as a service manager
# or CI stops a process tree: the programs and the watcher end with the
# runner, which still ends the program that ignores SIGTERM, deletes the
# namespaces recorded (that of a pid another process took too, which
# stays) and removes its folder.
mkdir -p "$work/d"
sleep 600 &
echo $! >"$work/d/reused"
pids_to_end+=($!)
start_run "$work/d" recorded
folder=$(cat "$work/d/folder")
# shellcheck disable=SC2046
kill -TERM $(process_tree "$(cat "$work/d/run")") $(cat "$work/d/watcher" "$work/d/children") 2>/dev/null
wait "$(cat "$work/d/run")"
wait_gone "the stage of a run stopped at once" "$work/d/stage" "$work/d/children" "$work/d/watcher"
namespaces_ended "a run stopped by SIGTERM at once" "$work/d"
[ ! -d "$folder" ] || fail "the folder of a run stopped at once is left: $(ls -A "$folder")"
[ -n "$(running "$work/d/reused")" ] || fail "a process whose pid a record names with another start time was ended"

# The watcher killed too: the stage runs on until the next run ends it, and
# only then is its folder removed. A folder whose runner's pid is another
# process's now (its start time differs) goes as well; one of a live run
# stays.
start_run "$work/b"
folder=$(cat "$work/b/folder")
kill -KILL "$(cat "$work/b/watcher")"
kill_runner "$work/b"
sleep 1
[ "$(running "$work/b/children" | wc -l)" = 4 ] || fail "the stage's programs ended without a watcher"
mkdir "$base/vl-run-$$-reused" "$base/vl-run-$$-live"
echo "$$ 1" >"$base/vl-run-$$-reused/.vl-runner"
stat=$(cat /proc/$$/stat)
stat=${stat##*) }
echo "$$ $(echo "$stat" | awk '{ print $20 }')" >"$base/vl-run-$$-live/.vl-runner"
(export TMPDIR=$base; make_run_folder; remove_run_folder)
[ -z "$(running "$work/b/stage" "$work/b/children")" ] ||
  fail "the next run left the killed run's stage running: $(echo $(running "$work/b/stage" "$work/b/children"))"
[ ! -d "$folder" ] || fail "the next run left the killed run's folder"
namespaces_ended "the next run after a run and its watcher were killed" "$work/b"
[ ! -d "$base/vl-run-$$-reused" ] || fail "the folder of a runner whose pid was reused is left"
[ -d "$base/vl-run-$$-live" ] || fail "the folder of a run that still runs was removed"
# This test's own folder, left by one killed outright, goes at a later
# start with what its runs left running; that of a test that runs stays.
mkdir -p "$base/vl-stagetest-999999999-gone/tmp/vl-run-1-left" "$base/vl-stagetest-$$-live"
echo "999999999 1" >"$base/vl-stagetest-999999999-gone/.vl-runner"
echo "$$ $(start_time $$)" >"$base/vl-stagetest-$$-live/.vl-runner"
VL_RUN_FOLDER=$base/vl-stagetest-999999999-gone/tmp/vl-run-1-left setsid sleep 600 &
echo $! >"$work/gone-test"
pids_to_end+=($!)
remove_gone_tests "$base"
[ ! -d "$base/vl-stagetest-999999999-gone" ] || fail "the folder of a test killed outright is left"
[ -z "$(running "$work/gone-test")" ] || fail "a program of a run of a test killed outright runs on"
[ -d "$base/vl-stagetest-$$-live" ] || fail "the folder of a test that still runs was removed"
# A dead run's stage group whose id now names another process group (its
# leader started after the run wrote it) is not the run's: it stays.
setsid sleep 600 &
bystander=$!
pids_to_end+=("$bystander")
sleep 0.2
mkdir "$base/vl-run-999999999-reused"
echo "999999999 1" >"$base/vl-run-999999999-reused/.vl-runner"
echo "$bystander 1" >"$base/vl-run-999999999-reused/.vl-stage"
(export TMPDIR=$base; make_run_folder; remove_run_folder)
[ ! -d "$base/vl-run-999999999-reused" ] || fail "the folder of a dead run whose group id was reused is left"
echo "$bystander" >"$work/bystander"
[ -n "$(running "$work/bystander")" ] || fail "a process group that reused a dead run's group id was ended"

# A run whose stage passes but leaves a program running (in a session of
# its own, outside the stage's tree, its namespace recorded, with a child
# that dropped the run's environment) ends both and deletes the namespace
# as it removes its folder.
mkdir -p "$work/e"
(
  export TMPDIR=$base
  . "$runner"
  run_seconds=3600
  stage_leaves() {
    (setsid bash -c 'env -i sleep 600 & echo $! >"$0"; wait' "$work/e/child" & echo $! >"$work/e/left")
    for ((i = 0; i < 300; i++)); do
      [ -s "$work/e/child" ] && break
      sleep 0.1
    done
    [ -n "$namespaces" ] || return 0
    mkdir "$TMPDIR/$recorded_namespaces"
    echo "$(cat "$work/e/left") $(start_time "$(cat "$work/e/left")")" \
      >"$TMPDIR/$recorded_namespaces/$prefix$$n2xleft"
    ip netns add "$prefix$$n2xleft"
  }
  trap remove_run_folder EXIT
  make_run_folder
  run_stage "leaves" 60 stage_leaves
) >"$work/e/output" 2>&1
pids_to_end+=($(cat "$work/e/left" "$work/e/child"))
echo "$prefix$$n2xleft" >"$work/e/namespaces"
[ -s "$work/e/child" ] || fail "the program a passed stage left did not start its child within 30 s"
[ -z "$(running "$work/e/left" "$work/e/child")" ] ||
  fail "a program a passed stage left, or its child, runs on after its run"
[ -z "$namespaces" ] || [ ! -e "/run/netns/$prefix$$n2xleft" ] ||
  fail "the namespace a passed stage's program recorded is left"
echo "a run killed outright checked"
