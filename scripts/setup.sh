#!/usr/bin/env bash
# Installs the Debian packages the tool, its tests and its tools need; does nothing when all are present.
#   scripts/setup.sh [--with-fuzz] [--with-package]
# A user who is neither root nor able to use sudo gets one line naming the packages to install.
set -euo pipefail
# qttranslations5-l10n: the toolkit's own Chinese catalogue (standard buttons of message boxes).
# qttools5-dev: the Qt5LinguistTools CMake package (lrelease/lupdate rules).
# clang-format: the formatter scripts/format.sh checks the tree with.
# dpkg-dev: dpkg-shlibdeps, which the package build (and the install test) computes dependencies with.
# libmosquitto-dev and pkg-config: zrctl's MQTT client; mosquitto: the broker the gateway tests start.
# libqwt-qt5-dev: the window's trend plot.
# openssl: test certificates for the TLS broker; mbpoll: an independent Modbus master for the tests.
packages=(cmake g++ make pkg-config qtbase5-dev libqt5serialport5-dev qttools5-dev-tools qttools5-dev qttranslations5-l10n
          clang-format dpkg-dev libmosquitto-dev mosquitto libqwt-qt5-dev openssl mbpoll)
for arg in "$@"; do
    case "$arg" in
        --with-fuzz) packages+=(clang libclang-rt-14-dev) ;;
        # The checks of the release package: dpkg-shlibdeps (dpkg-dev) computes its dependencies,
        # fakeroot gives its files root ownership, lintian, appstreamcli and desktop-file-validate
        # check it.
        --with-package) packages+=(dpkg-dev fakeroot lintian appstream desktop-file-utils) ;;
        *) echo "setup.sh: unknown option: $arg (known: --with-fuzz --with-package)" >&2; exit 2 ;;
    esac
done
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "setup.sh: missing packages: ${missing[*]}; run as root or install them: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
