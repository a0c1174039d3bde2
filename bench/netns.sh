# Sourced first by the benchmark scripts that make namespaces of their own:
# their arguments, with the beginning of their namespaces' names, then, once
# they set TMP, the namespaces a run made, each named once it exists, and the
# end that removes these and no others, with every process still in them
# (the emulators and vlnet, which a background job keeps through Ctrl-C), and
# TMP; then the emulators and vltestnet that the scripts start.
. "$(dirname "${BASH_SOURCE[0]}")/../tests/support/namespaces.sh"

# bench_arguments ARG...: --prefix NAME (tests/support/namespaces.sh), and
# BUILD, the build folder the first other argument names; ARGS, the others.
# PREFIX: the namespaces' names' beginning ("vl" when none is given).
bench_arguments() {
    netns_prefix_arguments "$@"
    PREFIX=${VL_NETNS_PREFIX:-vl}
    [ ${#ARGS[@]} -ge 1 ] || usage_error "needs the build folder"
    BUILD=$(cd "${ARGS[0]}" 2>/dev/null && pwd) || {
        echo "$(basename "$0"): no build folder '${ARGS[0]}'" >&2
        exit 1
    }
    ARGS=("${ARGS[@]:1}")
}
usage_error() {  # message: with the script's $usage, status 2
    printf '%s: %s\n%s\n' "$(basename "$0")" "$1" "$usage" >&2
    exit 2
}

MADE=()
netns_add() { ip netns add "$1" && MADE+=("$1"); }
cleanup() {
    trap - EXIT INT TERM
    for ns in "${MADE[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null; done
    done
    wait 2>/dev/null
    for ns in "${MADE[@]}"; do ip netns del "$ns"; done
    rm -rf "${TMP:-}"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# emulator NS FILE: starts vlemu (VLEMU, else BUILD's) in the namespace with
# the device list FILE, its output in FILE.out, and returns once it is bound.
EMUS=()
emulator() {
    ip netns exec "$1" "${VLEMU:-$BUILD/bin/vlemu}" "$2" >"$2.out" &
    EMUS+=($!)
    for ((w = 0; w < 200; w++)); do
        grep -q ready "$2.out" 2>/dev/null && return
        sleep 0.02
    done
    echo "vlemu did not start: $2" >&2
    exit 1
}
stop_emulators() {
    for pid in "${EMUS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    EMUS=()
}

# testnet ARG...: starts BUILD's vltestnet with ARG... (and PREFIX) as the
# coprocess NET, and returns once its networks are ready, with the
# computer's namespace in COMPUTER; exits when they could not be made.
testnet() {
    coproc NET { exec "$BUILD/bin/vltestnet" ${PREFIX:+--prefix "$PREFIX"} "$@"; }
    COMPUTER=""
    local kind rest
    while read -r -u "${NET[0]}" kind rest; do
        case $kind in
        computer) COMPUTER=$rest ;;
        ready) break ;;
        esac
    done
    if [ -z "$COMPUTER" ]; then
        echo "$(basename "$0"): the network could not be made" >&2
        exit 1
    fi
}

# bridged_network P ADDRESS/LENGTH: the namespaces ${P}pc (the computer),
# ${P}dev and ${P}atk, their links vd1 and vdx joined on the computer's
# bridge br1 (by vl1 and vlx), all up, with ADDRESS on br1. Their other
# addresses and routes are the script's own.
bridged_network() {
    local ns link
    for ns in pc dev atk; do
        netns_add "$1$ns" || exit 1
        ip -n "$1$ns" link set lo up
    done
    ip link add vl1 netns "${1}pc" type veth peer name vd1 netns "${1}dev"
    ip link add vlx netns "${1}pc" type veth peer name vdx netns "${1}atk"
    ip -n "${1}pc" link add br1 type bridge
    for link in vl1 vlx; do ip -n "${1}pc" link set $link master br1 up; done
    ip -n "${1}pc" link set br1 up
    ip -n "${1}pc" addr add "$2" dev br1
    ip -n "${1}dev" link set vd1 up
    ip -n "${1}atk" link set vdx up
}
