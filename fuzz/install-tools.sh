#!/usr/bin/env bash
# Installs what the fuzz build needs beyond the usual build tools: clang with libFuzzer and the
# sanitizer runtimes, and LLVM's OpenMP runtime. Only what is missing.
set -euo pipefail
missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing+=(libclang-rt-dev)
ls /usr/lib/llvm-*/lib/libomp.so >/dev/null 2>&1 || missing+=(libomp-dev)
"$(dirname "$0")/../scripts/install-packages.sh" "${missing[@]}"
