#!/bin/bash
# Measures `vlnet run IP GetDetail` for a device behind 511 invented devices
# from forged sources of its own network: 4 MACs to a source (the most one
# source may bring), 512 devices in all (the most a network may hold). The
# forged sources answer no ARP request (a host that forges its source
# address is not there), so every unicast check sent to them waits in the
# computer's neighbour queue until its entry fails. The device, the
# attacker and the computer are namespaces on one bridge. Each run starts
# the emulators afresh. Prints, per run, vlnet's wall time, exit status and
# first line of standard error, then the mean; then a `vlnet probe` behind
# the same flood, stopped by SIGINT after TIMEOUT: whether it listed the
# device, and how many addresses it said were still in their check.
#
#   bench/forgedsources.sh [--prefix NAME] BUILD_DIR [RUNS [TIMEOUT]]
#
# RUNS (default 5) runs of `run IP` with --timeout TIMEOUT (default 10).
# SAMPLE=S also prints, every S seconds of each run, the send queue of the
# computer's UDP sockets (ss -m: the bytes its sends hold, t, against the
# send buffer, tb) and the neighbour entries that failed so far
# (/proc/net/stat/arp_cache unresolved_discards). The vlnet measured is
# BUILD_DIR's unless VLNET names another (an older one, against this build's
# emulator), its resources beside it. Needs root (network namespaces), whose
# names begin with --prefix NAME, else $VL_NETNS_PREFIX, else "vl"
# (NAME4242fspc), by the tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/forgedsources.sh [--prefix NAME] BUILD_DIR [RUNS [TIMEOUT]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
RUNS=${1:-5} TIMEOUT=${2:-10} DELAY=${DELAY:-300}
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
SAMPLE=${SAMPLE:-}
P=$PREFIX$$fs
TMP=$(mktemp -d)
NET=10.204.1
DEVICE=$NET.10
# 127 sources with 4 MACs each from .100, and one with 3: 511.
POOL=127 LAST=$NET.240

bridged_network $P $NET.1/24
ip -n ${P}pc route add default dev br1
ip -n ${P}dev addr add $DEVICE/24 dev vd1
# The attacker's own address first (its ARP requests name it, so that the
# computer learns no forged source from them), then the forged sources,
# which answer no ARP request.
ip netns exec ${P}atk sysctl -qw net.ipv4.conf.all.arp_ignore=8 net.ipv4.conf.all.arp_announce=2
ip -n ${P}atk addr add $NET.2/24 dev vdx
{
    for ((i = 100; i < 100 + POOL; i++)); do echo "addr add $NET.$i/24 dev vdx"; done
    echo "addr add $LAST/24 dev vdx"
} >"$TMP/addr"
ip -n ${P}atk -force -batch "$TMP/addr" >/dev/null 2>&1

echo "mac=00:26:AB:11:00:01 ip=$DEVICE mask=255.255.255.0 model=\"Model 0\" restart=0 delay=$DELAY" >"$TMP/device"
{
    echo "mac=00:26:AB:7F:7F:01 ip=$NET.100 mask=255.255.255.0 restart=0 unicast=0 hostile=forgedmacs" \
        "pool=$POOL flood=4 straygap=100"
    echo "mac=00:26:AB:7F:7F:02 ip=$LAST mask=255.255.255.0 restart=0 unicast=0 hostile=forgedmacs" \
        "pool=1 flood=3 straygap=100"
} >"$TMP/attacker"

# The computer forgets what the last run taught it.
forget() { ip -n ${P}pc neigh flush dev br1 2>/dev/null; }
neighbours() {  # the computer's neighbour entries by state
    ip -n ${P}pc neigh show dev br1 | awk '{ n[$NF]++ } END { for (s in n) printf "%s %d ", s, n[s] }'
}
sample() {  # PID: the send queues of vlnet's UDP sockets until it ends
    local since=$SECONDS
    while kill -0 "$1" 2>/dev/null; do
        printf '    %2d s: %s; neighbours %s\n' $((SECONDS - since)) \
            "$(ip netns exec ${P}pc ss -uamnH 2>/dev/null | grep -o 'skmem:([^)]*)' | sed 's/skmem:(//; s/)//' |
                awk -F, '{ for (i = 1; i <= NF; i++) if ($i ~ /^(t|tb)[0-9]/) printf "%s ", $i; printf "| " }')" \
            "$(neighbours)"
        sleep "$SAMPLE"
    done
}

echo "vlnet: $VLNET"
echo "run $DEVICE GetDetail --timeout $TIMEOUT behind 511 invented devices from 128 forged sources"
TOTAL=0 ANSWERED=0
for ((run = 1; run <= RUNS; run++)); do
    forget
    emulator ${P}dev "$TMP/device"
    emulator ${P}atk "$TMP/attacker"
    START=$(date +%s.%N)
    ip netns exec ${P}pc "$VLNET" run $DEVICE GetDetail --timeout "$TIMEOUT" --resources "$RESOURCES" \
        >"$TMP/out" 2>"$TMP/err" &
    VPID=$!
    SPID=""
    if [ -n "$SAMPLE" ]; then
        sample $VPID &
        SPID=$!
    fi
    wait $VPID
    STATUS=$?
    WALL=$(echo "$(date +%s.%N) - $START" | bc)
    [ -n "$SPID" ] && wait $SPID
    TOTAL=$(echo "$TOTAL + $WALL" | bc)
    grep -q '^VLPC.2B_5A10_01.NodeName=' "$TMP/out" && ANSWERED=$((ANSWERED + 1))
    printf '  run %d: %.2f s, exit %d%s\n' "$run" "$WALL" "$STATUS" \
        "$(grep -m1 -v '^$' "$TMP/err" | cut -c1-150 | sed 's/^/; /')"
    stop_emulators
done
printf 'answered %d of %d runs, %.2f s a run\n' "$ANSWERED" "$RUNS" "$(echo "scale=3; $TOTAL / $RUNS" | bc)"

forget
emulator ${P}dev "$TMP/device"
emulator ${P}atk "$TMP/attacker"
ip netns exec ${P}pc timeout -s INT "$TIMEOUT" "$VLNET" probe --resources "$RESOURCES" >"$TMP/out" 2>"$TMP/err"
STATUS=$?
STILL=$(grep -m1 'still in the unicast check' "$TMP/err" | sed 's/^vlnet: //')
printf 'probe stopped at %s s: exit %d, the genuine device listed %d; %s\n' "$TIMEOUT" $STATUS \
    "$(grep -c '^00:26:AB:11:00:01' "$TMP/out")" "${STILL:-no address still in its unicast check}"
stop_emulators
