# Sourced by the benchmark scripts after they set TMP: the namespaces a run
# made, each named once it exists, and the end that removes these and no
# others, with every process still in them (the emulators and vlnet, which a
# background job keeps through Ctrl-C), and TMP.
MADE=()
netns_add() { ip netns add "$1" && MADE+=("$1"); }
cleanup() {
    trap - EXIT INT TERM
    for ns in "${MADE[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null; done
    done
    wait 2>/dev/null
    for ns in "${MADE[@]}"; do ip netns del "$ns"; done
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
