#!/usr/bin/env bash
# The Debian packages as a machine gets them: installs build/package/*.deb with dpkg -i, runs the
# installed tools, builds the example host against the installed library with pkg-config and with
# find_package and runs it, then removes the packages again. Needs root (or sudo).
#   check_deb.sh SOURCE_DIR
set -euo pipefail
source=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/vcm-deb-XXXXXX")
packages=(libvcm1 libvcm-dev vcm-tools)
cleanup() {
  $sudo dpkg -P "${packages[@]}" > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^#define VCM_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)/\2/p' \
  "$source/include/vcm/vcm.h" | paste -sd.)
$sudo dpkg -i "$source"/build/package/*.deb > "$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Version}' "$p")" = "$version" ] || fail "$p $version is not installed"
done

[ "$(vcm --version)" = "vcm $version" ] || fail "vcm --version"
[ "$(vomo-reg --version)" = "vomo-reg $version" ] || fail "vomo-reg --version"
man -w vcm.1 vcm.3 vomo-reg vomo-dist > /dev/null 2>&1 || fail "manual pages"

export VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab
export VOMO_INSTALLER_URL=http://127.0.0.1
export VOMO_REGISTRY_ROOT=$work/registry
run_host() {
  local status=0
  "$1" "demo;role;1.0" > "$work/host.out" 2>&1 || status=$?
  [ "$status" -eq 4 ] || { cat "$work/host.out" >&2; fail "$1 exited $status, not 4"; }
}
# shellcheck disable=SC2046
cc "$source/examples/minimal_host.c" $(pkg-config --cflags --libs vcm) -o "$work/host-pkgconfig"
run_host "$work/host-pkgconfig"
cmake -S "$source/examples" -B "$work/example" > "$work/example.log"
cmake --build "$work/example" > "$work/example-build.log"
run_host "$work/example/minimal_host"
# The tool finds the installed library by itself.
status=0
vcm find "demo;role;1.0" > /dev/null 2>&1 || status=$?
[ "$status" -eq 4 ] || fail "vcm find exited $status, not 4"
echo "Debian packages OK"
