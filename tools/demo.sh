#!/usr/bin/env bash
# Shows vlnet at work without devices: builds a throw-away network of
# namespaces (a computer joined by veth pairs to two device networks without
# a gateway), plays four devices there with the emulator, and runs vlnet in
# the computer's namespace. Nothing it sends leaves the namespaces, and
# everything it made is removed when it ends, however it ends (Ctrl-C too).
#
# Run as root from the checkout, once vlnet, vltestnet and vlemu are built
# (cmake --build build --target vlnet vltestnet vlemu):  tools/demo.sh
# (--prefix NAME, or VL_NETNS_PREFIX, begins its namespaces' names).
# VL_BUILD_DIR names another build folder (default: build beside tools/).
set -uo pipefail

usage="usage: tools/demo.sh [--prefix NAME]
  Shows vlnet at work in a throw-away network of namespaces with four emulated
  devices, and removes the network when it ends. Needs root and the build's
  vlnet, vltestnet and vlemu (VL_BUILD_DIR names the build folder; default:
  build beside tools/).

  --prefix NAME  begins the names of the namespaces it makes, which go on
                 with a process id (NAME4242n0xpc): 1 to 32 letters, digits,
                 '_' or '-', from a letter, not ending in a digit. Default:
                 \$VL_NETNS_PREFIX when set, else \"vl\"."
usage_error() {
  printf "demo.sh: %s\n'tools/demo.sh --help' tells its usage\n" "$1" >&2
  exit 2
}
. "$(dirname "$0")/../tests/support/namespaces.sh"
netns_prefix_arguments "$@"
[ ${#ARGS[@]} -eq 0 ] || usage_error "unknown argument '${ARGS[0]}'"

bin=${VL_BUILD_DIR:-$(dirname "$0")/../build}/bin
if [ "$(id -u)" != 0 ]; then
  echo "demo.sh: needs root, to make network namespaces: sudo $0" >&2
  exit 1
fi
for program in vlnet vltestnet vlemu; do
  if [ ! -x "$bin/$program" ]; then
    echo "demo.sh: $bin/$program is missing: build first (cmake --build build --target vlnet vltestnet vlemu)" >&2
    exit 1
  fi
done

# The devices, by the emulator's keys: network 1 (10.201.1.0/24) holds a
# plain device and one that enciphers its replies and has a password;
# network 2 (10.201.2.0/24) one that ignores requests sent to its own
# address, and a hostile one whose unicast replies carry another MAC.
plain='node=printer-1 location="Room 101"'
enciphered='encrypted=1 password=secret node=scanner-2 location="Room 102"'
deaf='unicast=0 node=deaf-3'
hostile='hostile=spoofmac node=hostile-4'
device=00:26:AB:11:01:01  # the enciphered one
password=secret
location='Room 4, east'

net_pid=
computer=
cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$net_pid" ]; then
    # vltestnet removes what it made once its standard input ends.
    if [ -n "${NET[1]:-}" ]; then
      exec {NET[1]}>&-
    fi
    kill -TERM "$net_pid" 2>/dev/null
    wait "$net_pid" 2>/dev/null
  fi
  # Should vltestnet have died before it could, its namespaces go here:
  # they all carry its prefix.
  if [ -n "$computer" ]; then
    prefix=${computer%pc}
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$prefix"); do
      for pid in $(ip netns pids "$ns" 2>/dev/null); do
        kill -TERM "$pid" 2>/dev/null
      done
      ip netns del "$ns" 2>/dev/null
    done
  fi
}
trap 'cleanup' EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM
trap 'cleanup; exit 129' HUP

step() {
  echo
  echo "== $1"
  shift
  for line in "$@"; do
    echo "   $line"
  done
  echo
}

# vlnet in the computer's namespace.
vlnet() {
  ip netns exec "$computer" "$bin/vlnet" "$@"
}

# Shows a command line as typed and runs that very line, so that what is
# shown is what gives the output below it; its status (with pipefail, the
# first failure in a pipeline).
shown() {
  echo "\$ $1"
  eval "$1"
}

step "Making the network: a computer joined to 10.201.1.0/24 and 10.201.2.0/24 by veth pairs," \
  "network namespaces of their own, no gateway, no default route; the emulator plays four devices."
coproc NET { exec "$bin/vltestnet" --network 1 "$plain" "$enciphered" --network 2 "$deaf" "$hostile"; }
net_pid=$NET_PID
descriptions=("plain" "enciphered, with the password '$password'" "ignores unicast requests" "hostile: answers unicast with another MAC")
index=0
while read -r -u "${NET[0]}" kind rest; do
  case $kind in
    computer) computer=$rest ;;
    device)
      set -- $rest
      printf '   %s  %-12s %s\n' "$1" "$2" "${descriptions[$index]}"
      index=$((index + 1)) ;;
    ready) break ;;
  esac
done
if [ -z "$computer" ] || [ "$kind" != ready ]; then
  echo "demo.sh: the network could not be made (see above)" >&2
  exit 1
fi

step "vlnet probe: broadcasts the VLPC probe on every network and lists each device that" \
  "answers, and answers again by unicast, once: MAC, IP address, model name. The device that" \
  "ignores unicast and the hostile one are not listed: they are named after the list, with" \
  "why, and the status is 3 (the list is short). It takes about 7 s: the device deaf to" \
  "unicast is asked twice, 3 s each, before its check fails, then a quiet second passes."
shown "vlnet probe"
status=$?
echo "(exit status $status)"
[ "$status" = 0 ] || [ "$status" = 3 ] || exit "$status"

step "vlnet url: probes until the device is found and prints its web page's address."
shown "vlnet url $device" || exit $?

step "vlnet run ... GetDetail: reads the device's settings. Each line is PATH=VALUE, the form" \
  "vlnet run takes back. Reading needs no password; changing does."
shown "vlnet run $device GetDetail" || exit $?

step "vlnet run ... SetDetail: changes one setting, given as such a line. The device's settings" \
  "are read first and written whole, so only the location changes; the settings it prints" \
  "after its result are left out here."
shown "vlnet run $device SetDetail --password $password VLPC.2B_5A10_01.Location='$location' | grep '^result'" ||
  exit $?

step "vlnet run ... GetDetail again: the device reports the new location (the settings that" \
  "SetDetail writes, VLPC.2B_5A10_01.*)."
shown "vlnet run $device GetDetail | grep -e '^result' -e '^VLPC\.2B_5A10_01\.'" || exit $?

echo
echo "== Done: removing the namespaces and the emulators."
