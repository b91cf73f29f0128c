#!/usr/bin/env bash
# The installed tree as an integrator gets it.
#   check_install.sh BUILD_DIR SOURCE_DIR [HOST_CFLAGS]
# Installs BUILD_DIR into a temporary prefix, builds the example host against it with
# pkg-config and with find_package, runs both, and checks the library's SONAME, its six symbols
# at version node VCM_1, the tools' --version and the manual pages.
set -euo pipefail
build=$1 source=$2 cflags=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/vcm-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
libdir=$(cmake -L -N "$build" 2> /dev/null | sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p')
libdir=${libdir:-lib}
version=$(sed -n 's/^#define VCM_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)/\2/p' \
  "$source/include/vcm/vcm.h" | paste -sd.)

for f in include/vcm/vcm.h "$libdir/libvcm.so.1" "$libdir/libvcm.so.$version" "$libdir/libvcm.so" \
    "$libdir/pkgconfig/vcm.pc" "$libdir/cmake/vcm/vcmConfig.cmake" bin/vcm bin/vomo-reg \
    share/man/man1/vcm.1 share/man/man1/vomo-reg.1 share/man/man1/vomo-dist.1 \
    share/man/man3/vcm.3 share/man/man3/VCM_Initialize.3 share/man/man3/VCM_AddSpec.3 \
    share/man/man3/VCM_FindComponents.3 share/man/man3/VCM_CheckForUpdates.3 \
    share/man/man3/VCM_UpdateComponents.3 share/man/man3/VCM_Shutdown.3 \
    libexec/vcm/vcm-elevate share/polkit-1/actions/com.vomo.vcm.elevate.policy; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# man VCM_Initialize shows vcm(3).
grep -q 'VCM_Shutdown' <<< "$(MANPATH=$prefix/share/man man VCM_Initialize 2> /dev/null)" \
  || fail "man VCM_Initialize does not show vcm(3)"
# vcm.pc names the prefix installed into, as an absolute path.
grep -qx "prefix=$prefix" "$prefix/$libdir/pkgconfig/vcm.pc" \
  || fail "vcm.pc does not name $prefix: $(grep '^prefix=' "$prefix/$libdir/pkgconfig/vcm.pc")"

# SONAME and the six functions at VCM_1.
headers=$(objdump -p "$prefix/$libdir/libvcm.so.$version")
grep -q 'SONAME *libvcm\.so\.1$' <<< "$headers" || fail "SONAME is not libvcm.so.1"
symbols=$(objdump -T "$prefix/$libdir/libvcm.so.1" | awk '$NF ~ /^VCM_./ && $NF != "VCM_1" && $(NF-1) == "VCM_1" {print $NF}' | sort | paste -sd' ')
[ "$symbols" = "VCM_AddSpec VCM_CheckForUpdates VCM_FindComponents VCM_Initialize VCM_Shutdown VCM_UpdateComponents" ] \
  || fail "symbols at VCM_1: $symbols"

# The tools name the version.
[ "$("$prefix/bin/vcm" --version)" = "vcm $version" ] || fail "vcm --version"
[ "$("$prefix/bin/vomo-reg" --version)" = "vomo-reg $version" ] || fail "vomo-reg --version"

# The example host, built both ways, runs against the installed library. Without a reachable
# manifest server its search ends with 4 (the download failed).
export VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab
export VOMO_INSTALLER_URL=http://127.0.0.1
export VOMO_REGISTRY_ROOT=$work/registry
export LD_LIBRARY_PATH=$prefix/$libdir
run_host() {
  local status=0
  "$1" "demo;role;1.0" > "$work/host.out" 2>&1 || status=$?
  [ "$status" -eq 4 ] || { cat "$work/host.out" >&2; fail "$1 exited $status, not 4"; }
  grep -q "^vcm.h $version$" "$work/host.out" || fail "$1 does not print the header's version"
}

PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
export PKG_CONFIG_PATH
[ "$(pkg-config --modversion vcm)" = "$version" ] || fail "pkg-config --modversion"
# shellcheck disable=SC2046,SC2086
cc $cflags "$source/examples/minimal_host.c" $(pkg-config --cflags --libs vcm) \
  -o "$work/host-pkgconfig"
run_host "$work/host-pkgconfig"

cmake -S "$source/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$cflags" > "$work/example.log"
cmake --build "$work/example" > "$work/example-build.log"
run_host "$work/example/minimal_host"
echo "install tree OK"
