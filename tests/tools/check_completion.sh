#!/usr/bin/env bash
# The bash completion of the tools, sourced as bash-completion does and asked as bash asks:
# COMP_WORDS and COMP_CWORD set, the function called, COMPREPLY read. vcm completes the ids of
# the installed components from a registry of the test's own, through the vomo-reg just built.
#   check_completion.sh COMPLETION_DIR VOMO_REG
set -euo pipefail
completions=$1 vomo_reg=$2
export VOMO_REGISTRY_ROOT
VOMO_REGISTRY_ROOT=$(mktemp -d)
trap 'rm -rf "$VOMO_REGISTRY_ROOT"' EXIT
export PATH="$(dirname "$vomo_reg"):$PATH"
for id in Alpha Beta Setup; do
  "$vomo_reg" add "HKLM\\SOFTWARE\\Vomo\\Install\\$id" /v InstalledVersion /d 1.0.0.0 /f >/dev/null
done

failures=0
# expect FUNCTION "WORDS..." "COMPLETIONS": the last word is the one being completed.
expect() {
  local function=$1 expected=$3
  local -a words
  read -r -a words <<<"$2"
  [[ $2 == *' ' ]] && words+=('')
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMPREPLY=()
  "$function"
  local got="${COMPREPLY[*]}"
  if [[ $got != "$expected" ]]; then
    echo "FAILED: '$2' completes to '$got', not '$expected'" >&2
    failures=$((failures + 1))
  fi
}

source "$completions/vcm"
source "$completions/vomo-reg"
source "$completions/vomo-dist"

expect _vcm "vcm ch" "check"
expect _vcm "vcm --json l" "list log"
expect _vcm "vcm check --f" "--force"
expect _vcm "vcm --library /x update --d" "--due"
expect _vcm "vcm update " "Alpha Beta"
expect _vcm "vcm uninstall Alpha;B" "Alpha;Beta"
expect _vcm "vcm find x" ""
expect _vomo_reg "vomo-reg q" "query"
expect _vomo_reg "vomo-reg add HKLM\\X /t REG_D" "REG_DWORD"
expect _vomo_reg "vomo-reg delete HKLM\\X /v" "/v /ve /va"
expect _vomo_dist "vomo-dist si" "sign"
expect _vomo_dist "vomo-dist manifest www --c" "--cert"

complete -p vcm vomo-reg vomo-dist >/dev/null
[ "$failures" -eq 0 ] && echo "completion OK"
