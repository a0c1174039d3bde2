#!/bin/bash
# Measures vlnet probe against one hostile host: seven emulated devices on
# three namespaced networks, the attacker beside the devices of the first.
# Prints, per attack, the real devices listed, the wall time, the exit
# status, the peak memory (kB) and the peak threads and descriptors.
#
#   bench/attacks.sh BUILD_DIR [TIMEOUT] [ATTACK ...]
#
# An ATTACK is a line of the emulator's device list without mac and ip,
# e.g. "hostile=randommacs rate=13000", "hostile=inventmacs flood=300",
# "hostile=repeat rate=5000", or "impostor" (the first device's MAC from
# another address, 50 ms late), or "ulimit=N" (no attacker; vlnet may open
# N descriptors). Needs root (network namespaces).
set -u
BUILD=$(cd "${1:?build folder}" && pwd)
TIMEOUT=${2:-20}
shift 2 2>/dev/null || shift $#
ATTACKS=("$@")
[ ${#ATTACKS[@]} -eq 0 ] && ATTACKS=("hostile=randommacs rate=1000" "hostile=randommacs rate=5000"
    "hostile=randommacs rate=13000" "hostile=inventmacs flood=100" "hostile=inventmacs flood=300"
    "hostile=inventmacs flood=1000" "hostile=repeat rate=5000" "impostor")
P=vlatk$$
TMP=$(mktemp -d)
cleanup() {
    for pid in $(cat "$TMP"/pids 2>/dev/null); do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    for ns in pc n1 n2 n3; do ip netns del $P$ns 2>/dev/null; done
    rm -rf "$TMP"
}
trap cleanup EXIT

ip netns add ${P}pc
ip -n ${P}pc link set lo up
for n in 1 2 3; do
    ip netns add $P$n
    ip -n $P$n link set lo up
    ip link add vl$n netns ${P}pc type veth peer name vd$n netns $P$n
    ip -n ${P}pc addr add 10.202.$n.1/24 dev vl$n
    ip -n ${P}pc link set vl$n up
    ip -n $P$n link set vd$n up
done
ip -n ${P}pc route add default dev vl1
# Seven devices: three, two and two.
declare -A COUNT=([1]=3 [2]=2 [3]=2)
for n in 1 2 3; do
    for ((i = 0; i < ${COUNT[$n]}; i++)); do
        ip -n $P$n addr add 10.202.$n.$((10 + i))/24 dev vd$n
        printf 'mac=00:26:AB:%02X:%02X:01 ip=10.202.%d.%d mask=255.255.255.0 model="Model %d-%d" restart=0\n' \
            $((0x10 + n)) $i $n $((10 + i)) $n $i >>"$TMP/dev$n"
    done
done
ip -n ${P}1 addr add 10.202.1.66/24 dev vd1
for n in 2 3; do
    ip netns exec $P$n "$BUILD/bin/vlemu" "$TMP/dev$n" >/dev/null &
    echo $! >>"$TMP/pids"
done

for attack in "${ATTACKS[@]}"; do
    cp "$TMP/dev1" "$TMP/atk"
    LIMIT=""
    if [ "${attack#ulimit=}" != "$attack" ]; then
        LIMIT="ulimit -n ${attack#ulimit=};"
    elif [ "$attack" = impostor ]; then
        echo 'mac=00:26:AB:11:00:01 ip=10.202.1.66 mask=255.255.255.0 model="Model 1-0" restart=0 hostile=impostor delay=50' >>"$TMP/atk"
    else
        echo "mac=00:26:AB:7F:7F:01 ip=10.202.1.66 mask=255.255.255.0 restart=0 unicast=0 $attack" >>"$TMP/atk"
    fi
    ip netns exec ${P}1 "$BUILD/bin/vlemu" "$TMP/atk" >/dev/null &
    EMU=$!
    sleep 0.3
    START=$(date +%s.%N)
    ip netns exec ${P}pc /usr/bin/time -f "%M %e %U %S" -o "$TMP/time" bash -c "$LIMIT exec \"\$@\"" vlnet \
        "$BUILD/bin/vlnet" probe --timeout "$TIMEOUT" --resources "$BUILD/share/vlnet" >"$TMP/out" 2>"$TMP/err" &
    TPID=$!
    PEAKT=0 PEAKF=0
    while kill -0 $TPID 2>/dev/null; do
        VPID=$(pgrep -P $TPID -x vlnet 2>/dev/null | head -1)
        if [ -n "$VPID" ]; then
            T=$(awk '/^Threads/ {print $2}' /proc/$VPID/status 2>/dev/null || echo 0)
            F=$(ls /proc/$VPID/fd 2>/dev/null | wc -l)
            [ "${T:-0}" -gt $PEAKT ] && PEAKT=$T
            [ "${F:-0}" -gt $PEAKF ] && PEAKF=$F
        fi
        sleep 0.05
    done
    wait $TPID
    STATUS=$?
    END=$(date +%s.%N)
    kill $EMU 2>/dev/null
    wait $EMU 2>/dev/null
    REAL=$(grep -c '^00:26:AB:1[123]:' "$TMP/out")
    read -r RSS ELAPSED USER SYS < <(tail -1 "$TMP/time" 2>/dev/null)
    MARK=$(grep -c 'also answered from' "$TMP/out")
    printf '%-34s real %d/7  listed %d  marked %d  %5.1f s  exit %d  rss %6d kB  cpu %5.1f s  threads %d  fds %d\n' \
        "$attack" "$REAL" "$(wc -l <"$TMP/out")" "$MARK" "$(echo "$END - $START" | bc)" "$STATUS" "${RSS:-0}" \
        "$(echo "${USER:-0} + ${SYS:-0}" | bc)" $PEAKT $PEAKF
    grep -m3 -v '^$' "$TMP/err" | sed 's/^/    stderr: /'
done
