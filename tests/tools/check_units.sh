#!/usr/bin/env bash
# The systemd units of scheduled updates as systemd reads them: `systemd-analyze verify` must
# accept both without a word (it only warns, with success, about unknown keys and bad values).
# The service is checked with its ExecStart pointing at the vcm just built, and vcm(1) where
# man finds it, as they are once installed. Works without a running systemd.
#   check_units.sh UNITS_BUILD_DIR UNITS_SOURCE_DIR VCM MAN_DIR
set -euo pipefail
built=$1 source=$2 vcm=$3 mandir=$4
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is missing (scripts/setup installs systemd)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s#^ExecStart=[^ ]*#ExecStart=$vcm#" "$built/vcm-update.service" >"$work/vcm-update.service"
cp "$source/vcm-update.timer" "$work/"
mkdir -p "$work/man/man1"
cp "$mandir/vcm.1" "$work/man/man1/"
grep -q "^ExecStart=$vcm update --due\$" "$work/vcm-update.service"

status=0
said=$(MANPATH="$work/man" systemd-analyze verify "$work/vcm-update.service" \
  "$work/vcm-update.timer" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$said" ]; then
  echo "systemd-analyze verify (status $status):" >&2
  echo "$said" >&2
  exit 1
fi
# What the timer and the service promise.
grep -qx 'Persistent=true' "$work/vcm-update.timer"
grep -qx 'OnCalendar=daily' "$work/vcm-update.timer"
grep -q '^RandomizedDelaySec=' "$work/vcm-update.timer"
grep -qx 'Type=oneshot' "$work/vcm-update.service"
grep -qx 'EnvironmentFile=-/etc/default/vcm' "$work/vcm-update.service"
echo "units OK"
