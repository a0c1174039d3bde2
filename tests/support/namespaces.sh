# The shell checks' side of tests/support/NeedsNamespaces.h, sourced by
# tests/app/demo_test.sh and tools/check-install.sh: the same decision, so
# that a check that needs network namespaces where none can be made is
# skipped by hand and fails where they must run (VL_TEST_REQUIRE_NAMESPACES,
# which tools/test-all.sh sets).

# Prints why network namespaces cannot be made here; nothing when they can.
namespaces_unavailable() {
  if [ "$(id -u)" != 0 ]; then
    echo "needs root to create network namespaces"
    return
  fi
  if ! ip -V >/dev/null 2>&1; then
    echo "needs the 'ip' command (iproute2)"
    return
  fi
  local name=vl$$probe error
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
