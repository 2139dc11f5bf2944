#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing.
# Usage: scripts/deps.sh run|test   ("test" also installs the test-only packages)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mode="${1:-run}"

wanted=()
while read -r name tag _; do
  [[ -z "${name}" || "${name}" == \#* ]] && continue
  if [[ "${tag:-}" == "test" && "${mode}" != "test" ]]; then continue; fi
  wanted+=("${name}")
done < "${here}/packages.txt"

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "${p}" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("${p}")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ "$(id -u)" -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
