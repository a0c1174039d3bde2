#!/bin/bash
# Measures what vlnet probe holds while every place of its networks is held:
# on each of NETWORKS networks of vltestnet's (10.201.N.0/24), HOSTS hosts
# that pass their unicast check and never answer GetListInfo (the emulator's
# quietlist=1), each holding a place (a command thread and its socket) until
# its command's tries time out. Samples vlnet every 0.1 s and prints, at the
# sample with the most threads, its threads, address space (VmSize) and
# resident memory (VmRSS), and its peak (VmHWM) at the end.
#
#   bench/heldplaces.sh [--prefix NAME] BUILD_DIR [NETWORKS [HOSTS]]   (default 6 64)
#
# vlnet runs with 4,096 descriptors, so that each network gets its 64 places.
# The vlnet measured is BUILD_DIR's unless VLNET names another (an older
# one, against this build's emulator). Needs root (network namespaces), whose
# names begin with --prefix NAME, else $VL_NETNS_PREFIX, else "vl", by the
# tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/heldplaces.sh [--prefix NAME] BUILD_DIR [NETWORKS [HOSTS]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
NETWORKS=${1:-6} HOSTS=${2:-64}
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
DESCRIPTORS=4096
TMP=$(mktemp -d)

args=()
for ((n = 1; n <= NETWORKS; n++)); do
    args+=(--network "$n")
    for ((i = 0; i < HOSTS; i++)); do args+=("quietlist=1"); done
done
testnet "${args[@]}"
(
    ulimit -n $DESCRIPTORS
    exec ip netns exec "$COMPUTER" "$VLNET" probe --timeout 30 --resources "$RESOURCES" >/dev/null 2>&1
) &
RUN=$!
BEST=0 SIZE="" RSS="" HWM=""
while kill -0 $RUN 2>/dev/null; do
    for pid in $(ip netns pids "$COMPUTER" 2>/dev/null); do
        [ "$(cat /proc/$pid/comm 2>/dev/null)" = vlnet ] || continue
        read -r T S R H <<<"$(awk '/^Threads/ {t = $2} /^VmSize/ {s = $2} /^VmRSS/ {r = $2} /^VmHWM/ {h = $2}
            END {printf "%d %.1f %.1f %.1f", t, s / 1024, r / 1024, h / 1024}' /proc/$pid/status 2>/dev/null)"
        [ -n "$H" ] && HWM=$H
        if [ -n "$T" ] && [ "$T" -gt "$BEST" ]; then
            BEST=$T SIZE=$S RSS=$R
        fi
    done
    sleep 0.1
done
wait $RUN
printf 'vlnet: %s\n%d networks x %d stalling hosts: at most %d threads, then VmSize %s MB, VmRSS %s MB; peak VmHWM %s MB\n' \
    "$VLNET" "$NETWORKS" "$HOSTS" "$BEST" "${SIZE:-?}" "${RSS:-?}" "${HWM:-?}"
exec {NET[1]}>&-
wait "$NET_PID" 2>/dev/null
