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

"$prefix/bin/vlnet" --help >/dev/null
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

coproc NET { exec "$bin/vltestnet" --network 1 'node=installed-1'; }
# Bash forgets the descriptors when the coprocess ends: kept here.
net_pid=$NET_PID net_out=${NET[0]} net_in=${NET[1]}
cleanup() {
  # vltestnet removes what it made once its standard input ends.
  exec {net_in}>&-
  wait "$net_pid" 2>/dev/null || true
}
trap cleanup EXIT
computer= mac= kind=
while read -r -u "$net_out" kind rest; do
  case $kind in
    computer) computer=$rest ;;
    device) mac=${rest%% *} ;;
    ready) break ;;
  esac
done
if [ "$kind" != ready ] || [ -z "$computer" ] || [ -z "$mac" ]; then
  echo "check-install.sh: the test network could not be made" >&2
  exit 1
fi
output=$(ip netns exec "$computer" "$prefix/bin/vlnet" probe --timeout 10)
if ! grep -q "^$mac	" <<<"$output"; then
  printf 'check-install.sh: the installed vlnet did not list %s:\n%s\n' "$mac" "$output" >&2
  exit 1
fi
echo "installed vlnet probe: found $mac"
