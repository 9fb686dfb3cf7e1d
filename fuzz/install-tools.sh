#!/usr/bin/env bash
# Installs what the fuzz build needs beyond the usual build tools: clang with libFuzzer and the
# sanitizer runtimes, and LLVM's OpenMP runtime. Only what is missing.
set -euo pipefail
missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing+=(libclang-rt-dev)
ls /usr/lib/llvm-*/lib/libomp.so >/dev/null 2>&1 || missing+=(libomp-dev)
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
SUDO=
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "Please install as root: apt-get install ${missing[*]}" >&2; exit 1; }
    SUDO=sudo
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
