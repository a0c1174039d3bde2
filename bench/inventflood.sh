#!/bin/bash
# Measures vlnet probe's memory under a flood of invented devices and of
# claims of them, for as long as a probe in rounds lasts: six namespaced
# networks (10.203.4.0/22 to 10.203.24.0/22), each with 16 genuine devices,
# 128 addresses on the network and 128 off it (10.213.N.10 on) that answer
# for 512 invented MACs each group, four an address, and 63 more addresses
# on the network for each group that claim each of its MACs, round after
# round (the emulator's claims attack, spread=1 and passes=0), from two
# seconds after the first probe on. vlnet probes with
# --timeout TIMEOUT. Prints vlnet's peak memory (its VmHWM), its peak at 60 s
# when the run is longer, its wall time and exit status, the genuine devices
# it listed (all should be), the lines of its report on standard error, a
# series of its resident memory, and the first lines of its standard error
# (KEEP_REPORT=FILE keeps all of them there).
#
#   bench/inventflood.sh [--prefix NAME] BUILD_DIR [TIMEOUT [RATE [SOURCES]]]
#
# PASSES (default 0, without end) bounds the rounds of claims. With
# NEWSOURCES=1 each claim of every round comes from an address of its own:
# the networks are /12s (10.16.0.0 to 10.96.0.0), and each group's claims
# come from SOURCES x 512 x PASSES addresses of a /14 of its own, which the
# devices' namespace takes as its own by a local route.
# With FRESH=1 the 256 inventing addresses answer every probe round with
# four new MACs each (the emulator's forgedmacs) 0.3 s after the probe,
# which no claim names.
# TIMEOUT (default 180) is vlnet's --timeout; RATE (default 20000) the
# replies a second on each network (half of them claims, a quarter from
# each group of inventing addresses; with FRESH=1, the claims alone);
# SOURCES (default 63) the claiming addresses of each network. The vlnet
# measured is BUILD_DIR's unless VLNET names another (an older one,
# against this build's emulator), its resources beside it. Needs root
# (network namespaces), whose names begin with --prefix NAME, else
# $VL_NETNS_PREFIX, else "vl" (NAME4242ifpc), by the tests' rules
# (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/inventflood.sh [--prefix NAME] BUILD_DIR [TIMEOUT [RATE [SOURCES]]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
TIMEOUT=${1:-180} RATE=${2:-20000} SOURCES=${3:-63} FRESH=${FRESH:-0}
NEWSOURCES=${NEWSOURCES:-0} PASSES=${PASSES:-0}
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
NETWORKS=6 GENUINE=16 INVENTED=512 INVENTORS=128 INVENTOR=300 FIRST_SOURCE=600
P=$PREFIX$$if
TMP=$(mktemp -d)

# address N I: the Ith address of network N.
if [ "$NEWSOURCES" = 1 ]; then
    BITS=12 MASK=255.240.0.0 NEWFIRST=$((4 * 65536)) NEWSTEP=$((4 * 65536))
    NEWPOOL=$((SOURCES * INVENTED * (PASSES > 0 ? PASSES : 1)))
    address() { echo "10.$((16 * $1 + $2 / 65536)).$(($2 / 256 % 256)).$(($2 % 256))"; }
    if [ $NEWPOOL -gt $NEWSTEP ]; then
        echo "inventflood.sh: with NEWSOURCES=1, SOURCES x PASSES is at most $((NEWSTEP / INVENTED))" >&2
        exit 2
    fi
else
    BITS=22 MASK=255.255.252.0
    address() { echo "10.203.$((4 * $1 + $2 / 256)).$(($2 % 256))"; }
fi
# hosts MAC IP MASK POOL SPREAD RATE DELAY [PASSES [KEYS]]: claims hosts answering for the
# INVENTED MACs counted up from MAC, from POOL addresses counted up from IP,
# each address for all of them or (SPREAD 1) for its share.
hosts() {
    printf 'mac=%s ip=%s mask=%s restart=0 unicast=0 hostile=claims flood=%d pool=%d spread=%d passes=%d rate=%d delay=%d%s\n' \
        "$1" "$2" "$3" $INVENTED "$4" "$5" "${8:-0}" "$6" "$7" "${9:-}"
}

netns_add ${P}pc || exit 1
ip -n ${P}pc link set lo up
for ((n = 1; n <= NETWORKS; n++)); do
    netns_add $P$n || exit 1
    ip -n $P$n link set lo up
    ip link add vl$n netns ${P}pc type veth peer name vd$n netns $P$n
    ip -n ${P}pc link set vl$n up
    ip -n $P$n link set vd$n up
    ip -n ${P}pc addr add "$(address $n 1)/$BITS" dev vl$n
    {
        for ((i = 10; i < 10 + GENUINE; i++)); do echo "addr add $(address $n $i)/$BITS dev vd$n"; done
        for ((i = 0; i < INVENTORS; i++)); do
            echo "addr add $(address $n $((INVENTOR + i)))/$BITS dev vd$n"
            echo "addr add 10.213.$n.$((10 + i))/24 dev vd$n"
        done
        if [ "$NEWSOURCES" = 1 ]; then
            echo "route add local $(address $n $NEWFIRST)/14 dev lo"
            echo "route add local $(address $n $((NEWFIRST + NEWSTEP)))/14 dev lo"
        else
            for ((i = FIRST_SOURCE; i < FIRST_SOURCE + 2 * SOURCES; i++)); do echo "addr add $(address $n $i)/$BITS dev vd$n"; done
        fi
    } >"$TMP/addr$n"
    ip -n $P$n -force -batch "$TMP/addr$n" >/dev/null 2>&1
    for ((i = 0; i < GENUINE; i++)); do
        printf 'mac=00:26:AB:%02X:00:%02X ip=%s mask=%s model="Model %d-%d" restart=0\n' \
            $((0x20 + n)) $i "$(address $n $((10 + i)))" $MASK $n $i
    done >"$TMP/dev$n"
    ON=$(printf '00:26:AB:%02X:10:00' $((0x40 + n))) OFF=$(printf '00:26:AB:%02X:20:00' $((0x40 + n)))
    {
        if [ "$FRESH" = 1 ]; then
            printf 'mac=%s ip=%s mask=%s restart=0 unicast=0 hostile=forgedmacs flood=%d pool=%d straygap=20 delay=300\n' \
                "$ON" "$(address $n $INVENTOR)" $MASK $((INVENTED / INVENTORS)) $INVENTORS
            printf 'mac=%s ip=%s mask=%s restart=0 unicast=0 hostile=forgedmacs flood=%d pool=%d straygap=20 delay=300\n' \
                "$OFF" "10.213.$n.10" 255.255.255.0 $((INVENTED / INVENTORS)) $INVENTORS
        else
            hosts "$ON" "$(address $n $INVENTOR)" $MASK $INVENTORS 1 $((RATE / 4)) 0
            hosts "$OFF" "10.213.$n.10" 255.255.255.0 $INVENTORS 1 $((RATE / 4)) 0
        fi
        if [ "$NEWSOURCES" = 1 ]; then
            # One round over the whole pool: the PASSES rounds of claims, each from an address of its own.
            hosts "$ON" "$(address $n $NEWFIRST)" $MASK $NEWPOOL 0 $((RATE / 4)) 2000 "$((PASSES > 0))" " newsources=1"
            hosts "$OFF" "$(address $n $((NEWFIRST + NEWSTEP)))" $MASK $NEWPOOL 0 $((RATE / 4)) 2000 "$((PASSES > 0))" " newsources=1"
        else
            hosts "$ON" "$(address $n $FIRST_SOURCE)" $MASK "$SOURCES" 0 $((RATE / 4)) 2000 "$PASSES"
            hosts "$OFF" "$(address $n $((FIRST_SOURCE + SOURCES)))" $MASK "$SOURCES" 0 $((RATE / 4)) 2000 "$PASSES"
        fi
    } >>"$TMP/dev$n"
done
ip -n ${P}pc route add default dev vl1

for ((n = 1; n <= NETWORKS; n++)); do
    ip netns exec $P$n "$BUILD/bin/vlemu" "$TMP/dev$n" >"$TMP/emu$n" 2>&1 &
done
for ((n = 1; n <= NETWORKS; n++)); do
    for ((w = 0; w < 200; w++)); do
        grep -q ready "$TMP/emu$n" 2>/dev/null && break
        sleep 0.05
    done
done
ip netns exec ${P}pc /usr/bin/time -f "%M %e" -o "$TMP/time" \
    timeout -s INT $((TIMEOUT + 60)) "$VLNET" probe --timeout "$TIMEOUT" --resources "$RESOURCES" \
    >"$TMP/out" 2>"$TMP/err" &
TPID=$!
SERIES="" SINCE=$SECONDS NEXT=0 AT60=""
while kill -0 $TPID 2>/dev/null; do
    if [ $((SECONDS - SINCE)) -ge $NEXT ]; then
        for pid in $(ip netns pids ${P}pc 2>/dev/null); do
            if [ "$(cat /proc/$pid/comm 2>/dev/null)" = vlnet ]; then
                read -r R H <<<"$(awk '/^VmRSS/ {r = $2} /^VmHWM/ {h = $2} END {printf "%.1f %.1f", r / 1024, h / 1024}' \
                    /proc/$pid/status 2>/dev/null)"
                [ -n "$R" ] && SERIES="$SERIES${SERIES:+, }$NEXT s $R"
                [ "$NEXT" -le 60 ] && [ -n "$H" ] && AT60=$H
            fi
        done
        NEXT=$((NEXT + 10))
    fi
    sleep 0.2
done
wait $TPID
STATUS=$?
# time's last line (a first one says a status other than 0).
read -r PEAK WALL <<<"$(tail -1 "$TMP/time" 2>/dev/null)"
echo "vlnet: $VLNET"
printf 'invented-device flood: %d networks x (%d on + %d off the network) MACs%s, %d claims of each MAC a round%s, %s rounds, %d replies a second a network\n' \
    $NETWORKS $INVENTED $INVENTED "$([ "$FRESH" = 1 ] && echo ' new each round')" "$SOURCES" \
    "$([ "$NEWSOURCES" = 1 ] && echo ', each from a new address')" "$([ "$PASSES" -gt 0 ] && echo "$PASSES" || echo endless)" "$RATE"
printf 'peak memory (VmHWM) %.1f MB (%s MB by 60 s), wall %s s, exit %d, genuine devices listed %d of %d, lines %d, report lines %d\n' \
    "$(echo "scale=1; ${PEAK:-0} / 1024" | bc)" "${AT60:-?}" "$WALL" "$STATUS" "$(grep -c '^00:26:AB:2' "$TMP/out")" \
    $((NETWORKS * GENUINE)) "$(wc -l <"$TMP/out")" "$(wc -l <"$TMP/err")"
echo "resident memory (MB): $SERIES"
grep -v '^$' "$TMP/err" | head -5 | sed 's/^/    /'
grep '^vlnet: not listed: 00:26:AB:2' "$TMP/err" | head -5 | sed 's/^/    /'
if [ -n "${KEEP_REPORT:-}" ]; then cp "$TMP/err" "$KEEP_REPORT"; fi
