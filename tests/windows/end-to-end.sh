#!/usr/bin/env bash
# vcm.dll end to end under Wine, nothing leaving the machine:
#   1. a throwaway root and a code-signing certificate "Vomo, LLC" (openssl), the root trusted
#      by a Wine prefix of this run's own (the machine's root store in its registry);
#   2. installer packages built with makensis from tests/windows/installer.nsi and signed with
#      osslsigncode, one left unsigned and one changed after signing; a manifest naming them,
#      packed with gcab and signed;
#   3. all of it served over HTTP on 127.0.0.1, and a listener for the install hints on port 80
#      of 127.0.81.1 (binding port 80 needs root, as CI has);
#   4. the C host (LoadLibraryW of vcm.dll) finds the components, then updates them with
#      VCM_UpdateComponents; the run checks the result codes, the files the packages installed,
#      "InstallDir", "UninstallPath" and "InstalledVersion" in the Wine registry, that the
#      unsigned and the changed package never ran, and the hints received.
# Wine's WinVerifyTrust checks a program's digest but neither a cabinet's digest nor whether the
# chain ends in a trusted root (measured with Wine 8); the root is made trusted all the same, as
# Windows needs it, and the verdicts that need those checks run against the Linux verifier.
#   tests/windows/end-to-end.sh BUILD_DIR      (the Windows build folder, as build/windows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: end-to-end.sh BUILD_DIR}" && pwd)
host=$build/bin/test_c_host.exe
[ -f "$host" ] && [ -f "$build/bin/vcm.dll" ] || { echo "build $build first" >&2; exit 1; }

work=$build/end-to-end
rm -rf "$work"
mkdir -p "$work/pki" "$work/stage" "$work/www/vomo/setup" "$work/www/packages"
export VCM_WINEPREFIX=$work/wine
export WINEPREFIX=$VCM_WINEPREFIX WINEDEBUG=-all
wine_run() { "$repo/scripts/wine-run" "$@"; }

server_pid=
hints_pid=
cleanup() {
  for pid in $server_pid $hints_pid; do
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  done
  wineserver -k 2> /dev/null || true
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    echo "  ok: $1"
  else
    echo "  FAILED: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

echo "== Certificates"
cd "$work/pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 \
  -subj "/CN=Vomo End-to-End Root (throwaway)" 2> /dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/C=US/O=Vomo, LLC/CN=Vomo, LLC" 2> /dev/null
printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  > signer.ext
openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2> /dev/null
sign() {  # sign IN OUT
  osslsigncode sign -h sha256 -certs "$work/pki/signer.pem" -key "$work/pki/signer.key" \
    -in "$1" -out "$2" > /dev/null
}

echo "== A Wine prefix that trusts the root"
wine_run cmd /c exit > /dev/null
wineserver --wait
wineserver --persistent  # one server for every program of the run
wine_run cmd /c exit > /dev/null  # the server's own services start here
# A certificate in the machine's root store: the registry value "Blob" holds the store's
# serialised form, one element of the certificate's DER (property 32: type, 1, length, bytes),
# under the name of its SHA-1 thumbprint.
openssl x509 -in root.pem -outform DER -out root.der
thumb=$(openssl x509 -in root.pem -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
length=$(stat -c %s root.der)
blob=$(printf '20000000 01000000 %08x' "$length" | sed -E 's/(..)(..)(..)(..)$/\4\3\2\1/' | tr -d ' ')
blob=$blob$(od -An -v -tx1 root.der | tr -d ' \n')
wine_run reg add "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb" \
  /v Blob /t REG_BINARY /d "$blob" /f > /dev/null

echo "== Packages and the manifest"
cd "$work/stage"
make_package() {  # make_package ID EXIT signed|unsigned|tampered
  makensis -V1 -DID="$1" -DEXIT="$2" -DOUT="$work/stage/$1.exe" "$here/installer.nsi"
  if [ "$3" = unsigned ]; then
    cp "$work/stage/$1.exe" "$work/www/packages/$1.exe"
  else
    sign "$work/stage/$1.exe" "$work/www/packages/$1.exe"
  fi
  if [ "$3" = tampered ]; then  # one byte of the signed program changed
    printf '\x01' | dd of="$work/www/packages/$1.exe" bs=1 seek=4000 conv=notrunc status=none
  fi
}
make_package Alpha 0 signed
make_package Beta 0 signed
make_package Rogue 0 unsigned
make_package Forged 0 tampered

python3 -u -m http.server --bind 127.0.0.1 --directory "$work/www" 0 > "$work/server.log" 2>&1 &
server_pid=$!
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*Serving HTTP on [0-9.]* port \([0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the HTTP server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
base=http://127.0.0.1:$port

component() {  # component ID VERSION
  printf '<component id="%s"><latestVersion>%s</latestVersion>' "$1" "$2"
  printf '<specs><spec name="%s" version="1"><role>tool</role></spec></specs>' "$1"
  printf '<package><type>nsis</type><url>%s/packages/%s.exe</url></package></component>' \
    "$base" "$1"
}
{
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<manifest version="9.0.0.0"><componentDefinitions>'
  component Alpha 2.0.0.1
  component Beta 3.1.0.0
  component Rogue 1.0.0.0
  component Forged 1.0.0.0
  printf '</componentDefinitions></manifest>\n'
} > manifest.xml
gcab -c -z "$work/manifest.plain.cab" manifest.xml
sign "$work/manifest.plain.cab" "$work/www/vomo/setup/manifest.cab"

echo "== The hint listener on 127.0.81.1:80"
python3 -u - "$work/hints.log" > "$work/hints.out" 2>&1 << 'PY' &
import socket, sys
log = open(sys.argv[1], "a")
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.81.1", 80))
server.listen(16)
print("listening", flush=True)
while True:
    connection, _ = server.accept()
    connection.settimeout(5)
    data = b""
    try:
        while True:
            chunk = connection.recv(4096)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    connection.close()
    log.write(data.decode("latin-1").split("\r\n")[0] + "\n")
    log.flush()
PY
hints_pid=$!
for _ in $(seq 1 50); do
  grep -q listening "$work/hints.out" 2> /dev/null && break
  sleep 0.1
done
grep -q listening "$work/hints.out" || { echo "no listener on port 80:" >&2; cat "$work/hints.out" >&2; exit 1; }

# The product's folder, where the launcher installs the components (/DIR=), as its setup
# program records it.
product_dir='C:\Program Files\Vomo'
wine_run reg add 'HKLM\SOFTWARE\Vomo\Install\Setup' /v InstallDir /d "$product_dir" /reg:64 \
  /f > /dev/null

export VOMO_MANIFEST_URL=$base/vomo/setup/manifest.cab
export VOMO_INSTALLER_URL=http://127.0.81.1
export VOMO_LOG_DIR='C:\vomo-logs'

echo "== Finding components (download, signature, extraction, manifest)"
rc=0
found=$(wine_run "$host" find "Alpha;tool;1" "Beta;tool;1" | tr -d '\r' | tr '\n' ' ') || rc=$?
check "VCM_FindComponents answers 0" 0 "$rc"
check "the components offering the specs" "Alpha Beta " "$found"

if [ -n "${VCM_E2E_FIND_ONLY:-}" ]; then
  echo "(update run left out)"
  exit $((failures > 0))
fi

echo "== Updating Alpha and Beta"
rc=0
wine_run "$host" update "Alpha;Beta" > "$work/update.out" 2>&1 || rc=$?
check "VCM_UpdateComponents answers 0" 0 "$rc"
query() {  # query ID VALUE: the value's data in the 64-bit view, or nothing
  { wine_run reg query "HKLM\\SOFTWARE\\Vomo\\Install\\$1" /v "$2" /reg:64 2> /dev/null || true; } \
    | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"
}
unix_dir=$(wine_run winepath -u "$product_dir" 2> /dev/null | tr -d '\r' || true)
for id in Alpha Beta; do
  check "$id wrote InstallDir, the folder it was given" "$product_dir" "$(query "$id" InstallDir)"
  check "$id wrote UninstallPath" "$product_dir\\uninstall-$id.exe" "$(query "$id" UninstallPath)"
  check "$id installed its file" yes "$([ -f "$unix_dir/$id.txt" ] && echo yes || echo no)"
done
check "Alpha's InstalledVersion is the manifest's" 2.0.0.1 "$(query Alpha InstalledVersion)"
check "Beta's InstalledVersion is the manifest's" 3.1.0.0 "$(query Beta InstalledVersion)"

for id in Rogue Forged; do
  echo "== Updating with a package that is $( [ $id = Rogue ] && echo unsigned || echo changed after signing)"
  rc=0
  wine_run "$host" update "$id" >> "$work/update.out" 2>&1 || rc=$?
  check "VCM_UpdateComponents fails (1)" 1 "$rc"
  check "the package did not run" "" "$(query $id InstallDir)"
done

echo "== Hints received on port 80"
sed 's/^/  /' "$work/hints.log" 2> /dev/null || true
check "a first-install hint for Alpha" 1 "$(grep -c '^HEAD /.*Alpha.* HTTP/1.0$' "$work/hints.log" || true)"
check "a first-install hint for Beta" 1 "$(grep -c '^HEAD /.*Beta.* HTTP/1.0$' "$work/hints.log" || true)"

if [ "$failures" -ne 0 ]; then
  echo "end-to-end run under Wine: $failures checks failed (files in $work)"
  cat "$work/update.out"
  exit 1
fi
echo "end-to-end run under Wine: every check passed"
