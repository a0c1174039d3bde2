#!/bin/bash
# Measures whether hosts that answer the probe before a device hide it.
#
#   bench/hiddendevice.sh [--prefix NAME] BUILD_DIR claims [CLAIMANTS [RUNS]]
#   bench/hiddendevice.sh [--prefix NAME] BUILD_DIR deaf|forged|offspray [RUNS]
#   bench/hiddendevice.sh [--prefix NAME] BUILD_DIR named [FORGED [RUNS]]
#   bench/hiddendevice.sh [--prefix NAME] BUILD_DIR report [CLAIMANTS [RUNS]]
#   bench/hiddendevice.sh [--prefix NAME] BUILD_DIR late [LATE_MS [RUNS]]
#
# claims: CLAIMANTS hosts (default 64) answer for the device's MAC from
# addresses of 172.20.0.0/16, a network the computer has no address or
# route in, before the device does (300 ms late); per run, `vlnet probe
# --mac MAC` (its time, whether it listed the device) and `vlnet run MAC
# GetDetail` (its time, status, first line of standard error).
# deaf: 600 hosts deaf to unicast on the device's network (10.206.0.0/22)
# answer the probe first; forged: 1,024 invented devices, 4 each from 256
# forged sources of that network that answer no ARP request (POOL=N
# sources, default 256). Per run, `vlnet run IP GetDetail` for the device
# (300 ms late), then, for forged, `url MAC`, `run MAC GetDetail` and
# `probe --mac MAC`: its time, status and first line of standard error.
# offspray: 600 invented devices from as many addresses of 172.20.0.0/16
# (no network of the computer's), then the device's MAC from a 601st, each
# round before the device answers (300 ms late); per run, `vlnet run MAC
# GetDetail` and `vlnet probe --mac MAC` (time, status, first line of
# standard error).
# named: a host that answers no ARP request forges the probe's reply from
# the device's own address with FORGED (default 4) invented MACs a request,
# before the device answers (300 ms late); per run, `vlnet run IP
# GetDetail`, `vlnet url IP` and `vlnet run MAC GetDetail`. SECOND=1: a
# second host of the network forges as many MACs from its own address,
# past its own bound, first.
# report: CLAIMANTS (default 1000) unreachable claimants as for claims; per
# run, `vlnet probe` on its own schedule (no --timeout): its time, status
# and the lines of standard error (the report of the claimants).
# late: one unreachable claimant answers at once, the device LATE_MS
# (default 2500) late; per run, `vlnet url MAC --timeout 20`: its time,
# status and first line of standard error.
#
# RUNS (default 3); each run starts the emulators afresh and runs with
# --timeout 10 (TIMEOUT=S another; TIMEOUT= none). The device answers
# LATE=MS late (the kinds' default unless set), or, with BOOT=MS, is silent
# that long from the first request it hears (still starting). The device, the hosts and the computer are namespaces on
# one bridge. The vlnet measured is BUILD_DIR's unless VLNET names another,
# its resources beside it. Needs root (network namespaces), whose names
# begin with --prefix NAME, else $VL_NETNS_PREFIX, else "vl", by the tests'
# rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/hiddendevice.sh [--prefix NAME] BUILD_DIR claims|report [CLAIMANTS [RUNS]] | late [LATE_MS [RUNS]]"\
" | deaf|forged|offspray [RUNS] | named [FORGED [RUNS]]"
bench_arguments "$@"
set -- "${ARGS[@]}"
KIND=${1:-}
case "$KIND" in
claims) CLAIMANTS=${2:-64} RUNS=${3:-3} ;;
report) CLAIMANTS=${2:-1000} RUNS=${3:-3} ;;
late) LATE=${2:-2500} RUNS=${3:-3} CLAIMANTS=1 ;;
deaf | forged | offspray) RUNS=${2:-3} ;;
named) FORGED=${2:-4} RUNS=${3:-3} ;;
*) usage_error "needs claims, report, late, deaf, forged, offspray or named" ;;
esac
VLNET=${VLNET:-$BUILD/bin/vlnet}
RESOURCES=$(dirname "$VLNET")/../share/vlnet
TIMEOUT=${TIMEOUT-10}
P=$PREFIX$$hd
TMP=$(mktemp -d)
NET=10.206
DEVICE=$NET.3.200 MAC=00:26:AB:11:00:01
# The spray's 601st MAC is the device's.
[ "$KIND" = offspray ] && MAC=00:26:AB:11:02:59

bridged_network $P $NET.0.1/22
ip -n ${P}dev addr add $DEVICE/22 dev vd1
ip -n ${P}atk addr add $NET.0.2/22 dev vdx
echo "mac=$MAC ip=$DEVICE mask=255.255.252.0 model=\"Model 0\" restart=0 delay=${LATE:-300}" \
    "${BOOT:+boot=$BOOT}" >"$TMP/device"
# address I: the Ith host address of the attacker's pool.
address() { echo "$1.$(($2 / 256)).$(($2 % 256))"; }
case "$KIND" in
claims | report | late)
    # The claimants' network, which the computer has no route to.
    for ((i = 1; i <= CLAIMANTS; i++)); do echo "addr add $(address 172.20 "$i")/16 dev vdx"; done >"$TMP/addr"
    echo "mac=$MAC ip=172.20.0.1 mask=255.255.0.0 restart=0 unicast=0 hostile=claims flood=1" \
        "pool=$CLAIMANTS rate=20000" >"$TMP/attacker"
    ;;
deaf)
    for ((i = 0; i < 600; i++)); do
        echo "addr add $(address $NET $((256 + i)))/22 dev vdx"
        printf 'mac=00:26:AB:7E:%02X:%02X ip=%s mask=255.255.252.0 restart=0 unicast=0\n' $((i / 256)) $((i % 256)) \
            "$(address $NET $((256 + i)))" >>"$TMP/attacker"
    done >"$TMP/addr"
    ;;
forged)
    # Forged sources answer no ARP request; the attacker's own address does.
    ip netns exec ${P}atk sysctl -qw net.ipv4.conf.all.arp_ignore=8 net.ipv4.conf.all.arp_announce=2
    for ((i = 0; i < ${POOL:=256}; i++)); do echo "addr add $(address $NET $((256 + i)))/22 dev vdx"; done >"$TMP/addr"
    echo "mac=00:26:AB:7F:7F:01 ip=$(address $NET 256) mask=255.255.252.0 restart=0 unicast=0" \
        "hostile=forgedmacs pool=$POOL flood=4 straygap=100" >"$TMP/attacker"
    ;;
offspray)
    for ((i = 2; i <= 601; i++)); do echo "addr add $(address 172.20 "$i")/16 dev vdx"; done >"$TMP/addr"
    echo "mac=00:26:AB:11:00:01 ip=172.20.0.1 mask=255.255.0.0 restart=0 unicast=0 hostile=claims spread=1" \
        "flood=601 pool=601 rate=20000" >"$TMP/attacker"
    ;;
named)
    # The device's own address, which the attacker never answers ARP for.
    ip netns exec ${P}atk sysctl -qw net.ipv4.conf.all.arp_ignore=8 net.ipv4.conf.all.arp_announce=2
    echo "addr add $DEVICE/22 dev vdx" >"$TMP/addr"
    echo "mac=00:26:AB:7F:7F:01 ip=$DEVICE mask=255.255.252.0 restart=0 unicast=0" \
        "hostile=inventmacs flood=$FORGED" >"$TMP/attacker"
    if [ -n "${SECOND:-}" ]; then
        echo "addr add $NET.0.3/22 dev vdx" >>"$TMP/addr"
        echo "mac=00:26:AB:7F:7E:01 ip=$NET.0.3 mask=255.255.252.0 restart=0 unicast=0" \
            "hostile=inventmacs flood=$FORGED" >>"$TMP/attacker"
    fi
    ;;
esac
ip -n ${P}atk -force -batch "$TMP/addr" >/dev/null 2>&1

vlnet() {  # ARG...: runs vlnet in the computer's namespace; prints time, status, its errors
    local start wall status
    start=$(date +%s.%N)
    ip netns exec ${P}pc "$VLNET" "$@" ${TIMEOUT:+--timeout $TIMEOUT} --resources "$RESOURCES" >"$TMP/out" 2>"$TMP/err"
    status=$?
    wall=$(echo "$(date +%s.%N) - $start" | bc)
    printf '%.2f s, exit %d, %d lines on standard error%s' "$wall" "$status" "$(wc -l <"$TMP/err")" \
        "$(grep -m1 -v '^$' "$TMP/err" | cut -c1-150 | sed 's/^/; /')"
}

echo "vlnet: $VLNET"
for ((run = 1; run <= RUNS; run++)); do
    ip -n ${P}pc neigh flush dev br1 2>/dev/null
    emulator ${P}dev "$TMP/device"
    emulator ${P}atk "$TMP/attacker"
    if [ "$KIND" = report ]; then
        printf '  run %d behind %d unreachable claimants: probe %s\n' "$run" "$CLAIMANTS" "$(TIMEOUT='' vlnet probe)"
    elif [ "$KIND" = late ]; then
        printf '  run %d, an unreachable claimant, the device %d ms late: url MAC --timeout 20: %s\n' "$run" \
            "$LATE" "$(TIMEOUT=20 vlnet url $MAC)"
    elif [ "$KIND" = claims ]; then
        printf '  run %d behind %d unreachable claimants: probe --mac %s' "$run" "$CLAIMANTS" "$(vlnet probe --mac $MAC)"
        printf '; listed %d\n' "$(grep -c "^$MAC" "$TMP/out")"
        stop_emulators
        emulator ${P}dev "$TMP/device"
        emulator ${P}atk "$TMP/attacker"
        printf '         run MAC GetDetail: %s' "$(vlnet run $MAC GetDetail)"
        printf '; answered %d\n' "$(grep -c '^VLPC.2B_5A10_01.NodeName=' "$TMP/out")"
    elif [ "$KIND" = offspray ] || [ "$KIND" = named ]; then
        if [ "$KIND" = offspray ]; then
            runs=("run $MAC GetDetail" "probe --mac $MAC") behind="600 off-network devices and the MAC from one more"
        else
            runs=("run $DEVICE GetDetail" "url $DEVICE" "run $MAC GetDetail") behind="$FORGED MACs forged from its address"
        fi
        for args in "${runs[@]}"; do
            # shellcheck disable=SC2086
            printf '  run %d behind %s: %s: %s\n' "$run" "$behind" "$args" "$(vlnet $args)"
            stop_emulators
            emulator ${P}dev "$TMP/device"
            emulator ${P}atk "$TMP/attacker"
        done
    else
        behind=$([ "$KIND" = deaf ] && echo "600 deaf hosts" || echo "$((4 * POOL)) forged devices")
        printf '  run %d behind %s: run %s GetDetail: %s' "$run" "$behind" "$DEVICE" "$(vlnet run $DEVICE GetDetail)"
        printf '; answered %d\n' "$(grep -c '^VLPC.2B_5A10_01.NodeName=' "$TMP/out")"
        [ "$KIND" = forged ] && for args in "url $MAC" "run $MAC GetDetail" "probe --mac $MAC"; do
            stop_emulators
            emulator ${P}dev "$TMP/device"
            emulator ${P}atk "$TMP/attacker"
            # shellcheck disable=SC2086
            printf '  run %d behind %s: %s: %s\n' "$run" "$behind" "$args" "$(vlnet $args)"
        done
    fi
    stop_emulators
done
