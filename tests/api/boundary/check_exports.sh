#!/bin/sh
# The library defines exactly the six exported functions, each at version node VCM_1: no other
# symbol of ours is visible. For vcm.dll, its export table holds exactly the six names.
set -eu
lib="$1"
expected="VCM_AddSpec
VCM_CheckForUpdates
VCM_FindComponents
VCM_Initialize
VCM_Shutdown
VCM_UpdateComponents"
case "$lib" in
  *.dll)
    # vcm.dll: its export table names exactly the six functions, undecorated (no leading
    # underscore, no @size of the standard calling convention), and nothing else.
    actual=$(objdump -p "$lib" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
      | awk '/\[ *[0-9]+\]/ {print $NF}' | sort)
    if [ "$actual" != "$expected" ]; then
      echo "exported names differ:"
      echo "$actual"
      exit 1
    fi
    echo "exports OK"
    exit 0
    ;;
esac
# Defined dynamic symbols, without the linker's own markers (_init, _fini, _edata, ...).
# The version node itself is listed as an absolute symbol; every function carries "@@VCM_1".
actual=$(nm -D --defined-only "$lib" | awk '$3 != "VCM_1" {print $3}' \
  | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort)
unversioned=$(printf '%s\n' "$actual" | grep -v '@@VCM_1$' || true)
if [ -n "$unversioned" ]; then
  echo "symbols without version VCM_1:"
  echo "$unversioned"
  exit 1
fi
actual=$(printf '%s\n' "$actual" | sed 's/@@VCM_1$//')
if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ:"
  echo "$actual"
  exit 1
fi
# Each of the six is a function (T).
funcs=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | grep -c '^VCM_.*@@VCM_1$')
[ "$funcs" -eq 6 ] || { echo "expected 6 exported functions, found $funcs"; exit 1; }
echo "exports OK"
