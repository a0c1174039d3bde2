# Sourced first by the benchmark scripts that make namespaces of their own:
# the prefix of their names (netns_prefix), then, once they set TMP, the
# namespaces a run made, each named once it exists, and the end that removes
# these and no others, with every process still in them (the emulators and
# vlnet, which a background job keeps through Ctrl-C), and TMP.
. "$(dirname "${BASH_SOURCE[0]}")/../tests/support/namespaces.sh"

# netns_prefix ARG...: takes "--prefix NAME" from the arguments, over
# $VL_NETNS_PREFIX, else "vl", by the tests' rules for a prefix; sets PREFIX,
# and ARGS to the other arguments. -h or --help prints the script's USAGE; a
# usage error ends the script with status 2.
netns_prefix() {
    local from=VL_NETNS_PREFIX why
    PREFIX=${VL_NETNS_PREFIX:-}
    ARGS=()
    while [ $# -gt 0 ]; do
        case $1 in
            -h | --help)
                printf '%s\n' "$USAGE"
                exit 0 ;;
            --prefix | --prefix=*)
                if [ "$1" = --prefix ]; then
                    [ $# -ge 2 ] || netns_usage_error "--prefix needs a name"
                    shift
                fi
                PREFIX=${1#--prefix=}
                from=--prefix
                shift ;;
            *) ARGS+=("$1"); shift ;;
        esac
    done
    if [ "$from" = --prefix ] || [ -n "$PREFIX" ]; then
        why=$(netns_prefix_error "$PREFIX")
        [ -z "$why" ] || netns_usage_error "$from '$PREFIX' cannot begin a namespace's name: $why"
    fi
    PREFIX=${PREFIX:-vl}
}
netns_usage_error() {  # message
    printf '%s: %s\n%s\n' "$(basename "$0")" "$1" "$USAGE" >&2
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
