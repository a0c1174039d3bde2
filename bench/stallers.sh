#!/bin/bash
# Measures what hosts that stall cost a device: N hosts claim the device's
# MAC, answer before it, pass their unicast check and then never answer
# GetListInfo (the emulator's quietlist=1). Prints, for each N, when
# `vlnet probe` listed the device and when it ended (with its status), and
# how long `vlnet run DEVICE_IP GetDetail` took (with its status), on a
# network of vltestnet's (10.201.1.0/24, the device after the claimants).
# OTHER=1: the N stalling hosts have MACs of their own and stand on another
# network (10.201.2.0/24), the device alone on 10.201.1.0/24.
#
#   bench/stallers.sh [--prefix NAME] BUILD_DIR [N ...]   (default 0 1 4 16)
#
# The vlnet measured is BUILD_DIR's unless VLNET names another (an older
# one, against this build's emulator). Needs root (network namespaces), whose names begin with --prefix NAME,
# else $VL_NETNS_PREFIX, else "vl", by the tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/stallers.sh [--prefix NAME] BUILD_DIR [N ...]"
bench_arguments "$@"
set -- "${ARGS[@]}"
COUNTS=("$@")
[ ${#COUNTS[@]} -eq 0 ] && COUNTS=(0 1 4 16)
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
MAC=00:26:AB:38:00:01
TMP=$(mktemp -d)
KIND=claimants
[ "${OTHER:-0}" = 1 ] && KIND="hosts on another network"

for n in "${COUNTS[@]}"; do
    devices=()
    stallers=()
    if [ "${OTHER:-0}" = 1 ]; then
        for ((i = 0; i < n; i++)); do stallers+=("quietlist=1"); done
        DEVICE=10.201.1.10
        testnet --network 1 "mac=$MAC delay=300" --network 2 "${stallers[@]}"
    else
        for ((i = 0; i < n; i++)); do devices+=("mac=$MAC quietlist=1"); done
        devices+=("mac=$MAC delay=300")
        DEVICE=10.201.1.$((10 + n))
        testnet --network 1 "${devices[@]}"
    fi
    START=$(date +%s.%N)
    ip netns exec "$COMPUTER" "$VLNET" probe --resources "$RESOURCES" 2>/dev/null |
        while IFS= read -r line; do echo "$(date +%s.%N) $line"; done >"$TMP/out"
    PSTATUS=${PIPESTATUS[0]}
    END=$(date +%s.%N)
    LISTED=$(grep " $MAC	$DEVICE	" "$TMP/out" | head -1 | awk -v s="$START" '{printf "%.1f", $1 - s}')
    RSTART=$(date +%s.%N)
    ip netns exec "$COMPUTER" "$VLNET" run "$DEVICE" GetDetail --timeout 60 \
        --resources "$RESOURCES" >/dev/null 2>&1
    RSTATUS=$?
    REND=$(date +%s.%N)
    printf '%2d stalling %s: probe listed the device at %4s s, ended at %5.1f s (exit %d); run IP %5.1f s (exit %d)\n' \
        "$n" "$KIND" "${LISTED:--}" "$(echo "$END - $START" | bc)" "$PSTATUS" "$(echo "$REND - $RSTART" | bc)" "$RSTATUS"
    exec {NET[1]}>&-
    wait "$NET_PID" 2>/dev/null
done
