#!/usr/bin/env bash
# Installs the given Debian packages, as root or through sudo: the one place the project's
# scripts install from. Nothing to do without arguments.
#   scripts/install-packages.sh PACKAGE...
set -euo pipefail
[ $# -eq 0 ] && exit 0
echo "Installing missing packages: $*"
SUDO=
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "Please install as root: apt-get install $*" >&2; exit 1; }
    SUDO=sudo
fi
$SUDO apt-get update -qq >/dev/null
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@" >/dev/null
