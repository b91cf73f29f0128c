#!/usr/bin/env bash
# Counts the fdatasync and fsync calls of one `vcm update` of N components (default 20) from a
# distribution served on 127.0.0.1, with strace -f, by file. Each installer records InstallDir
# and UninstallPath with vomo-reg, as installer packages do (two syncs each). Run it inside a
# network namespace of its own:
#   /work/bin/isolated bench/fdatasync-count.sh build/release 20
set -euo pipefail
build=$(cd "${1:-build/release}" && pwd)
count=${2:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/vcm-fdatasync-XXXXXX")
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/www/vomo/packages" "$work/registry" "$work/log" "$work/tmp"
cd "$work"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.pem \
  -days 2 -subj "/CN=Throwaway Root" 2> /dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout signer.key \
  -subj "/O=Vomo, LLC/CN=Vomo, LLC" -out signer.csr 2> /dev/null
printf 'extendedKeyUsage=codeSigning\n' > signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2> /dev/null
python3 -u -m http.server --bind 127.0.0.1 --directory www 0 > server.log 2>&1 &
server=$!
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' server.log)
  [ -n "$port" ] && break
  sleep 0.1
done
ids=
components=
for i in $(seq 1 "$count"); do
  # As an installer package does: records where it installed and how to remove it.
  printf '#!/bin/sh\n"%s" add "HKLM\\SOFTWARE\\Vomo\\Install\\c%s" /v InstallDir /d /opt/c%s /f >/dev/null\n"%s" add "HKLM\\SOFTWARE\\Vomo\\Install\\c%s" /v UninstallPath /d /opt/c%s/uninstall /f >/dev/null\n' \
    "$build/bin/vomo-reg" "$i" "$i" "$build/bin/vomo-reg" "$i" "$i" > setup.sh
  "$build/bin/vomo-dist" package setup.sh -o "www/vomo/packages/c$i.cab"
  "$build/bin/vomo-dist" sign "www/vomo/packages/c$i.cab" --cert signer.pem --key signer.key \
    > /dev/null
  ids="$ids${ids:+;}c$i"
  components="$components<component id=\"c$i\"><latestVersion>1.0.0.$i</latestVersion><package><type>nsis</type><url>http://127.0.0.1:$port/vomo/packages/c$i.cab</url></package></component>"
done
echo "<manifest version=\"1.0.0.0\"><componentDefinitions>$components</componentDefinitions></manifest>" \
  > www/manifest.xml
"$build/bin/vomo-dist" manifest www --cert signer.pem --key signer.key > /dev/null
export VOMO_MANIFEST_URL=http://127.0.0.1:$port/vomo/setup/manifest.cab
export VOMO_INSTALLER_URL=http://127.0.0.1:1
export VOMO_TRUST_ROOTS=$work/ca.pem VOMO_REGISTRY_ROOT=$work/registry VOMO_LOG_DIR=$work/log
export TMPDIR=$work/tmp
/usr/bin/time -f "vcm update: %e s wall, %U s user, %S s sys" "$build/bin/vcm" update "$ids" > /dev/null
rm -rf "$work/registry"; mkdir "$work/registry"
strace -f -y -e trace=fdatasync,fsync -o strace.txt "$build/bin/vcm" update "$ids" > /dev/null
echo "vcm update of $count components: exit $?"
grep -oE "(fdatasync|fsync)\(.*>" strace.txt | sed "s#$work#WORK#" | sort | uniq -c
