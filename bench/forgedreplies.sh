#!/bin/bash
# Measures vlnet against forged replies that another host of the network
# sprays from its own address over the computer's ephemeral ports (the
# emulator's spraydetail attack): the devices on one namespaced network,
# the attacker in a namespace of its own on the same bridge. Each run starts
# the devices and the attacker afresh. Prints, per attack, how many runs it
# won, the runs' vlnet results and first lines of standard error (with
# their counts), vlnet's mean wall time, and the datagrams a second the
# computer received from the attacker while vlnet ran.
#
#   bench/forgedreplies.sh [--prefix NAME] BUILD_DIR [RUNS] [ATTACK ...]
#
# An ATTACK is one of:
#   forgeddetail       a GetDetail success of the device, with the attacker as
#                      gateway and DNS server and node name "forged" (and a
#                      SetDetail F004), under `run MAC SetDetail` with the
#                      right password: won when the device holds any of them
#   forgedsuccess      a SetDetail success, under `run MAC SetDetail` with a
#                      wrong password: won when vlnet says result 0
#   forgederror=RESULT a SetDetail error (0xF004, 0xF003), under `run MAC
#                      SetDetail` with the right password: won when vlnet
#                      reports a failure and the device took the value
#   listerrors         GetListInfo F004 errors, under `vlnet probe`: the
#                      genuine devices listed, of all runs
# Words before it change the run:
#   delay=MS     the devices answer this much late (default 200)
#   rate=N       the attacker's datagrams a second (default 300000)
#   devices=N    the devices of listerrors (default 10)
#   timeout=T    vlnet's --timeout (default 20; for probe, the SIGINT bound)
# e.g. "delay=20 listerrors", "rate=50000 forgedsuccess".
# The emulator is BUILD_DIR's unless VLEMU names another (to measure an
# older vlnet against the newer attacks). Needs root (network namespaces),
# whose names begin with --prefix NAME, else $VL_NETNS_PREFIX, else "vl"
# (NAME4242frgpc), by the tests' rules (docs/testing.md).
set -u
. "$(dirname "$0")/netns.sh"
usage="usage: bench/forgedreplies.sh [--prefix NAME] BUILD_DIR [RUNS] [ATTACK ...]"
bench_arguments "$@"
set -- "${ARGS[@]}"
VLEMU=${VLEMU:-$BUILD/bin/vlemu}
RUNS=${1:-5}
shift 1 2>/dev/null || shift $#
ATTACKS=("$@")
[ ${#ATTACKS[@]} -eq 0 ] && ATTACKS=("forgeddetail" "forgedsuccess" "forgederror=0xF004" "forgederror=0xF003"
    "listerrors")
P=$PREFIX$$frg
TMP=$(mktemp -d)
NET=10.202.1
ATTACKER=$NET.66

# The computer's side of both links on one bridge: a single network.
bridged_network $P $NET.1/24
ip -n ${P}pc route add default dev br1
for ((i = 10; i < 110; i++)); do ip -n ${P}dev addr add $NET.$i/24 dev vd1; done
ip -n ${P}atk addr add $ATTACKER/24 dev vdx

# A probe given --timeout listens that long: it is bounded by SIGINT instead.
vlnet() {
    if [ "$1" = probe ]; then
        ip netns exec ${P}pc timeout -s INT "$TIMEOUT" "$BUILD/bin/vlnet" "$@" --resources "$BUILD/share/vlnet"
    else
        ip netns exec ${P}pc "$BUILD/bin/vlnet" "$@" --timeout "$TIMEOUT" --resources "$BUILD/share/vlnet"
    fi
}
received() { ip netns exec ${P}pc cat /sys/class/net/vlx/statistics/rx_packets; }
mac() { printf '00:26:AB:11:%02X:01' "$1"; }
# The first line vlnet wrote on standard error, if any.
said() { grep -m1 -v '^$' "$TMP/err" | sed 's/^/; /'; }

echo "vlnet: $BUILD/bin/vlnet; emulator: $VLEMU"
echo "ephemeral ports $(ip netns exec ${P}pc cat /proc/sys/net/ipv4/ip_local_port_range | tr '\t' '-')" \
    "(computer), $(ip netns exec ${P}atk cat /proc/sys/net/ipv4/ip_local_port_range | tr '\t' '-') (attacker)"
for attack in "${ATTACKS[@]}"; do
    DELAY=200 RATE=300000 COUNT=10 TIMEOUT=20
    read -r -a words <<<"$attack"
    while [ ${#words[@]} -gt 1 ]; do
        case "${words[0]}" in
        delay=*) DELAY=${words[0]#delay=} ;;
        rate=*) RATE=${words[0]#rate=} ;;
        devices=*) COUNT=${words[0]#devices=} ;;
        timeout=*) TIMEOUT=${words[0]#timeout=} ;;
        *) break ;;
        esac
        words=("${words[@]:1}")
    done
    kind=${words[0]}
    SPRAY="sprayfn=0x5A21 result=0"
    case "$kind" in
    forgeddetail) SPRAY="" ;;
    forgedsuccess) ;;
    forgederror=*) SPRAY="sprayfn=0x5A21 result=${kind#forgederror=}" ;;
    listerrors) SPRAY="sprayfn=0x5A04 result=0xF004" ;;
    *)
        echo "unknown attack: $kind" >&2
        continue
        ;;
    esac
    [ "$kind" = listerrors ] || COUNT=1
    WON=0 LISTED=0 PACKETS=0 SECONDS_RUN=0
    : >"$TMP/said"
    for ((run = 1; run <= RUNS; run++)); do
        for ((i = 0; i < COUNT; i++)); do
            printf 'mac=%s ip=%s.%d mask=255.255.255.0 model="Model %d" password=right node=own gw=%s.254 dns=%s.53 restart=0 delay=%d\n' \
                "$(mac $i)" $NET $((10 + i)) $i $NET $NET "$DELAY"
        done >"$TMP/devices"
        echo "mac=00:26:AB:7F:7F:01 ip=$ATTACKER mask=255.255.255.0 restart=0 unicast=0 hostile=spraydetail" \
            "rate=$RATE victim=$(mac 0) victimip=$NET.10 $SPRAY" >"$TMP/attacker"
        emulator ${P}dev "$TMP/devices"
        emulator ${P}atk "$TMP/attacker"
        BEFORE=$(received) START=$(date +%s.%N)
        case "$kind" in
        listerrors) vlnet probe >"$TMP/out" 2>"$TMP/err" ;;
        forgedsuccess) vlnet run "$(mac 0)" SetDetail --password wrong "VLPC.2B_5A10_01.Location=Room-$run" \
            >"$TMP/out" 2>"$TMP/err" ;;
        *) vlnet run "$(mac 0)" SetDetail --password right "VLPC.2B_5A10_01.Location=Room-$run" \
            >"$TMP/out" 2>"$TMP/err" ;;
        esac
        STATUS=$?
        SECONDS_RUN=$(echo "$SECONDS_RUN + $(date +%s.%N) - $START" | bc)
        PACKETS=$((PACKETS + $(received) - BEFORE))
        # The attacker cut off: what the device holds now.
        kill "${EMUS[1]}" 2>/dev/null
        wait "${EMUS[1]}" 2>/dev/null
        case "$kind" in
        listerrors)
            N=$(grep -c "^00:26:AB:11:" "$TMP/out")
            LISTED=$((LISTED + N))
            echo "listed $N/$COUNT, exit $STATUS$(said)" >>"$TMP/said"
            ;;
        *)
            vlnet run "$(mac 0)" GetDetail >"$TMP/held" 2>&1
            HELD=$(grep -E '^VLPC.2B_5A10_01.(Gateway|DNSServer|NodeName|Location)=' "$TMP/held" | sed 's/^VLPC.2B_5A10_01.//' |
                tr '\n' ' ')
            SAID="$(head -1 "$TMP/out"), exit $STATUS$(said)"
            case "$kind" in
            forgeddetail) echo "$HELD" | grep -qE "=$ATTACKER |=forged " && WON=$((WON + 1)) ;;
            forgedsuccess) grep -q '^result 0 ' "$TMP/out" && WON=$((WON + 1)) ;;
            forgederror=*)
                if echo "$HELD" | grep -q "Location=Room-$run "; then
                    grep -q '^result 0 ' "$TMP/out" || WON=$((WON + 1))
                else
                    SAID="$SAID (not applied)"
                fi
                ;;
            esac
            [ "$kind" = forgeddetail ] && SAID="$SAID; device: $HELD"
            echo "$SAID" >>"$TMP/said"
            ;;
        esac
        stop_emulators
    done
    RECEIVED=$(echo "$PACKETS / $SECONDS_RUN" | bc)
    MEAN=$(echo "scale=1; $SECONDS_RUN / $RUNS" | bc)
    if [ "$kind" = listerrors ]; then
        printf '%-32s genuine devices listed %d of %d (%d runs)' "$attack" "$LISTED" $((COUNT * RUNS)) "$RUNS"
    else
        printf '%-32s won %d of %d runs' "$attack" "$WON" "$RUNS"
    fi
    printf ', vlnet %s s a run, %d datagrams/s received\n' "$MEAN" "$RECEIVED"
    sed 's/Room-[0-9]*/Room-N/g' "$TMP/said" | sort | uniq -c | sed 's/^ */    /'
done
