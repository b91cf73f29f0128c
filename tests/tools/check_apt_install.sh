#!/usr/bin/env bash
# scripts/apt-install against stand-ins for apt-get, dpkg and dpkg-query first on PATH: what it
# asks apt for and how it ends, when the package lists cannot all be fetched (a mirror caught
# while it syncs) and when a package cannot be installed at all.
#   check_apt_install.sh SOURCE_DIR
set -euo pipefail
source=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vcm-apt-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/bin"
# apt-get: "update" fails FAKE_UPDATE_FAILS times (or always), then succeeds; "install" does
# what FAKE_INSTALL says: ok, fail, or fail unless asked for one suite's versions (-t).
cat > "$work/bin/apt-get" << 'EOF'
#!/usr/bin/env bash
args=" $* "
calls=$FAKE_LOG
if [[ $args == *" update "* ]]; then
  n=$(grep -c '^update' "$calls" 2> /dev/null || true)
  echo "update" >> "$calls"
  [ "$FAKE_UPDATE_FAILS" = always ] && exit 100
  [ "$n" -lt "$FAKE_UPDATE_FAILS" ] && exit 100
  exit 0
fi
if [[ $args == *" install "* ]]; then
  suite=plain
  [[ $args == *" -t "* ]] && suite=release
  packages=${args##*--no-install-recommends }
  [ "$suite" = release ] && packages=${packages#-t * }
  echo "install $suite ${packages% }" >> "$calls"
  case "$FAKE_INSTALL" in
    ok) exit 0 ;;
    fail) exit 100 ;;
    release-only) [ "$suite" = release ] && exit 0 || exit 100 ;;
  esac
fi
exit 2
EOF
cat > "$work/bin/dpkg-query" << 'EOF'
#!/usr/bin/env bash
for p in $FAKE_INSTALLED; do
  [ "$p" = "${*: -1}" ] && { echo "install ok installed"; exit 0; }
done
exit 1
EOF
cat > "$work/bin/dpkg" << 'EOF'
#!/usr/bin/env bash
case "$1" in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) ;;
  --add-architecture) echo "add-architecture $2" >> "$FAKE_LOG" ;;
esac
EOF
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
chmod +x "$work/bin"/*

# installed | update failures | install | exit (0, or 1 for any failure) | the calls, joined by ";"
cases=(
  "a b|0|ok|0|"
  "|0|ok|0|update;install plain a b"
  "a|2|ok|0|update;update;update;install plain b"
  "a|always|ok|0|update;update;update;install plain b"
  "a|always|release-only|0|update;update;update;install plain b;install release b"
  "a|always|fail|1|update;update;update;install plain b;install release b"
  "a|0|release-only|1|update;install plain b"
)
for c in "${cases[@]}"; do
  IFS='|' read -r installed failures install want_status want_calls <<< "$c"
  : > "$work/calls"
  status=0
  PATH=$work/bin:$PATH FAKE_LOG=$work/calls FAKE_INSTALLED=$installed \
    FAKE_UPDATE_FAILS=$failures FAKE_INSTALL=$install VCM_APT_TRIES=3 VCM_APT_PAUSE=0 \
    "$source/scripts/apt-install" a b > "$work/out" 2>&1 || status=$?
  calls=$(paste -sd';' "$work/calls")
  [ "$((status != 0))" -eq "$want_status" ] && [ "$calls" = "$want_calls" ] \
    || { cat "$work/out" >&2; fail "[$c]: exit $status, calls \"$calls\""; }
done

# A package of another architecture adds that architecture first.
: > "$work/calls"
PATH=$work/bin:$PATH FAKE_LOG=$work/calls FAKE_INSTALLED= FAKE_UPDATE_FAILS=0 FAKE_INSTALL=ok \
  "$source/scripts/apt-install" wine32:i386 > "$work/out" 2>&1 || fail "wine32:i386"
[ "$(head -n 1 "$work/calls")" = "add-architecture i386" ] || fail "i386 was not added first"
echo "apt-install OK"
