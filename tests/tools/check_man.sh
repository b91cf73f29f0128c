#!/usr/bin/env bash
# The manual pages as man shows them on an 80-column terminal: groff and tbl have nothing to
# warn about (a table wider than the line, an unknown request, a bad escape) and no line comes
# out wider than 80 columns.
#   check_man.sh PAGE...
set -euo pipefail
export LC_ALL=C.UTF-8 MANWIDTH=80
status=0
for page in "$@"; do
  warnings=$(man --warnings -l "$page" 2>&1 > /dev/null) || true
  if [ -n "$warnings" ]; then
    echo "FAIL: $page: $warnings" >&2
    status=1
  fi
  wide=$(man -l "$page" 2> /dev/null | awk 'length > 80 { print "  " $0 }')
  if [ -n "$wide" ]; then
    printf 'FAIL: %s: lines wider than 80 columns:\n%s\n' "$page" "$wide" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "manual pages OK: $*"
exit "$status"
