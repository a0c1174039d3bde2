#!/bin/bash
# Measures vlnet probe against one hostile host: emulated devices on three
# namespaced networks (by default seven: three, two and two), the attacker
# beside the devices of the first, or on a fourth network of its own.
# Prints, per attack, the real devices listed, the time the last of them was
# listed, the wall time, the exit status, the peak memory (kB) and the peak
# threads and descriptors, and the first lines of standard error.
#
#   bench/attacks.sh [--prefix NAME] BUILD_DIR [TIMEOUT] [ATTACK ...]
#
# An ATTACK is a line of the emulator's device list without mac and ip,
# e.g. "hostile=randommacs rate=13000", "hostile=inventmacs flood=300",
# "hostile=repeat rate=5000", "hostile=errorheaders rate=5000 result=0xFF01",
# "hostile=changing rate=300", or "none" (no attacker: the quiet run to
# compare with), or "impostor" (the first device's MAC from
# another address, 50 ms late), or "ulimit=N" (no attacker; vlnet may open
# N descriptors), or "deaf=N" (no attacker: N devices on the first network
# that ignore unicast answer at once, the real ones 300 to 600 ms later;
# "deaf=0" is the same without them; beyond 100 they share the addresses
# .100 to .199, up to 4 to one). Words before it change the run:
#   devices=A,B,C  real devices on the three networks (default 3,2,2)
#   timeout=T      the most the probe may run: then it is stopped by SIGINT
#                  (a probe given --timeout would listen that long)
#   pool=N         the attacker is on a network of its own (10.202.4.0/22)
#                  and answers from N addresses (its "pool")
#   series=S       also prints vlnet's resident memory every S seconds
#   delay=MS       the real devices answer this much late
# e.g. "devices=25,24,0 timeout=40 hostile=errorheaders rate=5000",
# "pool=150 hostile=forgedmacs flood=600", "pool=500 timeout=60
# hostile=changing rate=10000", "devices=0,30,0 deaf=20".
# The last attack of the default list is the longest flood: 500 forged
# devices whose data changes with every datagram (10,000 a second), whose
# unicast checks wait out their time-out, which keeps vlnet probing some
# 10 s; its memory series shows whether the probe's memory stays flat while
# it runs.
# The emulator is BUILD_DIR's unless VLEMU names another (to measure an
# older vlnet against the newer attacks). Needs root (network namespaces),
# whose names begin with --prefix NAME, else $VL_NETNS_PREFIX, else "vl"
# (NAME4242atkpc), by the tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/attacks.sh [--prefix NAME] BUILD_DIR [TIMEOUT] [ATTACK ...]"
bench_arguments "$@"
set -- "${ARGS[@]}"
VLEMU=${VLEMU:-$BUILD/bin/vlemu}
TIMEOUT=${1:-20}
shift 1 2>/dev/null || shift $#
ATTACKS=("$@")
[ ${#ATTACKS[@]} -eq 0 ] && ATTACKS=("hostile=randommacs rate=1000" "hostile=randommacs rate=5000"
    "hostile=randommacs rate=13000" "hostile=inventmacs flood=100" "hostile=inventmacs flood=300"
    "hostile=inventmacs flood=1000" "hostile=repeat rate=5000" "impostor"
    "pool=500 timeout=180 series=10 hostile=changing rate=10000")
P=$PREFIX$$atk
TMP=$(mktemp -d)

netns_add ${P}pc || exit 1
ip -n ${P}pc link set lo up
for n in 1 2 3 4; do
    netns_add $P$n || exit 1
    ip -n $P$n link set lo up
    ip link add vl$n netns ${P}pc type veth peer name vd$n netns $P$n
    ip -n ${P}pc link set vl$n up
    ip -n $P$n link set vd$n up
done
for n in 1 2 3; do ip -n ${P}pc addr add 10.202.$n.1/24 dev vl$n; done
ip -n ${P}pc addr add 10.202.4.1/22 dev vl4
ip -n ${P}pc route add default dev vl1
# The addresses of the networks' devices (.10 to .209, the attacker's .66
# among them) and of a pool (up to 1000 from 10.202.4.10), laid once.
for n in 1 2 3; do
    for ((i = 10; i < 210; i++)); do echo "addr add 10.202.$n.$i/24 dev vd$n"; done >"$TMP/addr$n"
    ip -n $P$n -force -batch "$TMP/addr$n" >/dev/null 2>&1
done
for ((i = 10; i < 1010; i++)); do echo "addr add 10.202.$((4 + i / 256)).$((i % 256))/22 dev vd4"; done >"$TMP/addr4"
ip -n ${P}4 -force -batch "$TMP/addr4" >/dev/null 2>&1

# devices N COUNT [KEYS]: the device list of network N.
devices() {
    for ((i = 0; i < $2; i++)); do
        printf 'mac=00:26:AB:%02X:%02X:01 ip=10.202.%d.%d mask=255.255.255.0 model="Model %d-%d" restart=0 %s\n' \
            $((0x10 + $1)) $i $1 $((10 + i)) $1 $i "${3:-}"
    done
}

EMUS=()
for attack in "${ATTACKS[@]}"; do
    COUNTS=(3 2 2) RUNTIMEOUT=$TIMEOUT POOL=0 SERIES=0 DELAY=""
    words=($attack)
    while [ ${#words[@]} -gt 0 ]; do
        case "${words[0]}" in
        devices=*) IFS=, read -r -a COUNTS <<<"${words[0]#devices=}" ;;
        timeout=*) RUNTIMEOUT=${words[0]#timeout=} ;;
        pool=*) POOL=${words[0]#pool=} ;;
        series=*) SERIES=${words[0]#series=} ;;
        delay=*) DELAY="delay=${words[0]#delay=}" ;;
        *) break ;;
        esac
        words=("${words[@]:1}")
    done
    rest="${words[*]}"
    TOTAL=$((COUNTS[0] + COUNTS[1] + COUNTS[2]))
    for n in 1 2 3; do devices $n "${COUNTS[$((n - 1))]}" "$DELAY" >"$TMP/dev$n"; done
    : >"$TMP/dev4"
    LIMIT=""
    if [ "$rest" = none ]; then
        :
    elif [ "${rest#ulimit=}" != "$rest" ]; then
        LIMIT="ulimit -n ${rest#ulimit=};"
    elif [ "${rest#deaf=}" != "$rest" ]; then
        # The real devices answer 300 to 600 ms late; the deaf ones at once.
        for n in 1 2 3; do
            devices $n "${COUNTS[$((n - 1))]}" | awk '{ printf "%s delay=%d\n", $0, 300 + (NR * 37) % 301 }' >"$TMP/dev$n"
        done
        for ((i = 0; i < ${rest#deaf=}; i++)); do
            printf 'mac=00:26:AB:21:%02X:%02X ip=10.202.1.%d mask=255.255.255.0 model="Deaf %d" restart=0 unicast=0\n' \
                $((i % 256)) $((1 + i / 256)) $((100 + i % 100)) $i >>"$TMP/dev1"
        done
    elif [ "$rest" = impostor ]; then
        echo 'mac=00:26:AB:11:00:01 ip=10.202.1.66 mask=255.255.255.0 model="Model 1-0" restart=0 hostile=impostor delay=50' >>"$TMP/dev1"
    elif [ "$POOL" -gt 0 ]; then
        echo "mac=00:26:AB:7F:7F:01 ip=10.202.4.10 mask=255.255.252.0 restart=0 unicast=0 pool=$POOL $rest" >"$TMP/dev4"
    else
        echo "mac=00:26:AB:7F:7F:01 ip=10.202.1.66 mask=255.255.255.0 restart=0 unicast=0 $rest" >>"$TMP/dev1"
    fi
    EMUS=()
    for n in 1 2 3 4; do
        [ -s "$TMP/dev$n" ] || continue
        ip netns exec $P$n "$VLEMU" "$TMP/dev$n" >/dev/null &
        EMUS+=($!)
    done
    sleep 0.5
    START=$(date +%s.%N)
    ip netns exec ${P}pc /usr/bin/time -f "%M %e %U %S" -o "$TMP/time" bash -c "$LIMIT exec \"\$@\"" vlnet \
        timeout -s INT "$RUNTIMEOUT" "$BUILD/bin/vlnet" probe --resources "$BUILD/share/vlnet" 2>"$TMP/err" |
        while IFS= read -r line; do echo "$(date +%s.%N) $line"; done >"$TMP/out" &
    TPID=$!
    PEAKT=0 PEAKF=0 MEMORY="" NEXT=$SERIES SINCE=$SECONDS
    while kill -0 $TPID 2>/dev/null; do
        VPID=""
        for pid in $(ip netns pids ${P}pc 2>/dev/null); do
            [ "$(cat /proc/$pid/comm 2>/dev/null)" = vlnet ] && VPID=$pid
        done
        if [ -n "$VPID" ]; then
            T=$(awk '/^Threads/ {print $2}' /proc/$VPID/status 2>/dev/null || echo 0)
            F=$(ls /proc/$VPID/fd 2>/dev/null | wc -l)
            [ "${T:-0}" -gt $PEAKT ] && PEAKT=$T
            [ "${F:-0}" -gt $PEAKF ] && PEAKF=$F
            if [ "$SERIES" -gt 0 ] && [ $((SECONDS - SINCE)) -ge "$NEXT" ]; then
                R=$(awk '/^VmRSS/ {printf "%.1f", $2 / 1000}' /proc/$VPID/status 2>/dev/null)
                [ -n "$R" ] && MEMORY="$MEMORY${MEMORY:+, }$NEXT s $R MB"
                NEXT=$((NEXT + SERIES))
            fi
        fi
        sleep 0.05
    done
    wait $TPID
    STATUS=$(grep -o 'non-zero status [0-9]*' "$TMP/time" | awk '{print $3}')
    STATUS=${STATUS:-0}
    END=$(date +%s.%N)
    for pid in "${EMUS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    REAL=$(grep -c ' 00:26:AB:1[123]:' "$TMP/out")
    LAST=$(grep ' 00:26:AB:1[123]:' "$TMP/out" | tail -1 | awk -v s="$START" '{printf "%.1f", $1 - s}')
    read -r RSS ELAPSED USER SYS < <(tail -1 "$TMP/time" 2>/dev/null)
    MARK=$(grep -c 'also answered from' "$TMP/out")
    printf '%-60s real %d/%d  last at %4s s  listed %d  marked %d  %5.1f s  exit %d  rss %7d kB  cpu %5.1f s  threads %d  fds %d\n' \
        "$attack" "$REAL" "$TOTAL" "${LAST:--}" "$(wc -l <"$TMP/out")" "$MARK" "$(echo "$END - $START" | bc)" \
        "$STATUS" "${RSS:-0}" "$(echo "${USER:-0} + ${SYS:-0}" | bc)" $PEAKT $PEAKF
    [ -n "$MEMORY" ] && echo "    memory: $MEMORY"
    grep -m3 -v '^$' "$TMP/err" | tr '\r' '\n' | grep -v '^probing' | grep -v '^$' | head -3 | sed 's/^/    stderr: /'
done
