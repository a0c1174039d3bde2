# The stage runner of tools/test-all.sh, sourced by it and by its test
# (tests/tools/stage_limit_test.sh): each stage runs within a time limit and
# is stopped, with all it started, when it reaches it; "stages" keeps each
# stage's outcome for the summary.

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

any_alive() {  # pid...
  local pid
  for pid in "$@"; do kill -0 "$pid" 2>/dev/null && return 0; done
  return 1
}

# Stops a stage and everything it started: SIGTERM, and 10 s later SIGKILL
# to what is left.
stop_stage() {  # pid
  local pids i
  pids=$(process_tree "$1")
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  for ((i = 0; i < 10; i++)); do
    # shellcheck disable=SC2086
    any_alive $pids || break
    sleep 1
  done
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# The run's folder for temporary files, exported as TMPDIR to the stages and
# all they start (the tests' emulator device lists, the install prefix, the
# fuzz runs' copies of their seeds), so that what a stopped stage leaves
# there goes with the folder: remove_run_folder, which the summary calls.
# Named after the run's process (vl-run-PID-XXXXXX): a run killed outright
# leaves its folder, and the next run removes it.
run_folder=''
make_run_folder() {
  local base=${TMPDIR:-/tmp} folder pid
  for folder in "$base"/vl-run-*; do
    [ -d "$folder" ] || continue
    pid=${folder##*/vl-run-}
    pid=${pid%%-*}
    case $pid in '' | *[!0-9]*) continue ;; esac
    [ -d "/proc/$pid" ] || rm -rf "$folder"
  done
  run_folder=$(mktemp -d "$base/vl-run-$$-XXXXXX")
  export TMPDIR=$run_folder
}

remove_run_folder() {
  [ -z "$run_folder" ] || rm -rf "$run_folder"
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
  "$3" &
  stage_pid=$!
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
