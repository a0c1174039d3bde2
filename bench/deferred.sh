#!/bin/bash
# Measures how soon chains that waited for descriptors go on once they come
# back, while hosts that stall are among them: on a network of vltestnet's
# (10.201.1.0/24), after a device that answers at once, STALLERS hosts that
# pass their unicast check and never answer GetListInfo (the emulator's
# quietlist=1) answer, then DEVICES devices. As the first device is listed,
# `vlnet probe`'s soft limit on open files is lowered from outside
# (prlimit) to leave one descriptor free, which a stalling host's command
# takes and holds: the others' checks and commands find none and wait (a
# trial of theirs may be a stalling host's command). AT seconds after the
# start the limit is set back. Prints, for each of RUNS runs (AT a little
# later each run, so that descriptors come back at another point of the
# trials' back-off), how long after the limit came back the last device
# was listed, and the least, median and most.
#
#   bench/deferred.sh [--prefix NAME] BUILD_DIR [RUNS [STALLERS [DEVICES]]]   (default 5 16 4)
#
# The vlnet measured is BUILD_DIR's unless VLNET names another (an older
# one, against this build's emulator); KEEP=PATH keeps each run's output in
# PATH.RUN and what it said on standard error in PATH.RUN.err. Needs root
# (network namespaces) and prlimit; the namespaces' names begin with
# --prefix NAME, else $VL_NETNS_PREFIX, else "vl", by the tests' rules
# (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/deferred.sh [--prefix NAME] BUILD_DIR [RUNS [STALLERS [DEVICES]]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
RUNS=${1:-5} STALLERS=${2:-16} DEVICES=${3:-4}
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
# The limit is lowered that many seconds after the first device was
# listed, before the others answer, to leave SPARE free; it comes back
# after every chain has found none, AT_STEP later each run.
LOWER_AFTER=0.1 AT=5 AT_STEP=0.37 SPARE=1
# Long enough for a vlnet whose trials got through only as their command
# ended: behind a stalling host's, every chain waited for its time-out.
PROBE_SECONDS=40
TMP=$(mktemp -d)

# A device that answers at once, so that the socket the unicast checks
# share is open before the limit is lowered.
devices=("mac=00:26:AB:39:00:01")
for ((i = 0; i < STALLERS; i++)); do devices+=("quietlist=1 limiteddelay=1000 directeddelay=1000"); done
for ((i = 0; i < DEVICES; i++)); do devices+=("limiteddelay=2000 directeddelay=2000"); done
testnet --network 1 "${devices[@]}"
FIRST_DEVICE=$((11 + STALLERS))

gaps=()
for ((run = 0; run < RUNS; run++)); do
    back=$(echo "$AT + ($run % 5) * $AT_STEP" | bc)
    : >"$TMP/out"
    START=$(date +%s.%N)
    (exec ip netns exec "$COMPUTER" "$VLNET" probe --timeout $PROBE_SECONDS --resources "$RESOURCES" 2>"$TMP/err" |
        while IFS= read -r line; do echo "$(date +%s.%N) $line"; done >"$TMP/out") &
    RUN=$!
    PID=""
    until [ -n "$PID" ]; do
        for pid in $(ip netns pids "$COMPUTER" 2>/dev/null); do
            [ "$(cat /proc/$pid/comm 2>/dev/null)" = vlnet ] && PID=$pid
        done
        sleep 0.01
    done
    # The probe's sockets open (it raised the limit as far as it needed
    # as it started) and the first device listed, LOWER_AFTER later.
    until [ -s "$TMP/out" ]; do sleep 0.01; done
    sleep $LOWER_AFTER
    HARD=$(prlimit --pid "$PID" --nofile --noheadings --output HARD --raw)
    SOFT=$(prlimit --pid "$PID" --nofile --noheadings --output SOFT --raw)
    # SPARE descriptors beyond the lowest free one: a stalling host's
    # command that takes one holds it, and what comes meanwhile finds none.
    # Twice, as one open for a moment (listing the interfaces, say) is no
    # free one.
    for again in 0.2 0; do
        FREE=$(ls /proc/"$PID"/fd | sort -n | awk '$1 == n {n++} END {print n + 0}')
        prlimit --pid "$PID" --nofile="$((FREE + SPARE)):$HARD"
        sleep $again
    done
    sleep "$(echo "$START + $back - $(date +%s.%N)" | bc)"
    prlimit --pid "$PID" --nofile="$SOFT:$HARD"
    BACK=$(date +%s.%N)
    wait $RUN
    [ -n "${KEEP:-}" ] && cp "$TMP/out" "$KEEP.$run" && cp "$TMP/err" "$KEEP.$run.err"
    listed=0 early=0 last=""
    for ((i = 0; i < DEVICES; i++)); do
        at=$(grep "	10.201.1.$((FIRST_DEVICE + i))	" "$TMP/out" | head -1 | cut -d' ' -f1)
        [ -n "$at" ] || continue
        listed=$((listed + 1))
        [ "$(echo "$at < $BACK" | bc)" = 1 ] && early=$((early + 1))
        [ -z "$last" ] || [ "$(echo "$at > $last" | bc)" = 1 ] && last=$at
    done
    gap=$([ -n "$last" ] && echo "$last - $BACK" | bc)
    printf 'run %2d: descriptors back at %4.2f s; %d of %d devices listed (%d before), the last %s s after\n' \
        "$run" "$back" "$listed" "$DEVICES" "$early" "$(printf '%.2f' "${gap:-0}")"
    [ "$listed" -eq "$DEVICES" ] && [ "$early" -eq 0 ] && gaps+=("$gap")
done
printf 'vlnet: %s\n%d stalling hosts ahead of %d devices: the last device %s s after descriptors came back (least, median, most of %d runs)\n' \
    "$VLNET" "$STALLERS" "$DEVICES" \
    "$(printf '%s\n' "${gaps[@]}" | sort -g | awk '{v[NR] = $1} END {if (NR) printf "%.2f, %.2f, %.2f", v[1], v[int((NR + 1) / 2)], v[NR]; else printf "-"}')" \
    "${#gaps[@]}"
exec {NET[1]}>&-
wait "$NET_PID" 2>/dev/null
