# The stage runner of tools/test-all.sh, sourced by it and by its tests
# (tests/tools/stage_*_test.sh): each stage runs within a time limit and
# is stopped, with all it started, when it reaches it, or when the runner
# is stopped or killed; "stages" keeps each stage's outcome for the summary.

duration() {  # seconds: "9 min 34 s", "20 min", "34 s"
  if [ "$1" -lt 60 ]; then
    echo "$1 s"
  elif [ $(($1 % 60)) = 0 ]; then
    echo "$(($1 / 60)) min"
  else
    echo "$(($1 / 60)) min $(($1 % 60)) s"
  fi
}

# The process and every process below it, each parent before its children
# (the tests' programs too, which start sessions of their own).
process_tree() {  # pid
  local child
  echo "$1"
  for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do process_tree "$child"; done
}

# Whether any of the processes still runs: a zombie has ended, though its
# parent (the test program that forked it, say) has not yet reaped it.
any_alive() {  # pid...
  local pid stat
  for pid in "$@"; do
    read -r stat 2>/dev/null <"/proc/$pid/stat" || continue
    stat=${stat##*) }
    [ "${stat%% *}" = Z ] || return 0
  done
  return 1
}

# A process's start time (clock ticks after boot), empty once it is gone:
# with its pid, it names the process even once the pid is reused.
start_time() {  # pid
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  # shellcheck disable=SC2086
  set -- $stat
  echo "${20}"
}

# Whether the process PID that started at START still runs: a zombie has
# ended.
still_runs() {  # pid, start time
  local stat
  [ -n "$1" ] && [ -n "$2" ] || return 1
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  # shellcheck disable=SC2086
  set -- "$2" $stat
  [ "$2" != Z ] && [ "${21}" = "$1" ]
}

# The network namespaces the run's test programs make are recorded in its
# folder as they make them, until they delete them
# (tests/support/TestNetwork.cpp): in .vl-netns, a file named after each
# holding its maker's "PID START".
recorded_namespaces=.vl-netns

# Every process of a run: the stage's process group (the stage's own
# shells; run_stage starts each stage in a group of its own and writes its
# id and start time in the folder's .vl-stage), every process started with
# the run's VL_RUN_FOLDER (each program a stage runs and theirs, even those
# that have left the stage's tree or session), every maker of a namespace
# recorded in the folder that still runs (one that is ending, whose
# environment /proc no longer shows, included), and every process below
# them. A group whose leader's pid now names a newer process is another's:
# the kernel reuses a group's id only once none of its processes is left.
run_processes() {  # folder
  local folder=$1 group='' started='' now pid stat record found=()
  read -r group started 2>/dev/null <"$folder/.vl-stage" || group=''
  if [ -n "$group" ]; then
    now=$(start_time "$group")
    [ -z "$now" ] || [ "$now" = "$started" ] || group=''
  fi
  if [ -n "$group" ]; then
    for stat in /proc/[0-9]*/stat; do
      read -r stat 2>/dev/null <"$stat" || continue
      pid=${stat%% *}
      stat=${stat##*) }
      # shellcheck disable=SC2086
      set -- $stat
      [ "$3" = "$group" ] && [ "$1" != Z ] && found+=("$pid")
    done
  fi
  for pid in $(grep -lzxF "VL_RUN_FOLDER=$folder" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${pid#/proc/}
    found+=("${pid%/environ}")
  done
  for record in "$folder/$recorded_namespaces"/*; do
    read -r pid started 2>/dev/null <"$record" || continue
    ! still_runs "$pid" "$started" || found+=("$pid")
  done
  for pid in "${found[@]}"; do process_tree "$pid"; done | sort -un
}

# Deletes the network namespaces that the processes given made and left,
# ended before they removed them: those named PREFIX<pid>n... (the tests'
# and vltestnet's, tests/support/TestNetwork.h; PREFIX is VL_NETNS_PREFIX,
# else "vl"), with the veth pairs they hold. Others' stay, however named.
remove_namespaces() {  # pid...
  local prefix=${VL_NETNS_PREFIX:-vl} pid name rest
  local -A gone=()
  for pid in "$@"; do gone[$pid]=1; done
  for name in /run/netns/"$prefix"[0-9]*n*; do
    [ -e "$name" ] || continue
    name=${name##*/}
    rest=${name#"$prefix"}
    pid=${rest%%[!0-9]*}
    if [ "${rest:${#pid}:1}" = n ] && [ -n "${gone[$pid]:-}" ]; then
      ip netns del "$name" 2>/dev/null || true
    fi
  done
}

# Deletes the namespaces recorded in a run's folder whose maker no longer
# runs, with their records; those of a maker that still runs stay.
remove_recorded_namespaces() {  # folder
  local record pid started name
  for record in "$1/$recorded_namespaces"/*; do
    [ -f "$record" ] || continue
    pid='' started=''
    read -r pid started 2>/dev/null <"$record"
    still_runs "$pid" "$started" && continue
    name=${record##*/}
    [ ! -e "/run/netns/$name" ] || ip netns del "$name" 2>/dev/null || continue
    rm -f "$record"
  done
}

# Seconds a process of a run that is being ended has between SIGTERM and
# SIGKILL.
stop_grace=10

# Ends every process of a run: SIGTERM, and $stop_grace s later SIGKILL to
# what is left, then deletes the namespaces they left and those recorded
# whose maker has gone (the programs may have ended before the run, stopped
# by the same signal); fails when something still runs after that.
end_run() {  # folder
  local pids i ended=()
  pids=$(run_processes "$1")
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2206
    ended=($pids)
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null || true
    for ((i = 0; i < stop_grace; i++)); do
      # shellcheck disable=SC2086
      any_alive $pids || break
      sleep 1
    done
    for ((i = 0; i < 10; i++)); do
      pids=$(run_processes "$1")
      [ -n "$pids" ] || break
      # shellcheck disable=SC2206
      ended+=($pids)
      # shellcheck disable=SC2086
      kill -KILL $pids 2>/dev/null || true
      sleep 0.5
    done
    remove_namespaces "${ended[@]}"
  fi
  remove_recorded_namespaces "$1"
  [ -z "$(run_processes "$1")" ]
}

# Stops a stage and everything it started: SIGTERM, and $stop_grace s later
# SIGKILL to what is left, and deletes the namespaces they left; with a
# run's folder, whatever of the run has left the stage's tree goes too.
stop_stage() {  # pid
  local pids i
  pids=$(process_tree "$1")
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  for ((i = 0; i < stop_grace; i++)); do
    # shellcheck disable=SC2086
    any_alive $pids || break
    sleep 1
  done
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  [ -z "$run_folder" ] || end_run "$run_folder" || true
  # shellcheck disable=SC2086
  remove_namespaces $pids
  wait "$1" 2>/dev/null || true
}

# Whether the run that made a folder still runs: its runner, as the
# folder's .vl-runner says ("PID START"), or, before the runner has written
# that, the process its name gives (vl-run-PID-XXXXXX).
run_alive() {  # folder
  local pid start
  if read -r pid start 2>/dev/null <"$1/.vl-runner"; then
    [ -n "$pid" ] && [ "$(start_time "$pid")" = "$start" ]
  else
    pid=${1##*/vl-run-}
    pid=${pid%%-*}
    case $pid in '' | *[!0-9]*) return 0 ;; esac
    [ -d "/proc/$pid" ]
  fi
}

# Stays beside the runner, in a session of its own (so that what stops the
# runner's process group or session spares it), and once the runner has
# gone, killed outright, ends what is left of its run and removes its
# folder; it ends once the runner has removed the folder itself.
watch_runner() {  # pid, start time, folder
  exec </dev/null >/dev/null 2>&1
  while [ -d "$3" ] && [ "$(start_time "$1")" = "$2" ]; do sleep 1; done
  [ -d "$3" ] || exit 0
  end_run "$3" && rm -rf "$3"
}

# The run's folder for temporary files, exported as TMPDIR to the stages and
# all they start (the tests' temporary files and emulator device lists, the
# install prefix, the fuzz runs' copies of their seeds), so that what a
# stopped stage leaves there goes with the folder: remove_run_folder, which
# the summary calls. Named after the runner's process (vl-run-PID-XXXXXX);
# VL_RUN_FOLDER, exported too, marks every program the run starts. A run
# killed outright is ended by its watcher (watch_runner), or else by the
# next run, which removes a folder only once nothing of its run runs.
stages_script=${BASH_SOURCE[0]}
run_folder='' watcher_pid=''
make_run_folder() {
  local base=${TMPDIR:-/tmp} folder runner=$BASHPID started
  for folder in "$base"/vl-run-*; do
    [ -d "$folder" ] || continue
    run_alive "$folder" && continue
    if end_run "$folder"; then
      rm -rf "$folder"
    else
      echo "test-all.sh: $folder is kept: processes of the run that made it still run" >&2
    fi
  done
  run_folder=$(mktemp -d "$base/vl-run-$runner-XXXXXX")
  # Open to all as /tmp is (a test runs a program as another user on files
  # in it), but writable by this user alone.
  chmod 755 "$run_folder"
  started=$(start_time "$runner")
  echo "$runner $started" >"$run_folder/.vl-runner"
  env -u VL_RUN_FOLDER setsid bash -c '. "$0"; watch_runner "$@"' "$stages_script" "$runner" "$started" \
    "$run_folder" &
  watcher_pid=$!
  export TMPDIR=$run_folder VL_RUN_FOLDER=$run_folder
}

# Whatever of the run still runs is ended first, and the namespaces its
# programs recorded and left are deleted, however the run ends.
remove_run_folder() {
  if [ -n "$run_folder" ]; then
    end_run "$run_folder" || true
    rm -rf "$run_folder"
  fi
  [ -z "$watcher_pid" ] || kill "$watcher_pid" 2>/dev/null || true
}

# The stages run so far, for the summary: "title|outcome".
stages=()
stage_title='' stage_pid='' timer_pid=''

# Runs a stage within its time limit, or what is left of the run's
# ($run_seconds from the start, $SECONDS); a stage that fails or is stopped
# ends the run.
run_stage() {  # title, seconds, function
  local title=$1 limit=$2 start=$SECONDS status=0 ended left
  stage_title=$title
  left=$((run_seconds - SECONDS))
  [ "$left" -ge "$limit" ] || limit=$left
  if [ "$limit" -le 0 ]; then
    stages+=("$title|not run: the run's time limit of $(duration "$run_seconds") was reached")
    exit 1
  fi
  echo "== $title, time limit $(duration "$limit")"
  # In a process group of its own (job control on for the start), which a
  # runner killed outright leaves for its watcher or the next run to end.
  set -m
  "$3" &
  stage_pid=$!
  set +m
  [ -z "$run_folder" ] || echo "$stage_pid $(start_time "$stage_pid")" >"$run_folder/.vl-stage"
  sleep "$limit" &
  timer_pid=$!
  wait -n -p ended "$stage_pid" "$timer_pid" || status=$?
  if [ "$ended" = "$timer_pid" ]; then
    timer_pid=
    stop_stage "$stage_pid"
    stage_pid=
    stages+=("$title|stopped at its time limit of $(duration "$limit")")
    echo "test-all.sh: $title did not end within its time limit of $(duration "$limit"): stopped" >&2
    exit 1
  fi
  stage_pid=
  [ -z "$run_folder" ] || rm -f "$run_folder/.vl-stage"
  kill "$timer_pid" 2>/dev/null || true
  wait "$timer_pid" 2>/dev/null || true
  timer_pid=
  if [ "$status" != 0 ]; then
    stages+=("$title|failed (status $status), after $(duration $((SECONDS - start)))")
    exit "$status"
  fi
  stages+=("$title|passed in $(duration $((SECONDS - start)))")
}

# Ctrl-C or a stop from CI: the stage and what it started end too.
on_signal() {  # status
  trap '' INT TERM HUP
  if [ -n "$stage_pid" ]; then
    stop_stage "$stage_pid"
    stages+=("$stage_title|stopped by a signal")
  fi
  exit "$1"
}
