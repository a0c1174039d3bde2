#!/usr/bin/env bash
# Checks the include rules of the tree: a layer includes only itself and the
# layers below it, the base library's areas likewise, and the Linux layer
# (base/platform/) and the pull parser's internals (base/xml/pxp/) are
# included only inside the base library and its tests (and the parser by its
# fuzz target).
set -u
cd "${1:-$(dirname "$0")/..}" || exit 2
fail=0
report() { echo "$1"; fail=1; }

# Lowest first.
layers=(base script cm modules ecm pfw app)
areas=(platform core thread stream net xml value system log)

rank() {  # name, list...
  local name=$1; shift; local i=0
  for x in "$@"; do [ "$x" = "$name" ] && { echo $i; return; }; i=$((i+1)); done
  echo -1
}

while IFS= read -r -d '' file; do
  top=${file%%/*}
  while IFS= read -r line; do
    inc=${line#*\"}; inc=${inc%%\"*}
    itop=${inc%%/*}
    ir=$(rank "$itop" "${layers[@]}")
    fr=$(rank "$top" "${layers[@]}")
    if [ "$fr" -ge 0 ] && [ "$ir" -gt "$fr" ]; then
      report "$file: includes the higher layer $inc"
    fi
    case "$inc" in
      base/platform/*)
        case "$file" in
          base/*|tests/base/*) ;;
          *) report "$file: includes the base library's private $inc" ;;
        esac ;;
      base/xml/pxp/*)
        # The parser's own fuzz target drives it directly.
        case "$file" in
          base/*|tests/base/*|fuzz/xmlparser.cpp) ;;
          *) report "$file: includes the base library's private $inc" ;;
        esac ;;
    esac
    if [ "$top" = base ] && [ "$itop" = base ]; then
      farea=$(echo "$file" | cut -d/ -f2); iarea=$(echo "$inc" | cut -d/ -f2)
      far=$(rank "$farea" "${areas[@]}"); iar=$(rank "$iarea" "${areas[@]}")
      # The Linux layer serves the whole library and may use its core types.
      if [ "$farea" != platform ] && [ "$far" -ge 0 ] && [ "$iar" -gt "$far" ]; then
        report "$file: the $farea area includes the higher $iarea area ($inc)"
      fi
      # Public headers do not hand the Linux layer to their callers.
      case "$file" in
        base/platform/*|base/xml/pxp/*|*.cpp) ;;
        *) case "$inc" in base/platform/*) report "$file: public header includes $inc" ;; esac ;;
      esac
    fi
    case "$inc" in
      tests/*) case "$file" in tests/*|fuzz/*|bench/*) ;; *) report "$file: includes test code $inc" ;; esac ;;
    esac
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file")
done < <(git ls-files -z -- '*.h' '*.cpp' '*.inc' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' -print0)

[ $fail -eq 0 ] && echo "layering: ok"
exit $fail
