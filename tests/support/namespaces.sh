# The shell checks' side of tests/support/NeedsNamespaces.h, sourced by
# tests/app/demo_test.sh and tools/check-install.sh: the same decision, so
# that a check that needs network namespaces where none can be made is
# skipped by hand and fails where they must run (VL_TEST_REQUIRE_NAMESPACES,
# which tools/test-all.sh sets). Also sourced by the scripts that make
# namespaces of their own (tools/demo.sh, bench/netns.sh), for their
# --prefix.

# Prints why $1 cannot begin a namespace's name, by the rule of
# CTestNetwork::PrefixError; nothing when it can.
netns_prefix_error() {
  if [ ${#1} -lt 1 ] || [ ${#1} -gt 32 ]; then
    echo "a prefix has 1 to 32 characters"
  elif ! [[ $1 =~ ^[A-Za-z0-9_-]*$ ]]; then
    echo "a prefix holds only letters, digits, '_' and '-'"
  elif ! [[ $1 =~ ^[A-Za-z] ]]; then
    echo "a prefix begins with a letter"
  elif [[ $1 =~ [0-9]$ ]]; then
    echo "a prefix does not end in a digit (the process id follows it)"
  fi
}

# Prints why network namespaces cannot be made here; nothing when they can.
# Their names begin with VL_NETNS_PREFIX (unset or empty: "vl").
namespaces_unavailable() {
  local prefix=${VL_NETNS_PREFIX:-vl} error
  error=$(netns_prefix_error "$prefix")
  if [ -n "$error" ]; then
    echo "cannot name its namespaces: VL_NETNS_PREFIX '$prefix' cannot begin a namespace's name: $error"
    return
  fi
  if [ "$(id -u)" != 0 ]; then
    echo "needs root to create network namespaces"
    return
  fi
  if ! ip -V >/dev/null 2>&1; then
    echo "needs the 'ip' command (iproute2)"
    return
  fi
  local name=$prefix$$probe
  if ! error=$(ip netns add "$name" 2>&1); then
    echo "cannot create a network namespace: $error"
    return
  fi
  ip netns del "$name" 2>/dev/null
}

# True when a check that cannot make its network fails rather than skips.
namespaces_required() {
  [ -n "${VL_TEST_REQUIRE_NAMESPACES:-}" ] && [ "$VL_TEST_REQUIRE_NAMESPACES" != 0 ]
}

# Takes "--prefix NAME" (or --prefix=NAME), and -h or --help, from a script's
# arguments; the others go to ARGS. The prefix given is exported as
# VL_NETNS_PREFIX (vltestnet reads it there), over the environment's, and
# either is checked by the rule above. --help prints the script's $usage; a
# usage error calls the script's usage_error MESSAGE.
netns_prefix_arguments() {
  local from=VL_NETNS_PREFIX why
  ARGS=()
  while [ $# -gt 0 ]; do
    case $1 in
      -h | --help)
        printf '%s\n' "$usage"
        exit 0 ;;
      --prefix | --prefix=*)
        if [ "$1" = --prefix ]; then
          [ $# -ge 2 ] || usage_error "--prefix needs a name"
          shift
        fi
        export VL_NETNS_PREFIX=${1#--prefix=}
        from=--prefix
        shift ;;
      *) ARGS+=("$1"); shift ;;
    esac
  done
  if [ "$from" = --prefix ] || [ -n "${VL_NETNS_PREFIX:-}" ]; then
    why=$(netns_prefix_error "$VL_NETNS_PREFIX")
    [ -z "$why" ] || usage_error "$from '$VL_NETNS_PREFIX' cannot begin a namespace's name: $why"
  fi
}
