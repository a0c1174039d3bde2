#!/bin/bash
# Measures vlnet probe's memory under a refused-claim flood: six namespaced
# networks (10.203.4.0/22 to 10.203.24.0/22), each full to the probe's bound
# of devices (512, one an address), and on each 63 more addresses that claim
# every one of those MACs, each claim twice (the emulator's claims attack),
# once the devices have answered: every claim is refused by a bound. Prints
# vlnet's peak memory (its VmHWM, as the kernel counts its peak resident
# set), its wall time and exit status, the devices it listed, a series of
# its resident memory, and the first lines of its standard error.
#
#   bench/claimflood.sh [--prefix NAME] BUILD_DIR [TIMEOUT [RATE [SOURCES]]]
#
# TIMEOUT (default 60) bounds the probe: then it is stopped by SIGINT; RATE
# (default 20000) is each network's claims a second; SOURCES (default 63)
# the claiming addresses of each network. The vlnet measured is BUILD_DIR's
# unless VLNET names another (an older one, against this build's emulator),
# its resources beside it. Needs root (network namespaces), whose names begin
# with --prefix NAME, else $VL_NETNS_PREFIX, else "vl" (NAME4242clfpc), by
# the tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/claimflood.sh [--prefix NAME] BUILD_DIR [TIMEOUT [RATE [SOURCES]]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
TIMEOUT=${1:-60} RATE=${2:-20000} SOURCES=${3:-63}
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
NETWORKS=6 DEVICES=512 FIRST_SOURCE=600
P=$PREFIX$$clf
TMP=$(mktemp -d)

# address N I: the Ith address of network N.
address() { echo "10.203.$((4 * $1 + $2 / 256)).$(($2 % 256))"; }

netns_add ${P}pc || exit 1
ip -n ${P}pc link set lo up
for ((n = 1; n <= NETWORKS; n++)); do
    netns_add $P$n || exit 1
    ip -n $P$n link set lo up
    ip link add vl$n netns ${P}pc type veth peer name vd$n netns $P$n
    ip -n ${P}pc link set vl$n up
    ip -n $P$n link set vd$n up
    ip -n ${P}pc addr add "$(address $n 1)/22" dev vl$n
    {
        for ((i = 10; i < 10 + DEVICES; i++)); do echo "addr add $(address $n $i)/22 dev vd$n"; done
        for ((i = FIRST_SOURCE; i < FIRST_SOURCE + SOURCES; i++)); do echo "addr add $(address $n $i)/22 dev vd$n"; done
    } >"$TMP/addr$n"
    ip -n $P$n -force -batch "$TMP/addr$n" >/dev/null 2>&1
    for ((i = 0; i < DEVICES; i++)); do
        printf 'mac=00:26:AB:%02X:%02X:%02X ip=%s mask=255.255.252.0 model="Model %d-%d" restart=0\n' \
            $((0x20 + n)) $((i / 256)) $((i % 256)) "$(address $n $((10 + i)))" $n $i
    done >"$TMP/dev$n"
    printf 'mac=00:26:AB:%02X:00:00 ip=%s mask=255.255.252.0 restart=0 unicast=0 hostile=claims flood=%d pool=%d rate=%d delay=1000\n' \
        $((0x20 + n)) "$(address $n $FIRST_SOURCE)" $DEVICES "$SOURCES" "$RATE" >>"$TMP/dev$n"
done
ip -n ${P}pc route add default dev vl1

for ((n = 1; n <= NETWORKS; n++)); do
    ip netns exec $P$n "$BUILD/bin/vlemu" "$TMP/dev$n" >"$TMP/emu$n" &
done
for ((n = 1; n <= NETWORKS; n++)); do
    for ((w = 0; w < 200; w++)); do
        grep -q ready "$TMP/emu$n" 2>/dev/null && break
        sleep 0.05
    done
done
START=$(date +%s.%N)
ip netns exec ${P}pc /usr/bin/time -f "%M %e" -o "$TMP/time" \
    timeout -s INT "$TIMEOUT" "$VLNET" probe --resources "$RESOURCES" >"$TMP/out" 2>"$TMP/err" &
TPID=$!
SERIES="" SINCE=$SECONDS NEXT=0
while kill -0 $TPID 2>/dev/null; do
    if [ $((SECONDS - SINCE)) -ge $NEXT ]; then
        for pid in $(ip netns pids ${P}pc 2>/dev/null); do
            if [ "$(cat /proc/$pid/comm 2>/dev/null)" = vlnet ]; then
                R=$(awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' /proc/$pid/status 2>/dev/null)
                [ -n "$R" ] && SERIES="$SERIES${SERIES:+, }$NEXT s $R"
            fi
        done
        NEXT=$((NEXT + 2))
    fi
    sleep 0.2
done
wait $TPID
STATUS=$?
# time's last line (a first one says a status other than 0).
read -r PEAK WALL <<<"$(tail -1 "$TMP/time" 2>/dev/null)"
echo "vlnet: $VLNET"
printf 'claim flood: %d networks x %d MACs x %d sources, twice, %d claims/s a network\n' \
    $NETWORKS $DEVICES "$SOURCES" "$RATE"
printf 'peak memory (VmHWM) %.1f MB, wall %s s, exit %d, devices listed %d of %d\n' \
    "$(echo "scale=1; ${PEAK:-0} / 1024" | bc)" "$WALL" "$STATUS" "$(grep -c '^00:26:AB:2' "$TMP/out")" \
    $((NETWORKS * DEVICES))
echo "resident memory (MB): $SERIES"
grep -v '^$' "$TMP/err" | head -5 | sed 's/^/    /'
