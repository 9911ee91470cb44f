#!/usr/bin/env bash
# Installs the Debian packages the tool, its tests and its tools need; does nothing when all are present.
set -euo pipefail
# qttranslations5-l10n: the toolkit's own Chinese catalogue (standard buttons of message boxes).
packages=(cmake g++ make qtbase5-dev libqt5serialport5-dev qttools5-dev-tools qttranslations5-l10n)
if [ "${1:-}" = "--with-fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
