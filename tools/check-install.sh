#!/usr/bin/env bash
# Checks an installed vlnet: the installed and the build's programs and
# libraries have run paths only of absolute or $ORIGIN-based folders (an
# empty or relative element makes the loader search the current folder),
# PREFIX/bin/vlnet answers --help, and probes a device from there on its
# installed resources (PREFIX/share/vlnet). The device is played by the
# emulator in a throw-away network of namespaces that the build's vltestnet
# makes and removes; nothing leaves those namespaces.
#
#   tools/check-install.sh PREFIX [BUILD_DIR]     (as root for the probe)
set -euo pipefail
prefix=$1
build=${2:-$(dirname "$0")/../build}
bin=$build/bin

bad=0 checked=0
for file in "$prefix"/bin/* "$prefix"/lib/* "$build"/bin/* "$build"/lib/*; do
  [ -f "$file" ] && [ "${file%.a}" = "$file" ] || continue
  dynamic=$(readelf -d "$file" 2>/dev/null) || continue  # not an ELF file
  checked=$((checked + 1))
  while IFS= read -r path; do
    # The added ":" ends the last element, so that an empty one is kept.
    IFS=: read -r -a elements <<<"$path:"
    for element in "${elements[@]}"; do
      case $element in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) echo "check-install.sh: $file: run path [$path] has the element '$element'" >&2
           bad=1 ;;
      esac
    done
  done < <(sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
done
[ "$bad" = 0 ] || exit 1
echo "run paths of $checked programs and libraries: ok"

# Bounded, as every wait below: a hang fails the check instead of holding it.
help_seconds=30
help_status=0
timeout -k 5 "$help_seconds" "$prefix/bin/vlnet" --help >/dev/null || help_status=$?
case $help_status in
  0) ;;
  124 | 137)
    echo "check-install.sh: the installed vlnet --help did not end within ${help_seconds}s" >&2
    exit 1 ;;
  *)
    echo "check-install.sh: the installed vlnet --help failed (status $help_status)" >&2
    exit 1 ;;
esac
echo "installed vlnet --help: ok"
# Where no namespaces can be made the probe is skipped, saying so, or fails
# where it must run (VL_TEST_REQUIRE_NAMESPACES, which tools/test-all.sh sets).
. "$(dirname "$0")/../tests/support/namespaces.sh"
why=$(namespaces_unavailable)
if [ -n "$why" ]; then
  if namespaces_required; then
    echo "check-install.sh: the probe in a namespace $why (VL_TEST_REQUIRE_NAMESPACES is set)" >&2
    exit 1
  fi
  echo "check-install.sh: the probe in a namespace is skipped: it $why" >&2
  exit 0
fi

# Bounds, so that a hang fails the check instead of holding it: making the
# network and starting its emulator, the probe (its own end and the
# start), and vltestnet's removing what it made once told to.
ready_seconds=60
probe_seconds=60
stop_seconds=30

coproc NET { exec "$bin/vltestnet" --network 1 'node=installed-1'; }
# Bash forgets the descriptors when the coprocess ends: kept here.
net_pid=$NET_PID net_out=${NET[0]} net_in=${NET[1]}
cleanup() {
  local status=$? net_status=0
  trap - EXIT
  # vltestnet removes what it made once its standard input ends; one that
  # does not end in time is stopped (and killed should that not do), and
  # fails the check, as does any status but 0.
  exec {net_in}>&-
  if ! timeout "$stop_seconds" tail --pid="$net_pid" -s 0.2 -f /dev/null; then
    echo "check-install.sh: vltestnet did not end within ${stop_seconds}s of its input's end: stopped" >&2
    kill -TERM "$net_pid" 2>/dev/null
    timeout "$stop_seconds" tail --pid="$net_pid" -s 0.2 -f /dev/null || kill -KILL "$net_pid" 2>/dev/null
    net_status=1
  fi
  wait "$net_pid" || net_status=$?
  if [ "$net_status" != 0 ]; then
    echo "check-install.sh: vltestnet failed (status $net_status)" >&2
    [ "$status" != 0 ] || status=1
  fi
  exit "$status"
}
trap cleanup EXIT
computer= mac= kind=
deadline=$((SECONDS + ready_seconds))
while [ "$SECONDS" -lt "$deadline" ] &&
  read -r -t "$((deadline - SECONDS))" -u "$net_out" kind rest; do
  case $kind in
    computer) computer=$rest ;;
    device) mac=${rest%% *} ;;
    ready) break ;;
  esac
done
if [ "$kind" != ready ] || [ -z "$computer" ] || [ -z "$mac" ]; then
  echo "check-install.sh: the test network was not ready (within ${ready_seconds}s)" >&2
  exit 1
fi
probe_status=0
output=$(timeout "$probe_seconds" ip netns exec "$computer" "$prefix/bin/vlnet" probe) ||
  probe_status=$?
if [ "$probe_status" != 0 ]; then
  printf 'check-install.sh: the installed vlnet probe failed (status %s):\n%s\n' "$probe_status" "$output" >&2
  exit 1
fi
if ! grep -q "^$mac	" <<<"$output"; then
  printf 'check-install.sh: the installed vlnet did not list %s:\n%s\n' "$mac" "$output" >&2
  exit 1
fi
echo "installed vlnet probe: found $mac"
