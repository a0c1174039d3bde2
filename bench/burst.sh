#!/bin/bash
# Measures vlnet probe beside a burst: one emulated device answers each probe
# 3,000 times at once, four beside it answer once. Prints per run the devices
# listed, the exit status, the computer's RcvbufErrors (datagrams the system
# dropped for a full receive buffer) and the first line of standard error,
# then how many runs listed all five.
#
#   bench/burst.sh BUILD_DIR [RUNS] [VLNET]
#
# VLNET (default BUILD_DIR/bin/vlnet) may be another build's program, to
# compare; its resources are taken beside it. Needs root (network namespaces).
set -u
BUILD=$(cd "${1:?build folder}" && pwd)
RUNS=${2:-20}
VLNET=${3:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
TMP=$(mktemp -d)
exec 3< <(sleep 100000)
coproc NET { "$BUILD/bin/vltestnet" --network 1 "hostile=burst flood=3000" "" "" "" "" <&3; }
cleanup() {
    kill "$NET_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$TMP"
}
trap cleanup EXIT
NS=""
while read -r line <&"${NET[0]}"; do
    case "$line" in
    computer*) NS=${line#computer } ;;
    ready) break ;;
    esac
done
[ -n "$NS" ] || { echo "burst.sh: the network could not be made" >&2; exit 1; }
drops() { ip netns exec "$NS" awk '/^Udp:/ { if (++n == 2) print $6 }' /proc/net/snmp; }
pass=0
for ((i = 1; i <= RUNS; i++)); do
    before=$(drops)
    ip netns exec "$NS" "$VLNET" probe --resources "$RESOURCES" >"$TMP/out" 2>"$TMP/err"
    status=$?
    after=$(drops)
    listed=$(grep -c . "$TMP/out")
    [ "$listed" = 5 ] && pass=$((pass + 1))
    echo "run $i: $listed listed, exit $status, RcvbufErrors +$((after - before)) $(head -1 "$TMP/err")"
done
echo "$pass of $RUNS runs listed all five"
