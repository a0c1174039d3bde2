#!/usr/bin/env bash
# Runs tools/demo.sh, the README's demonstration, and checks what it shows:
# the devices it started that answer are listed by the probe with the
# addresses it started them at, the unicast-deaf and hostile ones are not
# (they are named on standard error instead), the probe's status 3 is
# shown, and the location SetDetail sets reads back in the last GetDetail.
set -u
demo=$1
# As the namespace tests do: skipped where namespaces cannot be made, failed
# where they must be (CI).
. "$(dirname "$0")/../support/namespaces.sh"
why=$(namespaces_unavailable)
if [ -n "$why" ]; then
  if namespaces_required; then
    echo "FAILED: tools/demo.sh $why (VL_TEST_REQUIRE_NAMESPACES is set)"
    exit 1
  fi
  echo "skipped: tools/demo.sh $why"
  exit 77
fi
output=$("$demo" 2>&1)
status=$?
printf '%s\n' "$output"
fail() {
  echo "FAILED: $1"
  exit 1
}
[ "$status" = 0 ] || fail "demo.sh exited with status $status"

# The devices the demo started: "   MAC  IP  description".
started=$(printf '%s\n' "$output" | grep -E '^   ([0-9A-F]{2}:){5}[0-9A-F]{2}  ')
[ "$(printf '%s\n' "$started" | wc -l)" = 4 ] || fail "the demo did not list four started devices"
probe=$(printf '%s\n' "$output" | sed -n '/^\$ vlnet probe/,/^== /p')
while read -r mac ip description; do
  if [[ $description == ignores* || $description == hostile* ]]; then
    ! printf '%s\n' "$probe" | grep -q "^$mac" || fail "the probe listed $mac ($description)"
    printf '%s\n' "$probe" | grep -q "^vlnet: not listed: $mac"$'\t'"$ip"$'\t' ||
      fail "the probe did not name $mac ($description)"
  else
    printf '%s\n' "$probe" | grep -q "^$mac"$'\t'"$ip"$'\t' || fail "the probe did not list $mac at $ip"
  fi
done <<<"$started"
# The probe's status, as the README tells it.
printf '%s\n' "$probe" | grep -qx '(exit status 3)' || fail "the probe's status 3 was not shown"

last=$(printf '%s\n' "$output" | sed -n '/GetDetail again/,$p')
printf '%s\n' "$last" | grep -qx "VLPC.2B_5A10_01.Location='Room 4, east'" || fail "the set location did not read back"
# A prefix that cannot begin a namespace's name is refused, named, before
# anything is made.
refused=$("$demo" --prefix 'lab 1' 2>&1)
status=$?
[ "$status" = 2 ] && [[ $refused == "demo.sh: --prefix 'lab 1' cannot begin a namespace's name"* ]] ||
  fail "demo.sh --prefix 'lab 1' was not refused (status $status): $refused"
echo "demo checked"
