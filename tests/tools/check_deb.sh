#!/usr/bin/env bash
# The Debian packages of build/package (scripts/package) as a packager checks them, installed on
# nothing but a throwaway root:
#   0. debian/control's Build-Depends has the -dev packages scripts/setup installs for the build;
#   1. lintian fails on any error or warning; the info and pedantic tags are shown;
#   2. the fields (dpkg-deb -I): the version of vcm.h, Multi-Arch: same for the library and the
#      -dev package, pkexec recommended by the tools, a description of its own for each package,
#      the -dbgsym packages; libvcm1's symbols file (the six functions at VCM_1) and its ldconfig
#      trigger, no maintainer script of its own;
#   3. the files: stripped programs and library linked with BIND_NOW and calling fortified
#      functions, compressed manual pages with vcm(3) under each function's name, each package's
#      copyright and changelog, vcm.pc naming /usr;
#   4. the parts other work brings, once their sources are in the tree: the elevation helper and
#      its polkit action, the update service and timer, the bash completions;
#   5. unpacked with dpkg-deb -x: the tools run, and the example host builds against the root
#      with pkg-config and with find_package and runs.
#   check_deb.sh SOURCE_DIR
set -euo pipefail
source=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
out=$source/build/package
work=$(mktemp -d "${TMPDIR:-/tmp}/vcm-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^#define VCM_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)/\2/p' \
  "$source/include/vcm/vcm.h" | paste -sd.)
arch=$(dpkg --print-architecture)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb() { echo "$out/${1}_${version}_$arch.deb"; }
packages=(libvcm1 libvcm-dev vcm-tools)
for p in "${packages[@]}" libvcm1-dbgsym vcm-tools-dbgsym; do
  [ -f "$(deb "$p")" ] || fail "$(basename "$(deb "$p")") was not built"
done

# 0. Every -dev package scripts/setup installs for the build is a build dependency, but those
#    only the tests, the benchmarks and the sanitizers use (and dpkg-dev, which every build has).
test_only=(libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libclang-rt-14-dev
  dpkg-dev)
build_depends=$(sed -n '/^Build-Depends:/,/^[A-Z]/p' "$source/debian/control")
for dev in $(grep -o '[a-z0-9.+-]*-dev\b' "$source/scripts/setup" | sort -u); do
  [[ " ${test_only[*]} " == *" $dev "* ]] && continue
  grep -qw -- "$dev" <<< "$build_depends" || fail "$dev (scripts/setup) is not in Build-Depends"
done

# 1. lintian.
lintian --fail-on error,warning --pedantic --display-info "$out/vcm_${version}_$arch.changes" \
  > "$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt" >&2; fail "lintian"; }
grep -v 'running with root privileges' "$work/lintian.txt" || true

# 2. Fields and control files.
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
for p in "${packages[@]}"; do
  [ "$(field "$p" Version)" = "$version" ] || fail "$p is not at version $version"
done
[ "$(field libvcm1 Multi-Arch)" = same ] || fail "libvcm1 is not Multi-Arch: same"
[ "$(field libvcm-dev Multi-Arch)" = same ] || fail "libvcm-dev is not Multi-Arch: same"
grep -qw pkexec <<< "$(field vcm-tools Recommends)" || fail "vcm-tools does not recommend pkexec"
descriptions=$(for p in "${packages[@]}"; do field "$p" Description | sed -n 1p; done)
[ "$(sort -u <<< "$descriptions" | wc -l)" -eq 3 ] || fail "packages share a description"
dpkg-deb -e "$(deb libvcm1)" "$work/control"
symbols=$(sed -n 's/^ \(VCM_[A-Za-z0-9]*\)@VCM_1 .*/\1/p' "$work/control/symbols" | sort | paste -sd' ')
want="VCM_1 VCM_AddSpec VCM_CheckForUpdates VCM_FindComponents VCM_Initialize VCM_Shutdown"
[ "$symbols" = "$want VCM_UpdateComponents" ] \
  || fail "libvcm1's symbols file names: $symbols"
grep -qx 'activate-noawait ldconfig' "$work/control/triggers" \
  || fail "libvcm1 has no ldconfig trigger"
for script in preinst postinst prerm postrm; do
  [ ! -e "$work/control/$script" ] || fail "libvcm1 has a $script"
done

# 3. Files, unpacked into a throwaway root.
root=$work/root
for p in "${packages[@]}"; do
  dpkg-deb -x "$(deb "$p")" "$root"
  [ -f "$root/usr/share/doc/$p/copyright" ] || fail "$p has no copyright file"
  [ -f "$root/usr/share/doc/$p/changelog.gz" ] || fail "$p has no changelog"
done
lib=$root/usr/lib/$triplet
# elf_ok FILE [fortified]: stripped, linked with BIND_NOW, and when asked calling the
# fortified variants of the C library (a small program may have no call to fortify).
elf_ok() {
  local what=$1 name=${1#"$root"}
  grep -q ', stripped' <<< "$(file -L "$what")" || fail "$name is not stripped"
  grep -q 'BIND_NOW' <<< "$(readelf -d "$what")" || fail "$name is not linked with BIND_NOW"
  if [ "${2:-}" = fortified ]; then
    grep -q '_chk@' <<< "$(nm -D "$what")" || fail "$name calls no fortified function"
  fi
}
elf_ok "$lib/libvcm.so.$version" fortified
for tool in vcm vomo-reg vomo-dist; do elf_ok "$root/usr/bin/$tool" fortified; done
uncompressed=$(find "$root/usr/share/man" -name '*.[0-9]')
[ -z "$uncompressed" ] || fail "uncompressed manual pages: $uncompressed"
for page in man1/vcm.1 man1/vomo-reg.1 man1/vomo-dist.1 man3/vcm.3 man3/VCM_Initialize.3 \
    man3/VCM_AddSpec.3 man3/VCM_FindComponents.3 man3/VCM_CheckForUpdates.3 \
    man3/VCM_UpdateComponents.3 man3/VCM_Shutdown.3; do
  [ -e "$root/usr/share/man/$page.gz" ] || fail "$page.gz is not packaged"
done
[ "$(MANPATH=$root/usr/share/man man -w VCM_Shutdown)" = "$root/usr/share/man/man3/vcm.3.gz" ] \
  || fail "man VCM_Shutdown does not find vcm(3)"
grep -qx 'prefix=/usr' "$lib/pkgconfig/vcm.pc" || fail "vcm.pc does not name /usr"

# 4. What comes with the elevation helper, the update timer and the completions.
if [ -d "$source/tools/vcm-elevate" ]; then
  elf_ok "$root/usr/libexec/vcm/vcm-elevate"
  ls "$root"/usr/share/polkit-1/actions/*.policy > /dev/null 2>&1 \
    || fail "vcm-tools has no polkit action"
fi
if [ -d "$source/tools/systemd" ]; then
  for unit in vcm-update.service vcm-update.timer; do
    [ -f "$root/lib/systemd/system/$unit" ] || fail "vcm-tools has no /lib/systemd/system/$unit"
  done
  dpkg-deb -e "$(deb vcm-tools)" "$work/tools-control"
  grep -q 'deb-systemd-helper purge' "$work/tools-control/postrm" \
    || fail "vcm-tools does not hand its units to deb-systemd-helper"
fi
if [ -d "$source/tools/completion" ]; then
  for tool in vcm vomo-reg vomo-dist; do
    [ -f "$root/usr/share/bash-completion/completions/$tool" ] \
      || fail "vcm-tools has no bash completion for $tool"
  done
fi

# 5. The unpacked packages at work. vcm finds the library beside itself, as installed.
[ "$("$root/usr/bin/vcm" --version)" = "vcm $version" ] || fail "vcm --version"
[ "$("$root/usr/bin/vomo-reg" --version)" = "vomo-reg $version" ] || fail "vomo-reg --version"
export VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab
export VOMO_INSTALLER_URL=http://127.0.0.1
export VOMO_REGISTRY_ROOT=$work/registry VOMO_LOG_DIR=$work/log
status=0
"$root/usr/bin/vcm" find "demo;role;1.0" > /dev/null 2>&1 || status=$?
[ "$status" -eq 4 ] || fail "vcm find exited $status, not 4"
run_host() {
  local status=0
  LD_LIBRARY_PATH=$lib "$1" "demo;role;1.0" > "$work/host.out" 2>&1 || status=$?
  [ "$status" -eq 4 ] || { cat "$work/host.out" >&2; fail "$1 exited $status, not 4"; }
}
# shellcheck disable=SC2046
cc "$source/examples/minimal_host.c" $(PKG_CONFIG_SYSROOT_DIR=$root \
  PKG_CONFIG_LIBDIR=$lib/pkgconfig pkg-config --cflags --libs vcm) -o "$work/host-pkgconfig"
run_host "$work/host-pkgconfig"
cmake -S "$source/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$root/usr" \
  > "$work/example.log" || { cat "$work/example.log" >&2; fail "the example's cmake"; }
grep -qx "vcm_DIR:PATH=$lib/cmake/vcm" "$work/example/CMakeCache.txt" \
  || fail "find_package(vcm) did not find the unpacked package"
cmake --build "$work/example" > "$work/example-build.log"
run_host "$work/example/minimal_host"
echo "Debian packages OK"
